// The simulator's side of the line, frame by frame.
#include <gtest/gtest.h>

#include "qmr4100/sim/simulator.h"
#include "scenarios.h"
#include "ydt1363/frame.h"

namespace {

using qmr4100::sim::Fault;
using qmr4100::sim::FaultPlan;
using qmr4100::sim::Simulator;

std::string command(std::uint8_t cid2, std::uint8_t adr = 1, std::uint8_t cid1 = 0x41,
                    std::uint8_t ver = 0x21) {
  return ydt1363::encode(ydt1363::Frame{ver, adr, cid1, cid2, {}});
}

std::string written(const std::vector<Simulator::Output>& outputs) {
  std::string bytes;
  for (const auto& output : outputs) bytes += output.bytes;
  return bytes;
}

ydt1363::Frame answer_to(Simulator& sim, const std::string& frame) {
  const auto decoded = ydt1363::decode(written(sim.receive(frame)));
  EXPECT_EQ(decoded.error, ydt1363::DecodeError::None);
  return decoded.frame;
}

struct LayoutRow {
  std::uint8_t cid2;
  std::size_t info_bytes;  // with M = 3 modules, one of them with 3 extra bytes, N = 3 entries
};

constexpr LayoutRow kLayouts[] = {
    {0x42, 4 + 3 * 3 + 3}, {0x43, 1 + 4 * 3 + 3}, {0x44, 1 + 2 * 3 + 3}, {0x91, 56},
    {0x95, 4},             {0x9C, 1 + 4 * 3},     {0x86, 54},            {0xA2, 27},
};

class AnswerLayout : public ::testing::TestWithParam<LayoutRow> {};

TEST_P(AnswerLayout, AnswersWithRtn00AndTheLayoutLength) {
  Simulator sim(with_modules(3));
  const auto answer = answer_to(sim, command(GetParam().cid2));
  EXPECT_EQ(answer.ver, 0x21);
  EXPECT_EQ(answer.adr, 1);
  EXPECT_EQ(answer.cid1, 0x41);
  EXPECT_EQ(answer.cid2, 0x00);
  EXPECT_EQ(answer.info.size(), GetParam().info_bytes);
}

INSTANTIATE_TEST_SUITE_P(EightCommands, AnswerLayout, ::testing::ValuesIn(kLayouts));

TEST(Simulator, The0x42AnswerCarriesValuesInTenthsBigEndian) {
  auto scenario = with_modules(1);
  scenario.system_value = 535;
  scenario.modules[0].value = 0x01F4;
  Simulator sim(scenario);
  const auto info = answer_to(sim, command(0x42)).info;
  ASSERT_EQ(info.size(), 7u);
  EXPECT_EQ(info[1], 0x02);
  EXPECT_EQ(info[2], 0x17);
  EXPECT_EQ(info[3], 1);
  EXPECT_EQ(info[4], 0x01);
  EXPECT_EQ(info[5], 0xF4);
  EXPECT_EQ(info[6], 0);
}

struct RefusalRow {
  const char* name;
  std::string frame;
  std::uint8_t rtn;
};

std::string with_bad_checksum() {
  std::string frame = command(0x42);
  frame[frame.size() - 2] = frame[frame.size() - 2] == '0' ? '1' : '0';
  return frame;
}

std::string with_bad_lchksum() {
  std::string frame = command(0x42);
  frame[ydt1363::kPosLength] = frame[ydt1363::kPosLength] == '0' ? '1' : '0';
  return frame;
}

TEST(Simulator, RefusesDamagedAndUnknownCommands) {
  const RefusalRow rows[] = {
      {"unknown CID2", command(0x50), 0x04},
      {"unknown CID1", command(0x42, 1, 0x40), 0x04},
      {"bad CHKSUM", with_bad_checksum(), 0x02},
      {"bad LCHKSUM", with_bad_lchksum(), 0x03},
      {"other VER", command(0x42, 1, 0x41, 0x20), 0x01},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    Simulator sim(with_modules(2));
    const auto answer = answer_to(sim, row.frame);
    EXPECT_EQ(answer.cid2, row.rtn);
    EXPECT_EQ(answer.ver, 0x21);
    EXPECT_EQ(answer.adr, 1);
    EXPECT_TRUE(answer.info.empty());
    EXPECT_EQ(sim.cycle(), 0);
  }
}

TEST(Simulator, IgnoresOtherAddressesAndNoise) {
  auto scenario = with_modules(2);
  scenario.address = 7;
  Simulator sim(scenario);
  EXPECT_TRUE(sim.receive(command(0x42, 1)).empty());
  EXPECT_TRUE(sim.receive("\x01garbage~21\r").empty());
  EXPECT_EQ(answer_to(sim, command(0x42, 7)).adr, 7);
}

TEST(Simulator, CommandsSplitAcrossReadsAreAnswered) {
  Simulator sim(with_modules(2));
  const std::string frame = command(0x42) + command(0x43);
  EXPECT_TRUE(sim.receive(frame.substr(0, 5)).empty());
  const auto outputs = sim.receive(frame.substr(5));
  EXPECT_EQ(outputs.size(), 2u);
}

TEST(Simulator, ACycleIsOneAnswered0x42) {
  Simulator sim(with_modules(2));
  for (std::uint8_t cid2 : {0x42, 0x43, 0x44, 0x42, 0xA2}) sim.receive(command(cid2));
  EXPECT_EQ(sim.cycle(), 2);
  EXPECT_EQ(sim.answers(), 5u);
}

TEST(Simulator, SameSeedRepeatsTheRun) {
  const FaultPlan plan = qmr4100::sim::parse_faults("noise:0.5,split:0.5,short-answer:0.3");
  Simulator first(with_modules(4), plan);
  Simulator second(with_modules(4), plan);
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(written(first.receive(command(0x42))), written(second.receive(command(0x42))));
  }
  EXPECT_EQ(first.fault_counts(), second.fault_counts());
}

TEST(Simulator, FaultsOnlyHitTheAnswersTheyBelongTo) {
  Simulator sim(with_modules(2), qmr4100::sim::parse_faults("count-mismatch,entries-above-50"));
  for (std::uint8_t cid2 : {0x42, 0x91, 0x95, 0x86, 0xA2}) sim.receive(command(cid2));
  EXPECT_EQ(sim.injected(Fault::CountMismatch), 0u);
  EXPECT_EQ(sim.injected(Fault::EntriesAbove50), 0u);

  EXPECT_EQ(answer_to(sim, command(0x44)).info[0], 3);
  const auto entries = answer_to(sim, command(0x9C)).info;
  EXPECT_GT(entries[0], 50);
  EXPECT_EQ(entries.size(), 1u + 4u * entries[0]);
}

TEST(Simulator, ModulesAbove64AnnouncesAndCarriesThatManyModules) {
  Simulator sim(with_modules(2), FaultPlan{{{Fault::ModulesAbove64, 1.0}}, 3});
  const auto info = answer_to(sim, command(0x42)).info;
  EXPECT_GT(info[3], 64);
  EXPECT_GE(info.size(), 4u + 3u * info[3]);
}

TEST(Simulator, EchoComesBeforeTheAnswer) {
  Simulator sim(with_modules(2), FaultPlan{{{Fault::Echo, 1.0}}, 1});
  const auto outputs = sim.receive(command(0x43));
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs[0].bytes, command(0x43));
}

TEST(Simulator, SplitAnswerComesInSmallPieces) {
  Simulator sim(with_modules(8), FaultPlan{{{Fault::Split, 1.0}}, 1});
  const auto outputs = sim.receive(command(0x42));
  EXPECT_GT(outputs.size(), 4u);
  for (const auto& output : outputs) EXPECT_LE(output.bytes.size(), 8u);
  EXPECT_EQ(ydt1363::decode(written(outputs)).error, ydt1363::DecodeError::None);
}

TEST(Simulator, EventsDescribeEachCommand) {
  Simulator sim(with_modules(2), FaultPlan{{{Fault::Drop, 1.0}}, 1});
  sim.receive(command(0x42));
  EXPECT_TRUE(sim.take_events().empty());
  sim.record_events(true);
  sim.receive(command(0x42));
  const auto events = sim.take_events();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(qmr4100::sim::format_event(events[0]), "cycle 0: 0x42 not answered, faults: drop");
  EXPECT_TRUE(sim.take_events().empty());
}

}  // namespace
