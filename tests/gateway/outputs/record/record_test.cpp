// The record across restarts, size limits and a disk that fails it.
#include <gtest/gtest.h>

#include <filesystem>

#include "file_size_limit.h"
#include "outputs/record/record.h"
#include "support.h"

namespace gw = qmr4100::gateway;

namespace {

Json::Value line_event(int n) {
  Json::Value event(Json::objectValue);
  event["event"] = "test";
  event["n"] = n;
  return event;
}

TEST(Record, RestartAppendsAndEveryEventHasItsTime) {
  gwtest::TempDir dir;
  const std::string path = dir.File("r.jsonl");
  for (int run = 0; run < 2; ++run) {
    gw::Record record({path, 0, 5});
    record.Write(line_event(run));
  }
  const auto events = gwtest::read_record(path);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0]["n"], 0);
  EXPECT_EQ(events[1]["n"], 1);
  // 2026-12-08T21:05:39.123Z
  EXPECT_EQ(events[0]["time"].asString().size(), 24u);
  EXPECT_EQ(events[0]["time"].asString().back(), 'Z');
}

TEST(Record, RotationKeepsAtMostTheConfiguredFiles) {
  gwtest::TempDir dir;
  const std::string path = dir.File("r.jsonl");
  {
    gw::Record record({path, 200, 2});
    for (int n = 0; n < 100; ++n) record.Write(line_event(n));
  }
  EXPECT_TRUE(std::filesystem::exists(path + ".1"));
  EXPECT_TRUE(std::filesystem::exists(path + ".2"));
  EXPECT_FALSE(std::filesystem::exists(path + ".3"));
  EXPECT_LE(std::filesystem::file_size(path + ".1"), 400u);
  // The newest events are in the current file, the ones just before in .1.
  const auto current = gwtest::read_record(path);
  const auto previous = gwtest::read_record(path + ".1");
  ASSERT_FALSE(previous.empty());
  const int last = current.empty() ? previous.back()["n"].asInt() : current.back()["n"].asInt();
  EXPECT_EQ(last, 99);
}

// What the record said on the console, and a record that tries again at once.
struct Said {
  std::vector<std::string> lines;
  gw::Record::Say Say() {
    return [this](const std::string& line) { lines.push_back(line); };
  }
};

gw::RecordOptions retrying(const std::string& path, std::chrono::milliseconds wait = {}) {
  gw::RecordOptions options;
  options.path = path;
  options.retry_after = wait;
  return options;
}

std::vector<std::string> event_names(const std::vector<Json::Value>& events) {
  std::vector<std::string> names;
  for (const Json::Value& event : events) names.push_back(event["event"].asString());
  return names;
}

// A full disk cuts a line short; the file must still hold whole lines only,
// and writing must go on once there is room again.
TEST(Record, FullDiskDropsWholeLinesSaysSoOnceAndCountsWhatWasLost) {
  gwtest::TempDir dir;
  const std::string path = dir.File("r.jsonl");
  Said said;
  gw::Record record(retrying(path), said.Say());
  record.Write(line_event(0));
  {
    FileSizeLimit full(std::filesystem::file_size(path) + 30);
    for (int n = 1; n <= 5; ++n) record.Write(line_event(n));
  }
  record.Write(line_event(6));

  const auto events = gwtest::read_record(path);  // throws on a torn line
  EXPECT_EQ(event_names(events), (std::vector<std::string>{"test", "record_lost", "test"}));
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1]["count"], 5);
  EXPECT_NE(events[1]["problem"].asString().find("cannot write"), std::string::npos);
  EXPECT_EQ(events[2]["n"], 6);
  ASSERT_EQ(said.lines.size(), 2u);
  EXPECT_NE(said.lines[0].find("cannot write"), std::string::npos) << said.lines[0];
  EXPECT_NE(said.lines[1].find("5 events were lost"), std::string::npos) << said.lines[1];
}

TEST(Record, WhatWasLostIsWrittenAtTheEndEvenWithinTheWait) {
  gwtest::TempDir dir;
  const std::string path = dir.File("r.jsonl");
  {
    gw::Record record(retrying(path, std::chrono::hours(1)), [](const std::string&) {});
    {
      FileSizeLimit full(0);
      record.Write(line_event(1));
    }
    record.Write(line_event(2));  // dropped: the wait is not over
  }
  const auto events = gwtest::read_record(path);
  ASSERT_EQ(event_names(events), std::vector<std::string>{"record_lost"});
  EXPECT_EQ(events[0]["count"], 2);
}

struct Removal {
  const char* name;
  void (*remove)(const std::filesystem::path& folder, const std::string& file);
};

// A file that the path no longer names is started anew, its folder made
// again; with a size limit the next rotation must not end the gateway.
TEST(Record, FileTakenAwayUnderTheGatewayIsStartedAnew) {
  const Removal removals[] = {
      {"file removed", [](const auto&, const std::string& file) { std::filesystem::remove(file); }},
      {"file renamed away",
       [](const auto&, const std::string& file) { std::filesystem::rename(file, file + ".old"); }},
      {"folder removed",
       [](const auto& folder, const auto&) { std::filesystem::remove_all(folder); }},
  };
  for (const std::uint64_t max_bytes : {std::uint64_t{0}, std::uint64_t{200}}) {
    for (const Removal& removal : removals) {
      SCOPED_TRACE(std::string(removal.name) + (max_bytes ? ", rotating" : ""));
      gwtest::TempDir dir;
      const std::filesystem::path folder = dir.Path() / "records";
      const std::string path = (folder / "r.jsonl").string();
      Said said;
      gw::RecordOptions options = retrying(path);
      options.max_bytes = max_bytes;
      gw::Record record(options, said.Say());
      record.Write(line_event(0));
      removal.remove(folder, path);
      for (int n = 1; n <= 10; ++n) EXPECT_NO_THROW(record.Write(line_event(n)));
      // A rotation just after the last event leaves it in FILE.1.
      auto events = gwtest::read_record(path);
      if (events.empty() && max_bytes > 0) events = gwtest::read_record(path + ".1");
      ASSERT_FALSE(events.empty());
      EXPECT_EQ(events.back()["n"], 10);
      ASSERT_FALSE(said.lines.empty());
      EXPECT_NE(said.lines[0].find("removed or replaced"), std::string::npos) << said.lines[0];
    }
  }
}

}  // namespace
