// Several power systems on one line, frame by frame.
#include "qmr4100/sim/bus.h"

#include <gtest/gtest.h>

#include "scenarios.h"
#include "ydt1363/frame.h"

namespace {

using qmr4100::sim::Bus;
using qmr4100::sim::Scenario;
using qmr4100::sim::ScenarioError;

std::string command(std::uint8_t adr, std::uint8_t cid2) {
  return ydt1363::encode(ydt1363::Frame{0x21, adr, 0x41, cid2, {}});
}

std::string written(const std::vector<qmr4100::sim::Simulator::Output>& outputs) {
  std::string bytes;
  for (const auto& output : outputs) bytes += output.bytes;
  return bytes;
}

Scenario at(std::uint8_t address, std::size_t modules) {
  Scenario scenario = with_modules(modules);
  scenario.address = address;
  return scenario;
}

TEST(Bus, EachSystemAnswersItsOwnAddressFromItsOwnState) {
  Bus bus({at(1, 2), at(7, 5)}, {});
  for (int i = 0; i < 3; ++i) bus.receive(command(7, 0x42));
  const auto answer = ydt1363::decode(written(bus.receive(command(1, 0x42))));
  ASSERT_EQ(answer.error, ydt1363::DecodeError::None);
  EXPECT_EQ(answer.frame.adr, 1);
  EXPECT_EQ(answer.frame.info[3], 2);  // system 1's module count
  EXPECT_EQ(bus.system(0).cycle(), 1);
  EXPECT_EQ(bus.system(1).cycle(), 3);
  EXPECT_EQ(bus.answers(), 4u);
}

TEST(Bus, StaysSilentForAddressesItDoesNotServe) {
  Bus bus({at(1, 2), at(2, 2)}, {});
  EXPECT_EQ(written(bus.receive(command(3, 0x42) + command(0, 0x43))), "");
  EXPECT_EQ(bus.answers(), 0u);
}

TEST(Bus, RefusesTwoSystemsAtOneAddressAndAnEmptyLine) {
  EXPECT_THROW(Bus({at(4, 1), at(4, 2)}, {}), ScenarioError);
  EXPECT_THROW(Bus({}, {}), ScenarioError);
}

}  // namespace
