#include "outputs/console/console_view.h"

#include <fmt/format.h>

#include "text/block_view.h"

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;

std::string who(const DeviceState& device) {
  const std::string plain = fmt::format("device {}", device.DataId());
  return device.Name() == plain ? plain : fmt::format("{} ({})", plain, device.Name());
}

// A module's own label comes before the one every module has.
const FieldLabel* label_of(const DeviceState& device, const std::string& key) {
  const FieldLabels& labels = device.Labels();
  auto found = labels.find(key);
  if (found == labels.end() && key.rfind("modules[", 0) == 0) found = labels.find("module_value");
  return found == labels.end() ? nullptr : &found->second;
}

std::string labelled(const DeviceState& device, const std::string& key, std::string_view neutral,
                     float value) {
  const FieldLabel* label = label_of(device, key);
  if (label == nullptr) return plain_value(key, neutral, value);
  std::string text = plain_value(key, label->label.empty() ? neutral : label->label, value);
  if (!label->unit.empty()) text += " " + label->unit;
  return text;
}

std::string full_summary(const DeviceState& device) {
  const CyclePoints& points = device.LastPoints();
  std::string text = fmt::format("{}: cycle {} published\n{}", who(device),
                                 device.Count().published, summarize_block(*device.LastBlock(), [&device](const std::string& key, std::string_view neutral,
                                                 float value) {
                                   return labelled(device, key, neutral, value);
                                 }));
  text += fmt::format("alarm points: {}, active: {}", points.reported, points.active.size());
  for (const rule_value& point : points.active) text += "\n  active: " + point.desc.str();
  return text;
}

// "device 1000 (Site A): cycle 6 published, 8 modules (1 fault, 0 without
// communication), system value 53.5, 1 of 1160 alarm points active"
std::string summary_line(const DeviceState& device) {
  const Block& block = *device.LastBlock();
  const std::size_t count = std::min<std::size_t>(block[kModuleCount], kMaxModules);
  std::size_t faults = 0;
  std::size_t silent = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t status = block[module_record(i) + kModuleStatus];
    faults += status == kModuleFault;
    silent += status == kModuleCommFailure;
  }
  const CyclePoints& points = device.LastPoints();
  return fmt::format(
      "{}: cycle {} published, {} modules ({} fault, {} without communication), {}, {} of {} "
      "alarm points active",
      who(device), device.Count().published, block[kModuleCount], faults, silent,
      labelled(device, "system_value", "system value", get_f32le(block, kSystemValue)),
      points.active.size(), points.reported);
}

}  // namespace

void ConsoleView::Published(const DeviceState& device) {
  m_console.TimedLine(m_style == SummaryStyle::Full ? full_summary(device) : summary_line(device));
}

void ConsoleView::Missed(const DeviceState& device, CycleResult result, int step,
                         const std::string& reason) {
  // A device known to be offline is not reported again at every cycle.
  if (device.CurrentHealth() == Health::Offline) return;
  m_console.TimedLine(fmt::format("{}: cycle {} at step {}: {}", who(device),
                                  result == CycleResult::Abandoned ? "abandoned" : "failed", step,
                                  reason));
}

void ConsoleView::HealthChanged(const DeviceState& device, const HealthChange& change) {
  m_console.TimedLine(fmt::format("{}: {} ({})", who(device), health_name(change.to),
                                  change.reason));
}

void ConsoleView::AlarmChanged(const DeviceState& device, const AlarmChange& change) {
  m_console.TimedLine(fmt::format("{}: alarm {}: {} (code {}, #{})", who(device),
                                  change.raised ? "raised" : "cleared", change.point.desc.str(),
                                  change.point.code.str(), change.point.seq));
}

void ConsoleView::PortChanged(const std::string& port, PortEvent event, const std::string& error) {
  switch (event) {
    case PortEvent::CannotOpen:
      m_console.TimedLine(fmt::format("port {} cannot open: {}; retrying", port, error));
      break;
    case PortEvent::Lost:
      m_console.TimedLine(fmt::format("port {} lost: {}; reopening", port, error));
      break;
    case PortEvent::Restored:
      m_console.TimedLine(fmt::format("port {} is open; polling resumes", port));
      break;
  }
}

}  // namespace qmr4100::gateway
