// qmr4100-soak-check: checks a gateway record from a run against the
// simulator. Every published block must be the scenario's expected block byte
// for byte, and every round must report 2 x N + 1144 alarm points, N being
// the module records the block holds, in its threshold events and its batch.
// The scenario has no scripted changes, so one expected block fits every
// cycle. The one tolerated difference: a 0x95 answer shorter than 4 bytes is
// skipped by the driver, which then publishes the 0x95 fields it held before.
#include <algorithm>
#include <cstddef>
#include <deque>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <string>

#include <CLI/CLI.hpp>
#include <json/reader.h>

#include "driver/snapshot_layout.h"
#include "qmr4100/sim/scenario.h"

namespace {

namespace layout = qmr4100::layout;
namespace sim = qmr4100::sim;
using qmr4100::Block;

constexpr std::size_t kFixedPoints = 1144;
constexpr std::size_t kReportedProblems = 10;
constexpr std::size_t kFields95 = layout::kBytes95;
constexpr std::size_t kFields95End = layout::kValue95 + 4;

std::size_t points_of_round(const Block& block) {
  return 2 * std::min<std::size_t>(block[layout::kModuleCount], layout::kMaxModules) + kFixedPoints;
}

std::optional<Block> block_from_hex(const std::string& hex) {
  if (hex.size() != 2 * layout::kBlockSize) return std::nullopt;
  Block block{};
  for (std::size_t i = 0; i < block.size(); ++i) {
    const std::string pair = hex.substr(2 * i, 2);
    if (pair.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return std::nullopt;
    block[i] = static_cast<std::uint8_t>(std::stoul(pair, nullptr, 16));
  }
  return block;
}

class RecordCheck {
 public:
  explicit RecordCheck(const Block& expected) : expected_(expected) {}

  // Threshold lines are by far the most; they are counted without parsing.
  void line(const std::string& text) {
    if (text.find("\"event\":\"threshold\"") != std::string::npos) {
      ++points_;
      return;
    }
    Json::Value event;
    std::string errors;
    const std::unique_ptr<Json::CharReader> reader(Json::CharReaderBuilder().newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &event, &errors)) {
      problem("unreadable record line: " + text.substr(0, 80));
      return;
    }
    const std::string name = event["event"].asString();
    ++events_[name];
    if (name == "snapshot") snapshot(event);
    if (name == "batch") batch(event["count"].asUInt64());
  }

  // Ends the last round; returns true when nothing was wrong.
  bool finish() {
    close_round();
    if (!pending_batches_.empty()) {
      problem(std::to_string(pending_batches_.size()) + " rounds without a batch event");
    }
    if (published_ == 0) problem("nothing was published");
    return problems_ == 0;
  }

  void print(std::ostream& out) const {
    out << "published " << published_ << ", wrong " << wrong_ << ", kept earlier 0x95 fields "
        << kept_95_ << ", point-count mismatches " << point_mismatches_ << "\n";
    out << "events:";
    for (const auto& [name, count] : events_) out << " " << name << " " << count;
    out << ", threshold " << points_total_ + points_ << "\n";
  }

 private:
  void snapshot(const Json::Value& event) {
    close_round();
    ++published_;
    const auto block = block_from_hex(event["bytes"].asString());
    if (!block || event["length"].asUInt() != layout::kBlockSize || event["sp"].asInt() != 5229) {
      ++wrong_;
      problem("publication " + std::to_string(published_) + ": not an 895-byte block under 5229");
      return;
    }
    check_block(*block);
    round_points_ = points_of_round(*block);
    pending_batches_.push_back(round_points_);
    previous_ = *block;
  }

  void check_block(const Block& block) {
    const auto difference = sim::compare_block(block, expected_);
    if (!difference) return;
    if (only_95_kept(block)) {
      ++kept_95_;
      return;
    }
    ++wrong_;
    problem("publication " + std::to_string(published_) + ": " + *difference);
  }

  // The block differs from the expected one only in the 0x95 fields, and
  // those are what the previous publication (or the zeroed block) held.
  bool only_95_kept(const Block& block) const {
    Block patched = block;
    std::copy(expected_.begin() + kFields95, expected_.begin() + kFields95End,
              patched.begin() + kFields95);
    return !sim::compare_block(patched, expected_) &&
           std::equal(block.begin() + kFields95, block.begin() + kFields95End,
                      previous_.begin() + kFields95);
  }

  void close_round() {
    if (published_ > 0 && points_ != round_points_) {
      ++point_mismatches_;
      problem("publication " + std::to_string(published_) + ": " + std::to_string(points_) +
              " alarm points, " + std::to_string(round_points_) + " expected");
    }
    points_total_ += points_;
    points_ = 0;
  }

  void batch(std::size_t count) {
    if (pending_batches_.empty()) {
      problem("batch event without a publication");
      return;
    }
    if (count != pending_batches_.front()) {
      ++point_mismatches_;
      problem("batch of " + std::to_string(count) + " evaluations, " +
              std::to_string(pending_batches_.front()) + " expected");
    }
    pending_batches_.pop_front();
  }

  void problem(const std::string& text) {
    if (problems_++ < kReportedProblems) std::cerr << "qmr4100-soak-check: " << text << "\n";
  }

  const Block expected_;
  Block previous_{};
  std::size_t published_ = 0, wrong_ = 0, kept_95_ = 0, point_mismatches_ = 0, problems_ = 0;
  std::size_t points_ = 0, points_total_ = 0, round_points_ = 0;
  std::deque<std::size_t> pending_batches_;
  std::map<std::string, std::size_t> events_;
};

sim::Scenario steady_scenario() {
  sim::Scenario scenario = sim::default_scenario();
  scenario.changes.clear();
  return scenario;
}

int write_scenario(const std::string& path) {
  std::ofstream file(path);
  if (!(file << sim::scenario_to_json(steady_scenario()) << "\n")) {
    std::cerr << "qmr4100-soak-check: " << path << ": cannot be written\n";
    return 2;
  }
  return 0;
}

int check_record(const std::string& scenario_path, const std::string& record_path) {
  const sim::Scenario scenario = sim::load_scenario(scenario_path);
  if (!scenario.changes.empty()) {
    std::cerr << "qmr4100-soak-check: " << scenario_path
              << ": has scripted changes; one expected block must fit every cycle\n";
    return 2;
  }
  std::ifstream record(record_path);
  if (!record) {
    std::cerr << "qmr4100-soak-check: " << record_path << ": cannot be read\n";
    return 2;
  }
  RecordCheck check(sim::expected_block(scenario, 1));
  for (std::string text; std::getline(record, text);) check.line(text);
  const bool good = check.finish();
  check.print(std::cout);
  return good ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"qmr4100-soak-check: checks a gateway record against the simulator's scenario: "
               "every published block byte for byte, every round's alarm point count"};
  std::string write_path, scenario_path, record_path;
  auto* write = app.add_option(
      "--write-scenario", write_path,
      "Write the default scenario without scripted changes to FILE and exit");
  app.add_option("--scenario", scenario_path, "Scenario the simulator ran (no scripted changes)")
      ->excludes(write);
  app.add_option("--record", record_path, "Gateway record (JSON lines; a FIFO works)")
      ->excludes(write);
  CLI11_PARSE(app, argc, argv);
  if (!write_path.empty()) return write_scenario(write_path);
  if (scenario_path.empty() || record_path.empty()) {
    std::cerr << "qmr4100-soak-check: give --scenario and --record, or --write-scenario "
                 "(see --help)\n";
    return 2;
  }
  try {
    return check_record(scenario_path, record_path);
  } catch (const sim::ScenarioError& error) {
    std::cerr << "qmr4100-soak-check: " << error.what() << "\n";
    return 2;
  }
}
