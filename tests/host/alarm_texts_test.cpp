// The host keeps each distinct set of alarm texts once; evaluations point to
// it and still read, compare and print like strings.
#include "host/AlarmTexts.h"

#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "host/rule_value.h"

namespace {

TEST(AlarmTexts, EqualTextsShareOneRecord) {
  const AlarmTexts* first = InternAlarmTexts("pmz21vb_0", "06024", "名", "描述");
  EXPECT_EQ(first, InternAlarmTexts("pmz21vb_0", "06024", "名", "描述"));
  EXPECT_EQ(first->desc, "描述");
}

TEST(AlarmTexts, AnyDifferingTextMakesAnotherRecord) {
  const AlarmTexts* base = InternAlarmTexts("i", "c", "n", "d");
  EXPECT_NE(base, InternAlarmTexts("x", "c", "n", "d"));
  EXPECT_NE(base, InternAlarmTexts("i", "x", "n", "d"));
  EXPECT_NE(base, InternAlarmTexts("i", "c", "x", "d"));
  EXPECT_NE(base, InternAlarmTexts("i", "c", "n", "x"));
  // Text boundaries count: "ab"+"c" is not "a"+"bc".
  EXPECT_NE(InternAlarmTexts("ab", "c", "", ""), InternAlarmTexts("a", "bc", "", ""));
}

TEST(AlarmTexts, ThreadsInterningTheSameTextsGetOneRecord) {
  constexpr int kThreads = 4;
  std::vector<const AlarmTexts*> seen(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&seen, t] {
      for (int i = 0; i < 200; ++i)
        seen[t] = InternAlarmTexts("race_" + std::to_string(i), "06029", "其他告警", "d");
    });
  }
  for (auto& thread : threads) thread.join();
  for (const AlarmTexts* texts : seen) EXPECT_EQ(texts, seen[0]);
}

TEST(ReportedTexts, SamePositionAndTextsGiveTheSameRecord) {
  ReportedTexts reported;
  const AlarmTexts* first = reported.At(0, "a", "c", "n", "d");
  EXPECT_EQ(reported.At(1, "b", "c", "n", "d"), InternAlarmTexts("b", "c", "n", "d"));
  EXPECT_EQ(reported.At(0, "a", "c", "n", "d"), first);
}

TEST(ReportedTexts, ChangedTextsAtAPositionAreFoundAnew) {
  ReportedTexts reported;
  reported.At(0, "a", "c", "n", "d");
  const AlarmTexts* changed = reported.At(0, "a", "c", "n", "other");
  EXPECT_EQ(changed->desc, "other");
  EXPECT_EQ(changed, InternAlarmTexts("a", "c", "n", "other"));
}

TEST(ReportedTexts, APositionBeyondThePreviousCycleIsFilled) {
  ReportedTexts reported;
  EXPECT_EQ(reported.At(5, "late", "c", "n", "d")->id, "late");
  EXPECT_EQ(reported.At(2, "mid", "c", "n", "d")->id, "mid");
}

TEST(RuleValue, FourTextsReadThroughOnePointer) {
  const rule_value value(2, "pmz21vb_06003_temperature_1", "06003", "电池温度过高告警",
                         "第1组电池温度高", true, 7);
  EXPECT_EQ(value.id, "pmz21vb_06003_temperature_1");
  EXPECT_EQ(value.code, std::string("06003"));
  EXPECT_EQ(value.name.str(), "电池温度过高告警");
  EXPECT_EQ("第1组电池温度高", value.desc);
  EXPECT_EQ(value.level, 2);
  EXPECT_TRUE(value.active);
  EXPECT_EQ(value.seq, 7);
  EXPECT_EQ(&value.texts(), InternAlarmTexts(value.id, value.code, value.name, value.desc));
}

TEST(RuleValue, TextsCompareAcrossFieldsAndConvertToStrings) {
  const rule_value value(2, "same", "06029", "same", "other", false, 1);
  EXPECT_TRUE(value.id == value.name);
  EXPECT_TRUE(value.name != value.desc);
  EXPECT_NE(value.code, "06028");
  std::set<std::string> texts{value.id, value.desc};
  EXPECT_EQ(texts.size(), 2u);
  std::ostringstream printed;
  printed << value.code << '/' << value.desc;
  EXPECT_EQ(printed.str(), "06029/other");
}

TEST(RuleValue, DefaultHasEmptyTexts) {
  const rule_value value;
  EXPECT_EQ(value.id, "");
  EXPECT_EQ(value.desc, "");
  EXPECT_FALSE(value.active);
  EXPECT_EQ(value.seq, 0);
}

TEST(RuleValue, CopiesShareTheTexts) {
  const rule_value value(2, "i", "c", "n", "d", true, 3);
  rule_value copy;
  copy = value;
  EXPECT_EQ(&copy.texts(), &value.texts());
  EXPECT_EQ(copy.desc, "d");
}

}  // namespace
