#include "transcript.h"

#include <fmt/format.h>

#include <memory>

#include "capture_controller.h"
#include "driver/snapshot_layout.h"

namespace golden {
namespace {

namespace layout = qmr4100::layout;

// Frames are printable but end in "\r"; the transcript shows it as "\r".
std::string shown(const std::string& frame) {
  return frame.back() == '\r' ? frame.substr(0, frame.size() - 1) + "\\r" : frame;
}

// Sixteen bytes a line with the offset; the time stamp reads "..", as it is
// the one part of the block that changes from run to run.
void write_block(std::string& out, const Snapshot& published) {
  out += fmt::format("publish sp {} flag {} bytes {}\n", published.sp, published.flag,
                     published.bytes.size());
  for (std::size_t at = 0; at < published.bytes.size(); at += 16) {
    out += fmt::format("  {:03}:", at);
    for (std::size_t i = at; i < at + 16 && i < published.bytes.size(); ++i) {
      const bool stamp = i >= layout::kTimestamp && i < layout::kTimestamp + layout::kTimestampSize;
      out += stamp ? std::string(" ..") : fmt::format(" {:02x}", published.bytes[i]);
    }
    out += '\n';
  }
}

void write_batch(std::string& out, const std::vector<rule_value>& batch) {
  out += fmt::format("batch of {} points\n", batch.size());
  for (const rule_value& point : batch) {
    out += fmt::format("  {} {} {} | {} | {} | {} | {}\n", point.level, point.active ? 1 : 0,
                       point.seq, point.id.str(), point.code.str(), point.name.str(),
                       point.desc.str());
  }
}

// Everything the controller gathered since the last call, then forgets it.
void drain(std::string& out, CaptureController& controller) {
  controller.RunTasks();
  for (const std::string& frame : controller.sent) out += "sent " + shown(frame) + "\n";
  for (const std::string& line : controller.log) out += "log " + line + "\n";
  for (const Snapshot& published : controller.snapshots) write_block(out, published);
  for (const auto& batch : controller.batches) write_batch(out, batch);
  controller.sent.clear();
  controller.log.clear();
  controller.snapshots.clear();
  controller.batches.clear();
  // The same points, one call each; the batch above holds them all.
  controller.thresholds.clear();
}

}  // namespace

std::string transcript(const Scenario& scenario) {
  auto controller = std::make_shared<CaptureController>();
  auto device = make_device(controller);
  std::string out = "scenario " + scenario.name + "\n";
  drain(out, *controller);
  for (const Step& step : scenario.steps) {
    std::string frame = step.frame;
    const int result =
        step.refresh ? device->RefreshStatus()
                     : device->process(reinterpret_cast<unsigned char*>(frame.data()),
                                       static_cast<unsigned int>(frame.size()));
    out += step.refresh ? "refresh" : "frame " + shown(step.frame);
    out += fmt::format(" -> {} (step {})\n", result, device->Step());
    drain(out, *controller);
  }
  return out;
}

}  // namespace golden
