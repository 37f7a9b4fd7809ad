#include "outputs/common/decoded_view.h"

#include <iterator>

#include <fmt/format.h>
#include <json/reader.h>

#include "text/json_text.h"
#include "text/point_json.h"

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;

using Out = std::back_insert_iterator<std::string>;

// The shortest decimal that reads back as the same float; null when not a number.
void put_float(Out out, float value) {
  if (std::isfinite(value))
    fmt::format_to(out, "{}", value);
  else
    fmt::format_to(out, "null");
}

void put_module(Out out, const Block& block, std::size_t index) {
  const std::size_t record = module_record(index);
  const std::uint8_t status = block[record + kModuleStatus];
  fmt::format_to(out, R"({{"module":{},"value":)", index + 1);
  // A module without communication has no current reading, only a stale one.
  if (status == kModuleCommFailure)
    fmt::format_to(out, "null");
  else
    put_float(out, get_f32le(block, record + kModuleValue));
  const std::uint8_t* states = block.data() + record + kModuleStates;
  fmt::format_to(out, R"(,"states":[{},{},{}],"status":{},"fault":{},"comm_failure":{}}})",
                 states[0], states[1], states[2], status, status == kModuleFault,
                 status == kModuleCommFailure);
}

void put_block(Out out, const DeviceState& device, const Block& block) {
  const std::size_t count = std::min<std::size_t>(block[kModuleCount], kMaxModules);
  fmt::format_to(out, R"(,"time":"{}","received":"{}","module_count":{},"system_value":)",
                 block_time_text(block), utc_text(device.Received()), block[kModuleCount]);
  put_float(out, get_f32le(block, kSystemValue));
  fmt::format_to(out, R"(,"modules":[)");
  for (std::size_t i = 0; i < count; ++i) {
    if (i > 0) *out++ = ',';
    put_module(out, block, i);
  }
  fmt::format_to(out, R"(],"values_a2":[)");
  for (std::size_t k = 0; k < kValueCountA2; ++k) {
    if (k > 0) *out++ = ',';
    put_float(out, get_f32le(block, kValuesA2 + 4 * k));
  }
  fmt::format_to(out, R"(],"value_95":)");
  put_float(out, get_f32le(block, kValue95));
  fmt::format_to(out, R"(,"battery":"{}","block":"{}")", to_hex(block.data() + kBattery, kBatterySize),
                 to_hex(block.data(), block.size()));
}

void put_labels(Out out, const FieldLabels& labels) {
  fmt::format_to(out, R"(,"labels":{{)");
  bool first = true;
  for (const auto& [key, label] : labels) {
    fmt::format_to(out, R"({}{}:{{)", first ? "" : ",", json_quoted(key));
    if (!label.label.empty()) fmt::format_to(out, R"("label":{})", json_quoted(label.label));
    if (!label.unit.empty())
      fmt::format_to(out, R"({}"unit":{})", label.label.empty() ? "" : ",",
                     json_quoted(label.unit));
    *out++ = '}';
    first = false;
  }
  *out++ = '}';
}

}  // namespace

std::string block_time_text(const Block& block) {
  const std::uint8_t* t = block.data() + kTimestamp;
  const int year = t[0] | t[1] << 8;
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}{}", year, t[2], t[3], t[4], t[5], t[6],
                     utc_offset_at(year, t[2], t[3], t[4], t[5], t[6]));
}

std::string decoded_view_text(const DeviceState& device) {
  std::string text;
  text.reserve(4096);
  const Out out(text);
  fmt::format_to(out, R"({{"data_id":{},"name":{})", device.DataId(), json_quoted(device.Name()));
  if (const std::optional<Block>& block = device.LastBlock()) put_block(out, device, *block);
  if (!device.Labels().empty()) put_labels(out, device.Labels());
  text += '}';
  return text;
}

Json::Value decoded_view(const DeviceState& device) {
  const std::string text = decoded_view_text(device);
  Json::Value view;
  Json::CharReaderBuilder builder;
  std::string errors;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  reader->parse(text.data(), text.data() + text.size(), &view, &errors);
  return view;
}

}  // namespace qmr4100::gateway
