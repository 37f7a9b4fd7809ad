#include <gtest/gtest.h>

#include <vector>

#include "outputs/snmp/snmp_bounded_queue.h"

namespace gw = qmr4100::gateway;

TEST(SnmpBoundedQueue, KeepsTheNewestAndCountsTheOldestDropped) {
  gw::SnmpBoundedQueue<int> queue(3);
  std::vector<bool> room;
  for (int i = 1; i <= 5; ++i) room.push_back(queue.Push(i));
  EXPECT_EQ(room, (std::vector<bool>{true, true, true, false, false}));
  EXPECT_EQ(queue.Take(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(queue.Dropped(), 2u);
  EXPECT_TRUE(queue.Take().empty());
  EXPECT_TRUE(queue.Push(6));
  EXPECT_EQ(queue.Take(), (std::vector<int>{6}));
}
