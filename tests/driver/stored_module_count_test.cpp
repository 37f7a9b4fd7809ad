// A block restored from a cache copy may announce up to 255 modules while it
// holds 64 records. The 0x43 and 0x44 decoders walk the stored count, so they
// must refuse such a block instead of writing past the module records (and,
// from 111 modules on, past the block itself).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "capture_controller.h"
#include "driver/decoders.h"
#include "ydt1363/frame.h"

namespace {

namespace layout = qmr4100::layout;
using qmr4100::Block;

// An answer whose count byte matches `modules` and that holds every entry.
std::vector<std::uint8_t> answer_for(std::uint8_t modules, std::size_t entry_size) {
  std::vector<std::uint8_t> info(1 + entry_size * modules, 0x00);
  info[0] = modules;
  return info;
}

struct RefusedAnswer {
  const char* name;
  std::uint8_t stored_count;
  std::size_t entry_size;  // 0x43: three bytes + skip; 0x44: one byte + skip
  int (*decode)(Block&, qmr4100::Info);
};

int decode_43(Block& block, qmr4100::Info info) {
  return qmr4100::decode_41_43(block, info, nullptr);
}
int decode_44(Block& block, qmr4100::Info info) { return qmr4100::decode_41_44(block, info); }

class StoredModuleCountAboveRecords : public ::testing::TestWithParam<RefusedAnswer> {};

TEST_P(StoredModuleCountAboveRecords, DecoderRefusesAndLeavesTheBlock) {
  const RefusedAnswer& c = GetParam();
  auto block = std::make_unique<Block>();  // on the heap: a sanitizer sees writes past it
  block->fill(0x5A);
  (*block)[layout::kModuleCount] = c.stored_count;
  const Block before = *block;
  const auto info = answer_for(c.stored_count, c.entry_size);

  EXPECT_EQ(c.decode(*block, {info.data(), info.size()}), 0);
  EXPECT_EQ(*block, before);
}

INSTANTIATE_TEST_SUITE_P(
    Decoders, StoredModuleCountAboveRecords,
    ::testing::Values(RefusedAnswer{"answer43_65", 65, 4, decode_43},
                      RefusedAnswer{"answer43_255", 255, 4, decode_43},
                      RefusedAnswer{"answer44_65", 65, 2, decode_44},
                      RefusedAnswer{"answer44_255", 255, 2, decode_44}),
    [](const auto& info) { return std::string(info.param.name); });

std::string answer_frame(const std::vector<std::uint8_t>& info) {
  std::string frame;
  ydt1363::encode(0x21, 1, 0x41, 0x00, info.data(), info.size(), frame);
  return frame;
}

TEST(StoredModuleCountAboveRecordsInCycle, RestoreMidCycleEndsTheCycleAtTheNextRecordAnswer) {
  auto controller = std::make_shared<CaptureController>();
  auto device = make_device(controller);
  device->RefreshStatus();
  std::string frame = answer_frame({0x00, 0x01, 0xF4, 0x00});  // 0x42, no modules
  device->process(reinterpret_cast<unsigned char*>(frame.data()), frame.size());
  ASSERT_EQ(device->Step(), 2);

  std::vector<unsigned char> cached(layout::kBlockSize, 0x11);
  cached[layout::kModuleCount] = 200;
  ASSERT_EQ(device->LoadFromCache(cached.data(), static_cast<int>(cached.size())), 1);
  const std::size_t sent_before = controller->sent.size();
  frame = answer_frame(answer_for(200, 4));
  device->process(reinterpret_cast<unsigned char*>(frame.data()), frame.size());

  EXPECT_EQ(device->Step(), 0);
  EXPECT_EQ(controller->sent.size(), sent_before);
  EXPECT_TRUE(std::equal(cached.begin(), cached.end(), device->Snapshot().begin()));
}

}  // namespace
