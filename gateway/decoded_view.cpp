#include "decoded_view.h"

#include <fmt/format.h>

#include "events.h"
#include "json_text.h"

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;

Json::Value module_view(const Block& block, std::size_t index) {
  const std::size_t record = module_record(index);
  const std::uint8_t status = block[record + kModuleStatus];
  Json::Value module(Json::objectValue);
  module["module"] = static_cast<Json::UInt>(index + 1);
  // A module without communication has no current reading, only a stale one.
  module["value"] = status == kModuleCommFailure
                        ? Json::Value()
                        : json_number(get_f32le(block, record + kModuleValue));
  Json::Value& states = module["states"] = Json::Value(Json::arrayValue);
  for (std::size_t k = 0; k < 3; ++k) states.append(block[record + kModuleStates + k]);
  module["status"] = status;
  module["fault"] = status == kModuleFault;
  module["comm_failure"] = status == kModuleCommFailure;
  return module;
}

Json::Value labels_view(const FieldLabels& labels) {
  Json::Value view(Json::objectValue);
  for (const auto& [key, label] : labels) {
    Json::Value& entry = view[key] = Json::Value(Json::objectValue);
    if (!label.label.empty()) entry["label"] = label.label;
    if (!label.unit.empty()) entry["unit"] = label.unit;
  }
  return view;
}

void add_block(Json::Value& view, const Block& block) {
  view["module_count"] = block[kModuleCount];
  view["system_value"] = json_number(get_f32le(block, kSystemValue));
  Json::Value& modules = view["modules"] = Json::Value(Json::arrayValue);
  for (std::size_t i = 0; i < std::min<std::size_t>(block[kModuleCount], kMaxModules); ++i)
    modules.append(module_view(block, i));
  Json::Value& values = view["values_a2"] = Json::Value(Json::arrayValue);
  for (std::size_t k = 0; k < kValueCountA2; ++k)
    values.append(json_number(get_f32le(block, kValuesA2 + 4 * k)));
  view["value_95"] = json_number(get_f32le(block, kValue95));
  view["battery"] = to_hex(block.data() + kBattery, kBatterySize);
  view["block"] = to_hex(block.data(), block.size());
}

}  // namespace

std::string block_time_text(const Block& block) {
  const std::uint8_t* t = block.data() + kTimestamp;
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}", t[0] | t[1] << 8, t[2], t[3], t[4],
                     t[5], t[6]);
}

Json::Value decoded_view(const DeviceState& device) {
  Json::Value view(Json::objectValue);
  view["data_id"] = device.DataId();
  view["name"] = device.Name();
  if (const std::optional<Block>& block = device.LastBlock()) {
    view["time"] = block_time_text(*block);
    view["received"] = utc_text(device.Received());
    add_block(view, *block);
  }
  if (!device.Labels().empty()) view["labels"] = labels_view(device.Labels());
  return view;
}

}  // namespace qmr4100::gateway
