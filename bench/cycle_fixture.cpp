#include "cycle_fixture.h"

#include <stdexcept>

#include <json/value.h>

#include "driver/snapshot_layout.h"
#include "qmr4100/sim/scenario.h"
#include "qmr4100/sim/simulator.h"

namespace bench {
namespace {

class RecordingController : public QuietController {
 public:
  int OnSend(SMDSPDevice&, const unsigned char* data, unsigned int length) override {
    sent.emplace_back(reinterpret_cast<const char*>(data), length);
    return static_cast<int>(length);
  }
  std::vector<std::string> sent;
};

// The simulator's default power system with `modules` modules (every seventh
// one faulty), a full 0x9C answer and no scripted changes, so every cycle
// answers the same.
qmr4100::sim::Scenario scenario_with(int modules) {
  qmr4100::sim::Scenario scenario = qmr4100::sim::default_scenario();
  scenario.changes.clear();
  scenario.modules.clear();
  for (int i = 0; i < modules; ++i) {
    qmr4100::sim::Module module;
    module.value = static_cast<qmr4100::sim::Tenths>(535 + i);
    module.status = i % 7 == 3 ? 0x01 : 0x00;
    scenario.modules.push_back(module);
  }
  scenario.entries_9c.assign(qmr4100::layout::kMaxEntries9C, {0x01, 0x00, 0x02, 0x1C});
  return scenario;
}

}  // namespace

std::size_t CycleFrames::wire_chars() const {
  std::size_t chars = 0;
  for (const auto& f : commands) chars += f.size();
  for (const auto& f : answers) chars += f.size();
  return chars;
}

std::shared_ptr<VARNOK_QMR4100> make_device(const std::shared_ptr<SMDController>& controller) {
  auto device = std::make_shared<VARNOK_QMR4100>();
  Json::Value config(Json::objectValue);
  config["address"] = 1;
  device->Init(controller, 1000, config);
  device->InitSetting(config);
  return device;
}

CycleFrames record_cycle(int modules) {
  auto controller = std::make_shared<RecordingController>();
  auto device = make_device(controller);
  qmr4100::sim::Simulator simulator(scenario_with(modules));
  CycleFrames frames;
  device->RefreshStatus();
  for (std::size_t step = 0; step < 8; ++step) {
    if (controller->sent.size() != step + 1) throw std::runtime_error("cycle stopped early");
    const std::string& command = controller->sent.back();
    std::string answer;
    for (const auto& out : simulator.receive(command)) answer += out.bytes;
    frames.commands.push_back(command);
    frames.answers.push_back(answer);
    device->process(reinterpret_cast<unsigned char*>(answer.data()),
                    static_cast<unsigned int>(answer.size()));
  }
  controller->WaitIdle();
  return frames;
}

int run_cycle(VARNOK_QMR4100& device, CycleFrames& frames) {
  device.RefreshStatus();
  int result = 1;
  for (std::string& answer : frames.answers) {
    result = device.process(reinterpret_cast<unsigned char*>(answer.data()),
                            static_cast<unsigned int>(answer.size()));
  }
  return result;
}

}  // namespace bench
