#include "scenarios.h"

#include <cstdint>

#include "ydt1363/frame.h"

namespace golden {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kAddress = 0x01;
constexpr unsigned char kCommands[] = {0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2};

std::string frame(std::uint8_t cid2, const Bytes& info) {
  std::string out;
  ydt1363::encode(0x21, kAddress, 0x41, cid2, info.data(), info.size(), out);
  return out;
}
Step answer(const Bytes& info, std::uint8_t rtn = 0x00) { return {false, frame(rtn, info)}; }
Step echo(unsigned char command) { return {false, frame(command, {})}; }
Step refresh() { return {true, {}}; }

Bytes counting(std::size_t count, std::uint8_t first) {
  Bytes out(count);
  for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<std::uint8_t>(first + 7 * i);
  return out;
}

// The eight answers for `modules` rectifier modules. Values and bytes run
// through the upper half of every byte so that a sign or byte-order slip shows;
// every third module has skip bytes after its fields.
std::vector<Bytes> cycle(std::size_t modules, std::size_t entries_9c) {
  const auto count = static_cast<std::uint8_t>(modules);
  Bytes a42 = {0x00, 0x87, 0x65, count}, a43 = {count}, a44 = {count};
  const std::uint8_t statuses[] = {0x00, 0x01, 0xFE, 0x80, 0x7F};
  for (std::size_t m = 0; m < modules; ++m) {
    const auto seed = static_cast<std::uint8_t>(m * 37);
    const Bytes skip = m % 3 == 2 ? Bytes{0xAA, 0x55} : Bytes{};
    const auto skipped = static_cast<std::uint8_t>(skip.size());
    a42.insert(a42.end(), {static_cast<std::uint8_t>(0xF0 - m), seed, skipped});
    a42.insert(a42.end(), skip.begin(), skip.end());
    a43.insert(a43.end(), {seed, static_cast<std::uint8_t>(seed + 0x80), 0xC3, skipped});
    a43.insert(a43.end(), skip.begin(), skip.end());
    a44.insert(a44.end(), {statuses[m % 5], skipped});
    a44.insert(a44.end(), skip.begin(), skip.end());
  }
  Bytes a9c = counting(4 * entries_9c, 0x90);
  a9c.insert(a9c.begin(), static_cast<std::uint8_t>(entries_9c));
  Bytes a2 = counting(24, 0x81);
  a2.insert(a2.end(), {0xC1, 0xC2, 0xC3});
  return {a42, a43, a44, counting(56, 0x10), {0x0A, 0xFB, 0x80, 0x01}, a9c, counting(54, 0xF3), a2};
}

void add_cycle(std::vector<Step>& steps, const std::vector<Bytes>& answers, bool echoes) {
  steps.push_back(refresh());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    if (echoes) steps.push_back(echo(kCommands[i]));
    steps.push_back(answer(answers[i]));
  }
}

// A cycle over a half-duplex line (every command echoed), error replies of
// the power system, then answers the driver must refuse, each ending its
// cycle, and last a clean cycle.
std::vector<Step> line_faults() {
  std::vector<Step> steps;
  add_cycle(steps, cycle(3, 3), true);
  const std::vector<Bytes> good = cycle(3, 3);
  steps.push_back(refresh());
  steps.push_back(answer(good[0]));
  for (std::uint8_t rtn = 0x01; rtn <= 0x06; ++rtn) steps.push_back(answer({}, rtn));
  steps.push_back(answer({}, 0xE0));
  steps.push_back(answer(good[1]));

  std::vector<Bytes> too_many_modules = cycle(3, 3);
  too_many_modules[0][3] = 65;
  add_cycle(steps, too_many_modules, false);
  add_cycle(steps, cycle(3, 51), false);
  std::vector<Bytes> short_battery = cycle(3, 3);
  short_battery[3].resize(40);
  add_cycle(steps, short_battery, false);
  add_cycle(steps, cycle(3, 3), false);
  return steps;
}

std::vector<Step> clean_cycles(std::size_t modules, std::size_t entries_9c) {
  std::vector<Step> steps;
  add_cycle(steps, cycle(modules, entries_9c), false);
  return steps;
}

}  // namespace

const std::vector<Scenario>& scenarios() {
  static const std::vector<Scenario> all = {
      {"line_faults", line_faults()},
      {"no_modules", clean_cycles(0, 0)},
      {"eight_modules", clean_cycles(8, 12)},
      {"sixty_four_modules", clean_cycles(64, 50)},
  };
  return all;
}

}  // namespace golden
