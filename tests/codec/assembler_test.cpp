// Cutting the received byte stream into frames.
#include "ydt1363/assembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ydt1363/frame.h"

namespace {

const std::string kFrame = "~20024600B014026EF05AA0022BFDD5C0F915\r";

class FrameAssemblerTest : public testing::Test {
 protected:
  ydt1363::FrameAssembler assembler{[this](std::string_view frame) { frames.emplace_back(frame); },
                                    [this](std::size_t bytes) { discarded.push_back(bytes); }};
  std::vector<std::string> frames;
  std::vector<std::size_t> discarded;
};

TEST_F(FrameAssemblerTest, DropsNoiseBeforeTheStart) {
  assembler.feed("\r\n12" + kFrame);
  EXPECT_EQ(frames, std::vector<std::string>{kFrame});
  EXPECT_EQ(discarded, (std::vector<std::size_t>{1, 1, 1, 1}));
  EXPECT_EQ(assembler.pending(), 0u);
}

TEST_F(FrameAssemblerTest, JoinsAFrameSplitAtAnyPoint) {
  for (std::size_t split = 0; split < kFrame.size(); ++split) {
    frames.clear();
    assembler.feed(kFrame.substr(0, split));
    EXPECT_TRUE(frames.empty()) << "split at " << split;
    assembler.feed(kFrame.substr(split));
    EXPECT_EQ(frames, std::vector<std::string>{kFrame}) << "split at " << split;
  }
  EXPECT_TRUE(discarded.empty());
}

TEST_F(FrameAssemblerTest, DeliversBackToBackFramesSeparately) {
  assembler.feed(kFrame + kFrame);
  EXPECT_EQ(frames, (std::vector<std::string>{kFrame, kFrame}));
}

TEST_F(FrameAssemblerTest, RestartsOnAStartMidFrame) {
  assembler.feed("~2002460" + kFrame);
  EXPECT_EQ(frames, std::vector<std::string>{kFrame});
  EXPECT_EQ(discarded, std::vector<std::size_t>{8});
}

TEST_F(FrameAssemblerTest, DiscardsAnOverlongFrameAndRecovers) {
  assembler.feed("~" + std::string(ydt1363::kMaxFrameChars - 1, '0'));
  EXPECT_EQ(discarded, std::vector<std::size_t>{ydt1363::kMaxFrameChars});
  EXPECT_EQ(assembler.pending(), 0u);
  assembler.feed(kFrame);
  EXPECT_EQ(frames, std::vector<std::string>{kFrame});
}

TEST_F(FrameAssemblerTest, KeepsAFrameOfTheLongestLength) {
  const std::string longest = "~" + std::string(ydt1363::kMaxFrameChars - 2, '0') + "\r";
  assembler.feed(longest);
  EXPECT_EQ(frames, std::vector<std::string>{longest});
  EXPECT_TRUE(discarded.empty());
}

TEST_F(FrameAssemblerTest, ClearForgetsAPartialFrame) {
  assembler.feed(kFrame.substr(0, 10));
  EXPECT_EQ(assembler.pending(), 10u);
  assembler.clear();
  assembler.feed(kFrame.substr(10));
  EXPECT_TRUE(frames.empty());
}

}  // namespace
