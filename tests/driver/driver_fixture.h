// A driver attached to a capturing controller, fed frames as the serial line
// would deliver them, and the answers of one complete polling cycle.
#pragma once

#include <gtest/gtest.h>

#include <boost/date_time/posix_time/ptime.hpp>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "capture_controller.h"
#include "driver/VARNOK_QMR4100.h"

// The shipped driver with two observation points: it counts the Reset calls
// and the byte-overload restores that reach it through the virtual table,
// and lets a test place its last-update time.
class ObservedDriver : public VARNOK_QMR4100 {
 public:
  using VARNOK_QMR4100::LoadFromCache;
  int Reset() override;
  int LoadFromCache(const unsigned char* data, int length) override;
  void SetLastUpdate(boost::posix_time::ptime time) { m_lastUpdate = time; }

  int resets = 0;
  int byte_restores = 0;
};

struct CycleAnswer {
  unsigned char command;
  std::vector<std::uint8_t> info;
  const char* wire;  // the same answer as wire_examples.h spells it
};

// The answers of wire_examples.h, as info bytes, in command order.
const std::vector<CycleAnswer>& cycle_answers();

constexpr unsigned char kAddress = 0x01;
constexpr unsigned int kDataId = 1000;

std::string command_frame(unsigned char code, unsigned char address = kAddress);
std::string answer_frame(const std::vector<std::uint8_t>& info, unsigned char rtn = 0x00,
                         unsigned char address = kAddress);

// Bytes expected at one block offset.
struct Write {
  std::size_t offset;
  std::vector<std::uint8_t> bytes;
};

// A float as the block stores it: IEEE single precision, little-endian.
std::vector<std::uint8_t> le_float(float value);
qmr4100::Block with_writes(qmr4100::Block block, const std::vector<Write>& writes);
// Names every offset at which the blocks differ.
testing::AssertionResult same_block(const qmr4100::Block& want, const qmr4100::Block& got);

class DriverTest : public testing::Test {
 protected:
  DriverTest();

  // Hands one received frame to the driver, as the host's serial layer does.
  int feed(std::string frame);
  // Starts a cycle and answers until the driver awaits the answer of `step`.
  void run_to_step(int step);
  // Restores a block of `filler` bytes holding `module_count`, then writes
  // the data id again: bytes no answer writes keep the filler.
  qmr4100::Block fill_block(std::uint8_t filler, std::uint8_t module_count);

  std::shared_ptr<CaptureController> controller = std::make_shared<CaptureController>();
  std::shared_ptr<ObservedDriver> device = std::make_shared<ObservedDriver>();
};
