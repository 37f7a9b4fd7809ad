#include "driver_fixture.h"

#include <json/value.h>

#include <algorithm>
#include <cstring>

#include "wire_examples.h"
#include "ydt1363/frame.h"

int ObservedDriver::Reset() {
  ++resets;
  return VARNOK_QMR4100::Reset();
}

int ObservedDriver::LoadFromCache(const unsigned char* data, int length) {
  ++byte_restores;
  return VARNOK_QMR4100::LoadFromCache(data, length);
}

namespace {

std::vector<std::uint8_t> counting(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(first + i);
  return bytes;
}

std::vector<std::uint8_t> prefixed(std::uint8_t first, std::vector<std::uint8_t> rest) {
  rest.insert(rest.begin(), first);
  return rest;
}

}  // namespace

const std::vector<CycleAnswer>& cycle_answers() {
  static const std::vector<CycleAnswer> answers = {
      {0x42,
       {0x00, 0x01, 0xF4, 0x03, 0x00, 0x64, 0x00, 0x00, 0xC8, 0x01, 0xAA, 0xFF, 0xFF, 0x00},
       wire::kAnswer42},
      {0x43,
       {0x03, 0x01, 0x02, 0x03, 0x00, 0x04, 0x05, 0x06, 0x00, 0x07, 0x08, 0x09, 0x00},
       wire::kAnswer43},
      {0x44, {0x03, 0x00, 0x00, 0x01, 0x00, 0xFE, 0x01, 0x55}, wire::kAnswer44},
      {0x91, counting(56, 0x10), wire::kAnswer91},
      {0x95, {0x0A, 0x0B, 0x03, 0xE8}, wire::kAnswer95},
      {0x9C, prefixed(3, counting(12, 0x60)), wire::kAnswer9C},
      {0x86, counting(54, 0x80), wire::kAnswer86},
      {0xA2,
       {0x00, 0x00, 0x00, 0x01, 0x01, 0xF4, 0xFF, 0xFF, 0x02, 0x1C, 0x0B, 0xB8, 0x00, 0x0A,
        0x27, 0x10, 0x13, 0x88, 0x00, 0x05, 0x80, 0x00, 0x12, 0x34, 0xC1, 0xC2, 0xC3},
       wire::kAnswerA2},
  };
  return answers;
}

std::string command_frame(unsigned char code, unsigned char address) {
  std::string frame;
  ydt1363::encode(0x21, address, 0x41, code, nullptr, 0, frame);
  return frame;
}

std::string answer_frame(const std::vector<std::uint8_t>& info, unsigned char rtn,
                         unsigned char address) {
  std::string frame;
  ydt1363::encode(0x21, address, 0x41, rtn, info.data(), info.size(), frame);
  return frame;
}

std::vector<std::uint8_t> le_float(float value) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &value, sizeof bits);
  return {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
}

qmr4100::Block with_writes(qmr4100::Block block, const std::vector<Write>& writes) {
  for (const Write& write : writes) {
    std::copy(write.bytes.begin(), write.bytes.end(), block.begin() + write.offset);
  }
  return block;
}

testing::AssertionResult same_block(const qmr4100::Block& want, const qmr4100::Block& got) {
  if (want == got) return testing::AssertionSuccess();
  auto failure = testing::AssertionFailure();
  for (std::size_t i = 0; i < want.size(); ++i) {
    if (want[i] != got[i]) {
      failure << " [" << i << "] " << int{got[i]} << " instead of " << int{want[i]};
    }
  }
  return failure;
}

DriverTest::DriverTest() {
  Json::Value config(Json::objectValue);
  config["address"] = kAddress;
  device->Init(controller, kDataId, config);
  device->InitSetting(config);
}

int DriverTest::feed(std::string frame) {
  return device->process(reinterpret_cast<unsigned char*>(frame.data()),
                         static_cast<unsigned int>(frame.size()));
}

void DriverTest::run_to_step(int step) {
  device->RefreshStatus();
  for (int i = 0; i + 1 < step; ++i) feed(answer_frame(cycle_answers()[i].info));
  ASSERT_EQ(device->Step(), step);
}

qmr4100::Block DriverTest::fill_block(std::uint8_t filler, std::uint8_t module_count) {
  std::string cached(qmr4100::layout::kBlockSize, static_cast<char>(filler));
  cached[qmr4100::layout::kModuleCount] = static_cast<char>(module_count);
  device->LoadFromCache(cached);
  device->InitSetting(Json::Value());
  return device->Snapshot();
}
