// A point as the description of the system states it, checked against what
// a round reported.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "round_fixture.h"

struct ExpectedPoint {
  std::string desc;
  std::string id;
  std::string code;
  std::string name;
  unsigned short seq;
};

inline std::ostream& operator<<(std::ostream& out, const ExpectedPoint& expected) {
  return out << expected.desc;
}

inline void expect_reported(const std::vector<rule_value>& points, const ExpectedPoint& expected) {
  const rule_value reported = point(points, expected.desc);
  EXPECT_EQ(reported.id, expected.id);
  EXPECT_EQ(reported.code, expected.code);
  EXPECT_EQ(reported.name, expected.name);
  EXPECT_EQ(reported.seq, expected.seq);
  EXPECT_EQ(reported.level, 2);
  EXPECT_FALSE(reported.active);
}
