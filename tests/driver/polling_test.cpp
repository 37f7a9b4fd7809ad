// The polling cycle as the host drives it: frames in through process,
// commands out through SendData, console lines on standard output.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "driver_fixture.h"
#include "wire_examples.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

TEST_F(DriverTest, EmptyReceptionChangesNothing) {
  run_to_step(3);
  device->SetInputCount(7);
  std::string none;
  EXPECT_EQ(device->process(reinterpret_cast<unsigned char*>(none.data()), 0), 1);
  EXPECT_EQ(device->Step(), 3);
  EXPECT_EQ(device->InputCount(), 7u);
}

TEST_F(DriverTest, IdleDriverDiscardsAnAnswer) {
  const qmr4100::Block before = device->Snapshot();
  device->SetInputCount(9);
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(wire::kAnswer42), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(device->Step(), 0);
  EXPECT_EQ(device->InputCount(), 0u);
  EXPECT_TRUE(same_block(before, device->Snapshot()));
  EXPECT_TRUE(controller->sent.empty());
}

TEST_F(DriverTest, IdleDriverDiscardsAPartialFrame) {
  device->SetInputCount(9);
  EXPECT_EQ(feed("~2101410030"), 1);
  EXPECT_EQ(device->Step(), 0);
  EXPECT_EQ(device->InputCount(), 0u);
}

class EchoTest : public DriverTest, public testing::WithParamInterface<int> {};

// Our own 0x42 command heard back on a half-duplex line means a cycle starts.
TEST_P(EchoTest, EchoOfTheFirstCommandRestartsAtStepOne) {
  if (GetParam() != 0) run_to_step(GetParam());
  const std::size_t commands = controller->sent.size();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(wire::kCommand42), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "VARNOK_QMR4100_41_42n");
  EXPECT_EQ(device->Step(), 1);
  EXPECT_EQ(controller->sent.size(), commands);

  feed(wire::kAnswer42);  // decoded as the answer to 0x42
  EXPECT_EQ(device->Step(), 2);
  EXPECT_EQ(device->Snapshot()[qmr4100::layout::kModuleCount], 3);
  EXPECT_EQ(controller->sent.back(), command_frame(0x43));
}

INSTANTIATE_TEST_SUITE_P(Steps, EchoTest, testing::Values(0, 1, 5, 8));

// Characters 7-8 of a frame: RTN in an answer, CID2 in an echoed command.
struct ScreenCase {
  unsigned char code;
  const char* line;  // console line, empty when dropped silently
};

void PrintTo(const ScreenCase& row, std::ostream* out) { *out << int{row.code}; }

class ScreenTest : public DriverTest, public testing::WithParamInterface<ScreenCase> {};

TEST_P(ScreenTest, ErrorCodesAndOtherEchoesAreDropped) {
  run_to_step(2);
  const qmr4100::Block before = device->Snapshot();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(answer_frame(cycle_answers()[1].info, GetParam().code)), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), GetParam().line);
  EXPECT_EQ(device->Step(), 2);
  EXPECT_EQ(controller->sent.size(), 2u);
  EXPECT_TRUE(same_block(before, device->Snapshot()));
}

INSTANTIATE_TEST_SUITE_P(
    ReturnCodes, ScreenTest,
    testing::Values(ScreenCase{0xE2, ""}, ScreenCase{0x43, ""}, ScreenCase{0x44, ""},
                    ScreenCase{0x91, ""}, ScreenCase{0x95, ""}, ScreenCase{0x9C, ""},
                    ScreenCase{0x86, ""}, ScreenCase{0xA2, ""},
                    ScreenCase{0x01, "VARNOK_QMR4100::process error return code 01 dropped\n"},
                    ScreenCase{0x06, "VARNOK_QMR4100::process error return code 06 dropped\n"},
                    ScreenCase{0x20, "VARNOK_QMR4100::process error return code 20 dropped\n"},
                    ScreenCase{0xE0, "VARNOK_QMR4100::process error return code E0 dropped\n"},
                    ScreenCase{0x0E, "VARNOK_QMR4100::process error return code 0E dropped\n"}));

// Answers whose consumed length differs from their info length.
struct MismatchCase {
  const char* name;
  int step;
  Bytes info;
  const char* output;
  int resets;
};

void PrintTo(const MismatchCase& row, std::ostream* out) { *out << row.name; }

class MismatchTest : public DriverTest, public testing::WithParamInterface<MismatchCase> {};

TEST_P(MismatchTest, EndsTheCycleWithItsErrorLine) {
  const MismatchCase& row = GetParam();
  run_to_step(row.step);
  const std::size_t commands = controller->sent.size();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(answer_frame(row.info)), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), row.output);
  EXPECT_EQ(device->Step(), 0);
  EXPECT_EQ(controller->sent.size(), commands);
  EXPECT_EQ(device->resets, row.resets);
  EXPECT_TRUE(controller->snapshots.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, MismatchTest,
    testing::Values(
        MismatchCase{"P42OneByteLeftOver",
                     1,
                     {0x00, 0x01, 0xF4, 0x02, 0x00, 0x64, 0x00, 0x00, 0xC8, 0x00, 0xFF},
                     "VARNOK_QMR4100::process_payload state:1 pPMBus->len:11\n"
                     "VARNOK_QMR4100:ProcotolError parse p41_41 overflow memory boundary\n",
                     0},
        MismatchCase{"P42Empty",
                     1,
                     {},
                     "VARNOK_QMR4100::process_payload state:1 pPMBus->len:0\n"
                     "VARNOK_QMR4100:ProcotolError parse p41_41 overflow memory boundary\n",
                     0},
        MismatchCase{"P42SkipPastTheEnd",
                     1,
                     {0x00, 0x01, 0xF4, 0x02, 0x00, 0x64, 0x00, 0x00, 0xC8, 0x05, 0xAA},
                     "VARNOK_QMR4100::process_payload state:1 pPMBus->len:11\n"
                     "VARNOK_QMR4100:ProcotolError parse p41_41 overflow memory boundary\n",
                     0},
        MismatchCase{
            "P43OneByteLeftOver",
            2,
            {0x03, 1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0, 0xFF},
            "VARNOK_QMR4100::process_payload state:2 pPMBus->len:14\n"
            "VARNOK_QMR4100:ProcotolError  parse p41_43 overflow memory boundary13 vs 14\n",
            0},
        MismatchCase{"P43CountDiffers",
                     2,
                     {0x02, 1, 2, 3, 0, 4, 5, 6, 0},
                     "VARNOK_QMR4100::process_payload state:2 pPMBus->len:9\n"
                     "VARNOK_QMR4100:ProcotolError  parse p41_43 overflow memory boundary0 vs 9\n",
                     0},
        MismatchCase{"P44OneByteLeftOver",
                     3,
                     {0x03, 0, 0, 1, 0, 0xFE, 0, 0xFF},
                     "VARNOK_QMR4100::process_payload state:3 pPMBus->len:8\n"
                     "VARNOK_QMR4100:ProcotolError parse p41_44 overflow memory boundary7 vs 8\n",
                     1},
        MismatchCase{"P44SkipPastTheEnd",
                     3,
                     {0x03, 0, 0, 1, 0, 0xFE, 0x09},
                     "VARNOK_QMR4100::process_payload state:3 pPMBus->len:7\n"
                     "VARNOK_QMR4100:ProcotolError parse p41_44 overflow memory boundary16 vs 7\n",
                     1},
        MismatchCase{"P44CountDiffers",
                     3,
                     {0x02, 0, 0, 1, 0},
                     "VARNOK_QMR4100::process_payload state:3 pPMBus->len:5\n"
                     "VARNOK_QMR4100:ProcotolError  parse p41_44 channel_count not equal 2 vs 3 "
                     "VARNOK_QMR4100:ProcotolError parse p41_44 overflow memory boundary0 vs 5\n",
                     1}),
    [](const auto& info) { return std::string(info.param.name); });

// Answers the driver refuses to take into the block: the cycle ends with a
// protocol error and nothing of the answer is stored.
struct OverrunCase {
  const char* name;
  int step;
  Bytes info;
};

void PrintTo(const OverrunCase& row, std::ostream* out) { *out << row.name; }

Bytes with_count(std::uint8_t count, std::size_t size) {
  Bytes info(size + 1, 0x77);
  info[0] = count;
  return info;
}

class OverrunTest : public DriverTest, public testing::WithParamInterface<OverrunCase> {};

TEST_P(OverrunTest, EndsTheCycleWithoutTouchingTheBlock) {
  const OverrunCase& row = GetParam();
  fill_block(0x5A, 0);
  run_to_step(row.step);
  const qmr4100::Block before = device->Snapshot();
  const std::size_t commands = controller->sent.size();
  testing::internal::CaptureStdout();
  EXPECT_EQ(feed(answer_frame(row.info)), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout().find("VARNOK_QMR4100:ProcotolError"),
            std::string::npos);
  EXPECT_EQ(device->Step(), 0);
  EXPECT_EQ(controller->sent.size(), commands);
  EXPECT_TRUE(controller->snapshots.empty());
  EXPECT_TRUE(same_block(before, device->Snapshot()));
  EXPECT_TRUE(device->AlarmList().empty());
}

INSTANTIATE_TEST_SUITE_P(Answers, OverrunTest,
                         testing::Values(OverrunCase{"P42SixtyFiveModules", 1,
                                                     [] {
                                                       Bytes info{0x00, 0x01, 0xF4, 65};
                                                       info.resize(4 + 65 * 3, 0x00);
                                                       return info;
                                                     }()},
                                         OverrunCase{"P91Short", 4, Bytes(55, 0x91)},
                                         OverrunCase{"P9CFiftyOneEntries", 6, with_count(51, 204)},
                                         OverrunCase{"P9CEntriesCutShort", 6, with_count(3, 11)},
                                         OverrunCase{"P9CEmpty", 6, {}},
                                         OverrunCase{"P86Short", 7, Bytes(53, 0x86)},
                                         OverrunCase{"PA2Short", 8, Bytes(26, 0xA2)}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(DriverTest, ShortAnswerTo95IsSkippedAndTheCycleGoesOn) {
  fill_block(0x5A, 0);
  run_to_step(5);
  const qmr4100::Block before = device->Snapshot();
  EXPECT_EQ(feed(answer_frame({0x0A, 0x0B, 0x03})), 1);
  EXPECT_EQ(device->Step(), 6);
  EXPECT_EQ(controller->sent.back(), command_frame(0x9C));
  EXPECT_TRUE(same_block(before, device->Snapshot()));
}

// Frames the protocol layer refuses: the driver reports them and waits on.
TEST_F(DriverTest, RefusedFramesLeaveTheStepAsItWas) {
  std::string corrupted = wire::kAnswer44;
  corrupted[corrupted.size() - 2] ^= 1;  // CHKSUM no longer matches
  const std::string refused[] = {
      corrupted, answer_frame(cycle_answers()[2].info, 0x00, kAddress + 1),
      "~0\r",                         // too short to be screened
      "~21014100F0100300000100FE01",  // no carriage return
  };
  run_to_step(3);
  for (const std::string& frame : refused) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(feed(frame), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "VARNOK_QMR4100::process_error\n");
    EXPECT_EQ(device->Step(), 3);
  }
  EXPECT_EQ(controller->sent.size(), 3u);
  feed(wire::kAnswer44);
  EXPECT_EQ(device->Step(), 4);
}

// A complete frame ends what the serial layer counted, whatever its length;
// the short one is still refused by the protocol layer.
TEST_F(DriverTest, CompleteFramesClearTheInputCountMidCycle) {
  run_to_step(3);
  const std::string complete[] = {"~\r", "~0\r", "~210141\r", wire::kAnswer44};
  for (const std::string& frame : complete) {
    SCOPED_TRACE(frame.size());
    device->SetInputCount(9);
    testing::internal::CaptureStdout();
    feed(frame);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(device->InputCount(), 0u);
  }
  EXPECT_EQ(device->Step(), 4);  // only the real answer moved the cycle on
}

TEST_F(DriverTest, RefreshStatusAbandonsTheRunningCycle) {
  run_to_step(5);
  EXPECT_EQ(device->RefreshStatus(), 1);
  EXPECT_EQ(device->Step(), 1);
  EXPECT_EQ(controller->sent.back(), wire::kCommand42);
}

TEST_F(DriverTest, PayloadOutsideACycleDoesNothing) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(device->process_payload(), 1);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(device->Step(), 0);
  EXPECT_TRUE(controller->sent.empty());
}

}  // namespace
