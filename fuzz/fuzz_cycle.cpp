// The driver fed an arbitrary sequence of host actions (see cycle_input.h)
// through a capturing host controller. After every action:
//   - the protocol step is within 0..8;
//   - at most one command went out, the one the new step awaits;
//   - the block changed only in the fields of the answer the step awaited,
//     plus the timestamp when the round completed (a cache restore replaces
//     it whole);
//   - a publication is the device's 895-byte block under 5229, made only for
//     the eighth answer, followed by 2 x N + 1144 alarm points, N being the
//     module records the block holds;
//   - the alarm list stays empty, the pending evaluations were handed over,
//     the data id and address are untouched.
// At the end every batch task holds exactly the points of its round.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "answer_fields.h"
#include "capture_controller.h"
#include "cycle_input.h"
#include "driver/VARNOK_QMR4100.h"
#include "fuzz_check.h"
#include "ydt1363/frame.h"

namespace {

using qmr4100::fuzz::Action;
using qmr4100::fuzz::Op;
namespace layout = qmr4100::layout;

constexpr unsigned kDataId = 1000;
constexpr std::size_t kFixedPoints = 1144;

std::size_t points_of_round(const std::vector<unsigned char>& block) {
  const std::size_t modules =
      std::min<std::size_t>(block[layout::kModuleCount], layout::kMaxModules);
  return 2 * modules + kFixedPoints;
}

// Received bytes live in a heap buffer of exactly their size, so that the
// sanitizer sees a read past the end of a frame.
std::unique_ptr<unsigned char[]> heap_copy(std::string_view bytes) {
  auto copy = std::make_unique<unsigned char[]>(bytes.size());
  std::copy(bytes.begin(), bytes.end(), copy.get());
  return copy;
}

class CycleChecker {
 public:
  CycleChecker()
      : controller_(std::make_shared<CaptureController>()),
        device_(std::make_shared<VARNOK_QMR4100>()) {
    const Json::Value config(Json::objectValue);
    device_->Init(controller_, kDataId, config);
    device_->InitSetting(config);
    address_ = device_->Address();
  }

  void run(const Action& action) {
    const qmr4100::Block before = device_->Snapshot();
    const int step_before = device_->Step();
    const Counts counts_before = counts();
    const bool restored = act(action);
    check_step_and_command(counts_before);
    const bool published = check_publication(counts_before, step_before);
    if (restored) {
      FUZZ_CHECK(std::memcmp(action.payload.data(), device_->Snapshot().data(),
                             layout::kBlockSize) == 0);
    } else {
      check_block_writes(before, step_before, published);
    }
    check_device_state();
  }

  void finish() {
    controller_->RunTasks();
    std::vector<std::size_t> batch_sizes;
    for (const auto& batch : controller_->batches) batch_sizes.push_back(batch.size());
    FUZZ_CHECK(batch_sizes == round_points_);
  }

 private:
  struct Counts {
    std::size_t sent, publications, points;
  };
  Counts counts() const {
    return {controller_->sent.size(), controller_->snapshots.size(), controller_->thresholds.size()};
  }

  // Returns true when the action restored the block from a cache copy.
  bool act(const Action& action) {
    switch (action.op) {
      case Op::Refresh:
        FUZZ_CHECK(device_->RefreshStatus() == 1);
        return false;
      case Op::Answer:
        feed(answer_frame(action.payload));
        return false;
      case Op::Raw:
        feed(action.payload);
        return false;
      case Op::Cache: {
        const auto copy = heap_copy(action.payload);
        const int length = static_cast<int>(action.payload.size());
        const int result = device_->LoadFromCache(copy.get(), length);
        FUZZ_CHECK(result == (action.payload.size() == layout::kBlockSize ? 1 : 0));
        return result == 1;
      }
    }
    return false;
  }

  std::string answer_frame(std::string_view payload) const {
    const std::uint8_t rtn = payload.empty() ? 0 : static_cast<std::uint8_t>(payload[0]);
    if (!payload.empty()) payload.remove_prefix(1);
    payload = payload.substr(0, ydt1363::kMaxInfoBytes);
    std::string frame;
    ydt1363::encode(device_->ProtocolByte(), address_, 0x41, rtn,
                    reinterpret_cast<const std::uint8_t*>(payload.data()), payload.size(), frame);
    return frame;
  }

  void feed(std::string_view received) {
    const auto copy = heap_copy(received);
    device_->process(copy.get(), static_cast<unsigned>(received.size()));
  }

  void check_step_and_command(const Counts& before) const {
    const int step = device_->Step();
    FUZZ_CHECK(step >= 0 && step <= qmr4100::fuzz::kLastStep);
    const std::size_t sent = controller_->sent.size() - before.sent;
    FUZZ_CHECK(sent <= 1);
    if (sent == 0) return;
    const ydt1363::DecodeResult command = ydt1363::decode(controller_->sent.back());
    FUZZ_CHECK(command.error == ydt1363::DecodeError::None);
    FUZZ_CHECK(step >= 1);
    FUZZ_CHECK(command.frame.adr == address_ && command.frame.cid1 == 0x41);
    FUZZ_CHECK(command.frame.cid2 == qmr4100::fuzz::kCycleCodes[step - 1]);
    FUZZ_CHECK(command.frame.info.empty());
  }

  bool check_publication(const Counts& before, int step_before) {
    const std::size_t published = controller_->snapshots.size() - before.publications;
    const std::size_t points = controller_->thresholds.size() - before.points;
    FUZZ_CHECK(published <= 1);
    if (published == 0) {
      FUZZ_CHECK(points == 0);
      return false;
    }
    const Snapshot& snapshot = controller_->snapshots.back();
    FUZZ_CHECK(step_before == qmr4100::fuzz::kLastStep);
    FUZZ_CHECK(snapshot.sp == VARNOK_QMR4100::kSnapshotId && !snapshot.flag);
    FUZZ_CHECK(snapshot.bytes.size() == layout::kBlockSize);
    FUZZ_CHECK(std::equal(snapshot.bytes.begin(), snapshot.bytes.end(),
                          device_->Snapshot().begin()));
    FUZZ_CHECK(points == points_of_round(snapshot.bytes));
    round_points_.push_back(points);
    return true;
  }

  void check_block_writes(const qmr4100::Block& before, int step_before, bool published) const {
    const qmr4100::Block& after = device_->Snapshot();
    const bool decoding = step_before >= 1 && step_before <= qmr4100::fuzz::kLastStep;
    for (std::size_t offset = 0; offset < layout::kBlockSize; ++offset) {
      if (before[offset] == after[offset]) continue;
      FUZZ_CHECK(decoding);
      const std::uint8_t code = qmr4100::fuzz::kCycleCodes[step_before - 1];
      FUZZ_CHECK(qmr4100::fuzz::answer_may_write(code, offset) ||
                 (published && qmr4100::fuzz::round_may_write(offset)));
    }
  }

  void check_device_state() {
    FUZZ_CHECK(device_->AlarmList().empty());
    FUZZ_CHECK(device_->PendingEvaluations().empty());
    FUZZ_CHECK(device_->DataId() == kDataId);
    FUZZ_CHECK(device_->Address() == address_);
  }

  std::shared_ptr<CaptureController> controller_;
  std::shared_ptr<VARNOK_QMR4100> device_;
  unsigned char address_ = 0;
  std::vector<std::size_t> round_points_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CycleChecker checker;
  for (const Action& action : qmr4100::fuzz::parse_actions(data, size)) checker.run(action);
  checker.finish();
  return 0;
}
