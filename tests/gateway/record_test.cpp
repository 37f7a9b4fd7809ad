// The record across restarts and size limits.
#include <gtest/gtest.h>

#include <filesystem>

#include "record.h"
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

}  // namespace
