#include "driver_line.h"

#include <stdexcept>

#include "ydt1363/frame.h"

namespace {
// A cycle has eight commands; anything beyond this is a driver out of control.
constexpr std::size_t kMaxExchanges = 32;
}  // namespace

DriverLine::DriverLine(qmr4100::sim::Scenario scenario, qmr4100::sim::FaultPlan faults)
    : device(make_device(controller, 1000, scenario.address)),
      simulator(std::move(scenario), std::move(faults)),
      assembler_([this](std::string_view frame) { deliver(frame); }) {}

void DriverLine::deliver(std::string_view frame) {
  std::string bytes(frame);
  device->process(reinterpret_cast<unsigned char*>(bytes.data()),
                  static_cast<unsigned int>(bytes.size()));
}

bool DriverLine::run_cycle() {
  const std::size_t published_before = controller->snapshots.size();
  assembler_.clear();
  device->RefreshStatus();
  for (std::size_t exchanges = 0; commands_carried_ < controller->sent.size(); ++exchanges) {
    if (exchanges == kMaxExchanges) throw std::runtime_error("the driver does not stop sending");
    const std::string command = controller->sent[commands_carried_++];
    for (auto& output : simulator.receive(command)) {
      assembler_.feed(output.bytes);
      written.push_back(std::move(output));
    }
  }
  return controller->snapshots.size() > published_before;
}

qmr4100::Block DriverLine::published() const {
  if (controller->snapshots.empty()) throw std::logic_error("nothing was published");
  const auto& bytes = controller->snapshots.back().bytes;
  if (bytes.size() != qmr4100::layout::kBlockSize) throw std::logic_error("published block size");
  qmr4100::Block block{};
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return block;
}

std::uint8_t DriverLine::last_command() const {
  const auto decoded = ydt1363::decode(controller->sent.back());
  return decoded.frame.cid2;
}
