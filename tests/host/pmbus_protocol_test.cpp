// The protocol layer: command frames out, decoded-frame record in.
#include <gtest/gtest.h>
#include <json/reader.h>

#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "capture_controller.h"
#include "probe_device.h"
#include "ydt1363/frame.h"

namespace {

Json::Value address_config(int address) {
  Json::Value config(Json::objectValue);
  config["address"] = address;
  return config;
}

class PMBusProtocolTest : public testing::Test {
 protected:
  void attach(int address) { ASSERT_EQ(device.Init(controller, 1000, address_config(address)), 1); }

  int process(std::string frame) {
    return device.process(reinterpret_cast<unsigned char*>(frame.data()),
                          static_cast<unsigned int>(frame.size()));
  }

  std::shared_ptr<CaptureController> controller = std::make_shared<CaptureController>();
  ProbeDevice device;
};

TEST_F(PMBusProtocolTest, CommandFrameCarriesProtocolByteAddressAndCodes) {
  attach(1);
  device.write_pmbus_cmd(0x41, 0x42);
  attach(0x0A);
  device.write_pmbus_cmd(0x41, 0xA2);
  std::string to_0a;
  ydt1363::encode(0x21, 0x0A, 0x41, 0xA2, nullptr, 0, to_0a);
  EXPECT_EQ(controller->sent, (std::vector<std::string>{"~210141420000FDB1\r", to_0a}));
}

TEST_F(PMBusProtocolTest, AnswerFillsTheDecodedFrameRecord) {
  attach(2);
  EXPECT_EQ(process("~20024600B014026EF05AA0022BFDD5C0F915\r"), ProbeDevice::kPayloadResult);
  ASSERT_EQ(device.payloads.size(), 1u);
  const auto& bytes = device.payloads[0].bytes;
  const std::vector<std::uint8_t> head(bytes.begin(), bytes.begin() + 16);
  EXPECT_EQ(head, (std::vector<std::uint8_t>{0x20, 0x02, 0x46, 0x00,  // VER ADR CID1 RTN
                                             0x14, 0x00,              // 20 info characters
                                             0x02, 0x6E, 0xF0, 0x5A, 0xA0, 0x02, 0x2B, 0xFD, 0xD5,
                                             0xC0}));
  EXPECT_EQ(device.payloads[0].info_bytes(), 10u);
  EXPECT_EQ(device.errors, 0);
}

TEST_F(PMBusProtocolTest, InfoCharacterCountIsLittleEndian) {
  attach(1);
  std::vector<std::uint8_t> info(200);
  for (std::size_t i = 0; i < info.size(); ++i) info[i] = static_cast<std::uint8_t>(i);
  process(ydt1363::encode(ydt1363::Frame{0x21, 0x01, 0x41, 0x00, info}));
  ASSERT_EQ(device.payloads.size(), 1u);
  const PMBusFrame& frame = device.payloads[0];
  EXPECT_EQ(frame.bytes[PMBusFrame::kInfoChars], 0x90);  // 400 = 0x0190
  EXPECT_EQ(frame.bytes[PMBusFrame::kInfoChars + 1], 0x01);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.info(), frame.info() + 200), info);
}

TEST_F(PMBusProtocolTest, ClearsTheInputCountOfADecodedAnswer) {
  attach(2);
  device.SetInputCount(37);
  process("~20024600B014026EF05AA0022BFDD5C0F915\r");
  EXPECT_EQ(device.InputCount(), 0u);
}

struct BadFrame {
  const char* name;
  const char* wire;
};

const BadFrame kBadFrames[] = {
    {"WrongChksum", "~20024600B014026EF05AA0022BFDD5C0F916\r"},
    {"LowerCase", "~20024600b014026EF05AA0022BFDD5C0F915\r"},
    {"Truncated", "~20024600B014026EF05AA0022BFDD5C0\r"},
    {"TooShort", "~\r"},
    {"OtherAddress", "~20034600B014026EF05AA0022BFDD5C0F914\r"},
};

void PrintTo(const BadFrame& row, std::ostream* out) { *out << row.name; }

class PMBusBadFrameTest : public PMBusProtocolTest, public testing::WithParamInterface<BadFrame> {};

TEST_P(PMBusBadFrameTest, GoesToProcessError) {
  attach(2);
  EXPECT_EQ(process(GetParam().wire), ProbeDevice::kErrorResult);
  EXPECT_EQ(device.errors, 1);
  EXPECT_TRUE(device.payloads.empty());
}

INSTANTIATE_TEST_SUITE_P(Wire, PMBusBadFrameTest, testing::ValuesIn(kBadFrames),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PMBusProtocol, DefaultProcessErrorReturnsZero) {
  struct DefaultErrors : ProbeDevice {
    int process_error() override { return PMBusProtocol::process_error(); }
  } device;
  std::string frame = "~\r";
  EXPECT_EQ(device.process(reinterpret_cast<unsigned char*>(frame.data()), 2), 0);
}

Json::Value parse_json(const std::string& text) {
  Json::Value value;
  std::istringstream in(text);
  Json::parseFromStream(Json::CharReaderBuilder(), in, &value, nullptr);
  return value;
}

struct AddressCase {
  const char* config;
  int result;
  unsigned address;
};

const AddressCase kAddressCases[] = {
    {"{}", 1, 1},
    {"{\"address\": 7}", 1, 7},
    {"{\"address\": 255}", 1, 255},
    {"null", 1, 1},
    {"{\"address\": 256}", 0, 1},
    {"{\"address\": -1}", 0, 1},
    {"{\"address\": \"7\"}", 0, 1},
    {"{\"address\": 1.5}", 0, 1},
};

TEST(SMDSPDeviceInit, TakesTheAddressFromTheConfiguration) {
  for (const AddressCase& c : kAddressCases) {
    const Json::Value config = parse_json(c.config);
    ProbeDevice device;
    EXPECT_EQ(device.Init({}, 1, config), c.result) << c.config;
    EXPECT_EQ(device.Address(), c.address) << c.config;
  }
}

}  // namespace
