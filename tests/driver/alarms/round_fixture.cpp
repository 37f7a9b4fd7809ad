#include "round_fixture.h"

#include <algorithm>

#include <gtest/gtest.h>

#include "driver/snapshot_layout.h"

namespace layout = qmr4100::layout;

std::vector<unsigned char> block_with_modules(std::uint8_t count,
                                              const std::vector<std::uint8_t>& statuses,
                                              std::uint8_t fill) {
  std::vector<unsigned char> block(layout::kBlockSize, fill);
  block[layout::kModuleCount] = count;
  for (std::size_t i = 0; i < layout::kMaxModules; ++i)
    block[layout::module_record(i) + layout::kModuleStatus] = i < statuses.size() ? statuses[i] : 0;
  return block;
}

std::vector<rule_value> Round::run(const std::vector<unsigned char>& block) {
  EXPECT_EQ(device->LoadFromCache(block.data(), static_cast<int>(block.size())), 1);
  return run();
}

std::vector<rule_value> Round::run() {
  const std::size_t before = controller->thresholds.size();
  device->RoundDone();
  return {controller->thresholds.begin() + static_cast<std::ptrdiff_t>(before),
          controller->thresholds.end()};
}

std::size_t position(const std::vector<rule_value>& points, const std::string& desc) {
  const auto matches = [&desc](const rule_value& value) { return value.desc == desc; };
  EXPECT_EQ(std::count_if(points.begin(), points.end(), matches), 1) << desc;
  return static_cast<std::size_t>(std::find_if(points.begin(), points.end(), matches) -
                                  points.begin());
}

rule_value point(const std::vector<rule_value>& points, const std::string& desc) {
  const std::size_t at = position(points, desc);
  return at < points.size() ? points[at] : rule_value{};
}

std::vector<std::string> active_descriptions(const std::vector<rule_value>& points) {
  std::vector<std::string> active;
  for (const rule_value& value : points)
    if (value.active) active.push_back(value.desc);
  return active;
}

std::size_t count_id(const std::vector<rule_value>& points, const std::string& id) {
  return static_cast<std::size_t>(std::count_if(
      points.begin(), points.end(), [&id](const rule_value& value) { return value.id == id; }));
}
