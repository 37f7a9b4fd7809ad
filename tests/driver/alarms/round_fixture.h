// Drives one round completion on a device whose block announces chosen
// modules, and finds reported points by their description.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture_controller.h"
#include "host/rule_value.h"

// The points of one round that do not depend on the module count.
constexpr std::size_t kFixedPoints = 1144;

// An 895-byte cached block announcing `count` modules whose status bytes are
// `statuses` (the rest 0x00); other bytes are filled with `fill`.
std::vector<unsigned char> block_with_modules(std::uint8_t count,
                                              const std::vector<std::uint8_t>& statuses = {},
                                              std::uint8_t fill = 0x00);

struct Round {
  std::shared_ptr<CaptureController> controller = std::make_shared<CaptureController>();
  std::shared_ptr<VARNOK_QMR4100> device = make_device(controller);

  // Loads `block` as the device's snapshot and completes one round; returns
  // the points reported in that round, in report order.
  std::vector<rule_value> run(const std::vector<unsigned char>& block);
  // Completes one round on the block the device holds.
  std::vector<rule_value> run();
};

// The one point with this description; fails the test when there is not exactly one.
rule_value point(const std::vector<rule_value>& points, const std::string& desc);
std::size_t position(const std::vector<rule_value>& points, const std::string& desc);
std::vector<std::string> active_descriptions(const std::vector<rule_value>& points);
// Points reported under this identifier.
std::size_t count_id(const std::vector<rule_value>& points, const std::string& id);
