// The YD/T 1363.3 codec against frames as they appear on the line.
#include "ydt1363/frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace {

using ydt1363::DecodeError;
using ydt1363::Frame;

struct PublicFrame {
  const char* wire;
  Frame frame;
};

// Frames whose every character is known: a command, an empty command and an answer.
const PublicFrame kPublicFrames[] = {
    {"~20024642E00202FD33\r", {0x20, 0x02, 0x46, 0x42, {0x02}}},
    {"~21012A500000FDA4\r", {0x21, 0x01, 0x2A, 0x50, {}}},
    {"~20024600B014026EF05AA0022BFDD5C0F915\r",
     {0x20, 0x02, 0x46, 0x00, {0x02, 0x6E, 0xF0, 0x5A, 0xA0, 0x02, 0x2B, 0xFD, 0xD5, 0xC0}}},
};

// Shown in test names and failure messages instead of the raw bytes.
void PrintTo(const PublicFrame& row, std::ostream* out) {
  const std::string_view wire(row.wire);
  *out << wire.substr(0, wire.size() - 1);  // without the carriage return
}

class PublicFrameTest : public testing::TestWithParam<PublicFrame> {};

TEST_P(PublicFrameTest, EncodesToTheWireCharacters) {
  EXPECT_EQ(ydt1363::encode(GetParam().frame), GetParam().wire);
}

TEST_P(PublicFrameTest, DecodesToItsFields) {
  const auto result = ydt1363::decode(GetParam().wire);
  ASSERT_EQ(result.error, DecodeError::None) << ydt1363::describe(result.error);
  const Frame& want = GetParam().frame;
  EXPECT_EQ(result.frame.ver, want.ver);
  EXPECT_EQ(result.frame.adr, want.adr);
  EXPECT_EQ(result.frame.cid1, want.cid1);
  EXPECT_EQ(result.frame.cid2, want.cid2);
  EXPECT_EQ(result.frame.info, want.info);
}

INSTANTIATE_TEST_SUITE_P(Wire, PublicFrameTest, testing::ValuesIn(kPublicFrames));

TEST(FrameDecode, AnswerReportsItsInfoLengthInCharacters) {
  ydt1363::Header header;
  std::vector<std::uint8_t> info(ydt1363::kMaxInfoBytes);
  ASSERT_EQ(
      ydt1363::decode("~20024600B014026EF05AA0022BFDD5C0F915\r", header, info.data(), info.size()),
      DecodeError::None);
  EXPECT_EQ(header.cid2, 0x00);  // RTN
  EXPECT_EQ(header.info_chars, 20);
}

TEST(FrameDecode, RefusesInfoLargerThanTheCallersRoom) {
  ydt1363::Header header;
  std::uint8_t info[1] = {0xAA};
  EXPECT_EQ(ydt1363::decode("~20024642E00202FD33\r", header, info, 0), DecodeError::TooLong);
  EXPECT_EQ(info[0], 0xAA);
}

TEST(LengthField, CarriesTheNibbleCheckAboveLenid) {
  EXPECT_EQ(ydt1363::length_field(0x088), 0x0088);  // nibbles 0 + 8 + 8 = 16
  EXPECT_EQ(ydt1363::length_field(0x002), 0xE002);
  EXPECT_EQ(ydt1363::length_field(0x014), 0xB014);
  EXPECT_EQ(ydt1363::length_field(0x000), 0x0000);
}

TEST(Checksum, CharacterSumOfAMultipleOf65536GivesZero) {
  // 463 bytes FF and one byte 39 behind "21014100" and the LENGTH field bring
  // the character sum to exactly 65536.
  std::vector<std::uint8_t> info(463, 0xFF);
  info.push_back(0x39);
  const std::string wire = ydt1363::encode(Frame{0x21, 0x01, 0x41, 0x00, info});

  unsigned sum = 0;
  for (std::size_t i = 1; i + 5 < wire.size(); ++i) sum += static_cast<unsigned char>(wire[i]);
  ASSERT_EQ(sum, 65536u);
  EXPECT_EQ(wire.substr(wire.size() - 5), "0000\r");
  EXPECT_EQ(ydt1363::decode(wire).error, DecodeError::None);
}

struct Corruption {
  const char* name;
  std::string wire;
  DecodeError error;
};

std::string repeated(char c, std::size_t n) { return std::string(n, c); }

const Corruption kCorruptions[] = {
    {"NonHexInHeader", "~2002G642E00202FD33\r", DecodeError::BadHex},
    {"NonHexInInfo", "~20024642E0020XFD33\r", DecodeError::BadHex},
    {"NonHexInChksum", "~20024642E00202FDZ3\r", DecodeError::BadHex},
    {"LowerCaseLength", "~20024642e00202FD33\r", DecodeError::BadHex},
    {"LowerCaseChksum", "~20024642E00202fd33\r", DecodeError::BadHex},
    {"LowerCaseInfo", "~20024600B014026ef05AA0022BFDD5C0F915\r", DecodeError::BadHex},
    {"WrongLchksum", "~20024642F00202FD33\r", DecodeError::BadLchksum},
    {"WrongChksum", "~20024642E00202FD34\r", DecodeError::BadChksum},
    {"InfoCharChanged", "~20024642E00203FD33\r", DecodeError::BadChksum},
    {"OddLenid", "~20024642D003020FD33\r", DecodeError::OddLength},
    {"LenidAboveReceived", "~20024642C00402FD33\r", DecodeError::LengthMismatch},
    {"LenidBelowReceived", "~20024642000002FD33\r", DecodeError::LengthMismatch},
    {"NoSoi", "!20024642E00202FD33\r", DecodeError::NoSoi},
    {"NoEoi", "~20024642E00202FD33\n", DecodeError::NoEoi},
    {"EoiMissing", "~20024642E00202FD33", DecodeError::NoEoi},
    {"Empty", "", DecodeError::TooShort},
    {"OneShortOfEmptyFrame", "~21012A500000FDA\r", DecodeError::TooShort},
    {"LongerThanLenidAllows", "~21014100" + repeated('0', ydt1363::kMaxFrameChars - 9) + "\r",
     DecodeError::TooLong},
};

void PrintTo(const Corruption& row, std::ostream* out) { *out << row.name; }

class CorruptFrameTest : public testing::TestWithParam<Corruption> {};

TEST_P(CorruptFrameTest, IsRefusedWithItsError) {
  const auto result = ydt1363::decode(GetParam().wire);
  EXPECT_EQ(result.error, GetParam().error) << ydt1363::describe(result.error);
}

INSTANTIATE_TEST_SUITE_P(Wire, CorruptFrameTest, testing::ValuesIn(kCorruptions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(FrameRoundTrip, LongestInfoSurvivesEncodeAndDecode) {
  std::vector<std::uint8_t> info(ydt1363::kMaxInfoBytes);
  for (std::size_t i = 0; i < info.size(); ++i) info[i] = static_cast<std::uint8_t>(i * 7);
  const std::string wire = ydt1363::encode(Frame{0x21, 0xFF, 0x41, 0x00, info});
  EXPECT_EQ(wire.size(), ydt1363::kMaxFrameChars);
  const auto result = ydt1363::decode(wire);
  ASSERT_EQ(result.error, DecodeError::None);
  EXPECT_EQ(result.frame.info, info);
}

TEST(FrameEncode, RefusesInfoThatLenidCannotAnnounce) {
  const std::vector<std::uint8_t> info(ydt1363::kMaxInfoBytes + 1, 0x00);
  std::string out;
  EXPECT_THROW(ydt1363::encode(0x21, 0x01, 0x41, 0x00, info.data(), info.size(), out),
               std::length_error);
}

}  // namespace
