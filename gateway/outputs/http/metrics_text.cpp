#include "outputs/http/metrics_text.h"

#include <chrono>
#include <cmath>
#include <iterator>
#include <string_view>

#include <fmt/compile.h>
#include <fmt/format.h>

#include "text/utf8.h"

namespace qmr4100::gateway {
namespace {

using namespace qmr4100::layout;
using Out = fmt::memory_buffer;

// A label value in valid UTF-8 with backslash, double quote and line feed escaped.
std::string escaped(const std::string& raw) {
  const std::string text = valid_utf8(raw);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    if (c == '\n') {
      out += "\\n";
      continue;
    }
    out += c;
  }
  return out;
}

// The text is written piece by piece: a scrape of 200 devices has some 60000
// samples, and a format string per piece would double its cost.
void put(Out& out, std::string_view text) { out.append(text.data(), text.data() + text.size()); }

void put(Out& out, std::uint64_t number) {
  const fmt::format_int text(number);
  out.append(text.data(), text.data() + text.size());
}

void value(Out& out, double number) {
  if (std::isnan(number)) {
    put(out, " NaN\n");
  } else if (std::isinf(number)) {
    put(out, number > 0 ? " +Inf\n" : " -Inf\n");
  } else {
    fmt::format_to(std::back_inserter(out), FMT_COMPILE(" {}\n"), number);
  }
}

// A float of the block as the decimal it stands for (53.1, not 53.09999847).
void value(Out& out, float number) {
  if (std::isfinite(number)) {
    fmt::format_to(std::back_inserter(out), FMT_COMPILE(" {}\n"), number);
  } else {
    value(out, static_cast<double>(number));
  }
}

void value(Out& out, std::uint64_t number) {
  out.push_back(' ');
  put(out, number);
  out.push_back('\n');
}

void sample_start(Out& out, const char* name, const DeviceState& device) {
  put(out, name);
  put(out, "{data_id=\"");
  put(out, std::uint64_t{device.DataId()});
  out.push_back('"');
}

// ,key="value"} with a value that needs no escaping (a number, a fixed word).
template <class Value>
void last_label(Out& out, std::string_view key, Value label) {
  out.push_back(',');
  put(out, key);
  put(out, "=\"");
  put(out, label);
  put(out, "\"}");
}

template <class Number>
void device_sample(Out& out, const char* name, const DeviceState& device, Number number) {
  sample_start(out, name, device);
  out.push_back('}');
  value(out, number);
}

void up(Out& out, const char* name, const DeviceState& device) {
  device_sample(out, name, device, std::uint64_t{device.CurrentHealth() == Health::Online});
}

// Labels for dashboards and alerts to show the device by name, not by number.
void device_info(Out& out, const char* name, const DeviceState& device) {
  sample_start(out, name, device);
  fmt::format_to(std::back_inserter(out), ",name=\"{}\",port=\"{}\",address=\"{}\"}}",
                 escaped(device.Name()), escaped(device.Port()), device.Address());
  value(out, std::uint64_t{1});
}

void poll_interval(Out& out, const char* name, const DeviceState& device) {
  device_sample(out, name, device, device.Interval());
}

void cycles(Out& out, const char* name, const DeviceState& device) {
  const Counters& count = device.Count();
  const std::pair<const char*, std::uint64_t> results[] = {
      {"published", count.published}, {"abandoned", count.abandoned}, {"failed", count.failed}};
  for (const auto& [result, number] : results) {
    sample_start(out, name, device);
    last_label(out, "result", result);
    value(out, number);
  }
}

void retries(Out& out, const char* name, const DeviceState& device) {
  device_sample(out, name, device, device.Count().retries);
}

void error_replies(Out& out, const char* name, const DeviceState& device) {
  for (const auto& [code, number] : device.Count().error_replies) {
    sample_start(out, name, device);
    last_label(out, "code", escaped(code));
    value(out, number);
  }
}

void last_publication(Out& out, const char* name, const DeviceState& device) {
  if (!device.LastBlock()) return;
  const std::chrono::duration<double> since_epoch = device.Received().time_since_epoch();
  device_sample(out, name, device, since_epoch.count());
}

// The last block while it is current: an offline device's values are its
// last ones, not current, and get no samples (Prometheus then marks them
// stale); its up, counters and last publication time stay.
const Block* current_block(const DeviceState& device) {
  return device.LastBlock() && !device.Stale() ? &*device.LastBlock() : nullptr;
}

template <std::size_t kOffset>
void block_float(Out& out, const char* name, const DeviceState& device) {
  if (const Block* block = current_block(device))
    device_sample(out, name, device, get_f32le(*block, kOffset));
}

std::size_t module_count(const Block& block) {
  return std::min<std::size_t>(block[kModuleCount], kMaxModules);
}

// One sample per module; `read` gives the value, or nullopt for none.
template <class Read>
void per_module(Out& out, const char* name, const DeviceState& device, Read read) {
  const Block* block = current_block(device);
  if (!block) return;
  for (std::size_t i = 0; i < module_count(*block); ++i) {
    const std::size_t record = module_record(i);
    const std::uint8_t status = (*block)[record + kModuleStatus];
    const auto number = read(*block, record, status);
    if (!number) continue;
    sample_start(out, name, device);
    last_label(out, "module", std::uint64_t{i + 1});
    value(out, *number);
  }
}

void module_value(Out& out, const char* name, const DeviceState& device) {
  // A module without communication has only a stale reading: no sample.
  per_module(out, name, device, [](const Block& block, std::size_t record, std::uint8_t status) {
    return status == kModuleCommFailure ? std::nullopt
                                        : std::optional(get_f32le(block, record + kModuleValue));
  });
}

void module_status(Out& out, const char* name, const DeviceState& device) {
  per_module(out, name, device, [](const Block&, std::size_t, std::uint8_t status) {
    return std::optional(std::uint64_t{status});
  });
}

template <std::uint8_t kStatus>
void module_is(Out& out, const char* name, const DeviceState& device) {
  per_module(out, name, device, [](const Block&, std::size_t, std::uint8_t status) {
    return std::optional(std::uint64_t{status == kStatus});
  });
}

void values_a2(Out& out, const char* name, const DeviceState& device) {
  const Block* block = current_block(device);
  if (!block) return;
  for (std::size_t k = 0; k < kValueCountA2; ++k) {
    sample_start(out, name, device);
    last_label(out, "index", std::uint64_t{k});
    value(out, get_f32le(*block, kValuesA2 + 4 * k));
  }
}

void alarms_active(Out& out, const char* name, const DeviceState& device) {
  device_sample(out, name, device, std::uint64_t{device.Alarms().size()});
}

void alarm_active(Out& out, const char* name, const DeviceState& device) {
  for (const ActiveAlarm& alarm : device.Alarms()) {
    sample_start(out, name, device);
    fmt::format_to(std::back_inserter(out), ",id=\"{}\",code=\"{}\",seq=\"{}\"",
                   escaped(alarm.point.id.str()), escaped(alarm.point.code.str()), alarm.point.seq);
    // The texts too, so that an alert can say which point it is.
    fmt::format_to(std::back_inserter(out), ",name=\"{}\",desc=\"{}\"}}",
                   escaped(alarm.point.name.str()), escaped(alarm.point.desc.str()));
    value(out, std::uint64_t{1});
  }
}

struct DeviceFamily {
  const char* name;
  const char* type;
  const char* help;
  void (*write)(Out&, const char*, const DeviceState&);
};

constexpr DeviceFamily kDeviceFamilies[] = {
    {"qmr4100_up", "gauge", "1 while the device is online (publishing), else 0.", up},
    {"qmr4100_device_info", "gauge", "1 per device, with its name, port and address.",
     device_info},
    {"qmr4100_poll_interval_seconds", "gauge",
     "Seconds from one polling cycle's start to the next of the device (0: back to back).",
     poll_interval},
    {"qmr4100_cycles_total", "counter",
     "Polling cycles by result: published, abandoned "
     "(no answer, port lost) or failed (ended by the driver or an error reply).",
     cycles},
    {"qmr4100_retries_total", "counter",
     "Commands sent once more for a spoilt answer (a wrong checksum); not failures.", retries},
    {"qmr4100_error_replies_total", "counter",
     "Commands the device refused with an error reply, by return code.", error_replies},
    {"qmr4100_last_publication_timestamp_seconds", "gauge",
     "Unix time of the device's last published cycle.", last_publication},
    {"qmr4100_system_value", "gauge", "The system value of the last published block.",
     block_float<kSystemValue>},
    {"qmr4100_module_value", "gauge",
     "Value of each rectifier module; none for a module without communication.", module_value},
    {"qmr4100_module_status", "gauge",
     "Status byte of each rectifier module (0 normal, 1 fault, "
     "254 no communication).",
     module_status},
    {"qmr4100_module_fault", "gauge", "1 while a rectifier module reports a fault.",
     module_is<kModuleFault>},
    {"qmr4100_module_comm_failure", "gauge", "1 while a rectifier module has no communication.",
     module_is<kModuleCommFailure>},
    {"qmr4100_values_a2", "gauge", "The twelve values of the 0xA2 answer, by index.", values_a2},
    {"qmr4100_value_95", "gauge", "The value of the 0x95 answer.", block_float<kValue95>},
    {"qmr4100_alarms_active", "gauge", "Number of active alarm points.", alarms_active},
    {"qmr4100_alarm_active", "gauge",
     "1 for each active alarm point (inactive points have no sample).", alarm_active},
};

void header(Out& out, const char* name, const char* type, const char* help) {
  fmt::format_to(std::back_inserter(out), "# HELP {} {}\n# TYPE {} {}\n", name, help, name, type);
}

void ports_up(Out& out, const GatewayMetrics& metrics) {
  header(out, "qmr4100_port_up", "gauge", "1 while the serial port is open, else 0.");
  for (const auto& [port, is_up] : metrics.PortsUp())
    fmt::format_to(std::back_inserter(out), "qmr4100_port_up{{port=\"{}\"}} {}\n", escaped(port),
                   is_up ? 1 : 0);
}

void cycle_durations(Out& out, const CycleHistogram& histogram) {
  constexpr const char* name = "qmr4100_cycle_duration_seconds";
  header(out, name, "histogram",
         "Duration of published polling cycles, from the first command to the publication.");
  for (std::size_t i = 0; i < CycleHistogram::kBounds.size(); ++i)
    fmt::format_to(std::back_inserter(out), "{}_bucket{{le=\"{}\"}} {}\n", name,
                   CycleHistogram::kBounds[i], histogram.AtOrBelow(i));
  fmt::format_to(std::back_inserter(out), "{}_bucket{{le=\"+Inf\"}} {}\n", name, histogram.Count());
  fmt::format_to(std::back_inserter(out), "{}_sum {}\n{}_count {}\n", name, histogram.SumSeconds(),
                 name, histogram.Count());
}

// Room for the whole text up front: growing a buffer of megabytes step by
// step costs more than writing it.
std::size_t expected_size(const StateModel& model) {
  constexpr std::size_t kPerDevice = 2048;
  constexpr std::size_t kPerSample = 64;  // an alarm point's sample, with its texts, about four
  std::size_t size = 4096;
  model.ReadAll([&size](const DeviceState& device) {
    const std::size_t modules = device.LastBlock() ? module_count(*device.LastBlock()) : 0;
    size += kPerDevice + kPerSample * (4 * modules + 4 * device.Alarms().size());
  });
  return size;
}

}  // namespace

std::string metrics_text(const StateModel& model, const GatewayMetrics& metrics) {
  Out out;
  out.reserve(expected_size(model));
  for (const DeviceFamily& family : kDeviceFamilies) {
    header(out, family.name, family.type, family.help);
    model.ReadAll([&](const DeviceState& device) { family.write(out, family.name, device); });
  }
  ports_up(out, metrics);
  cycle_durations(out, metrics.CycleDurations());
  return fmt::to_string(out);
}

}  // namespace qmr4100::gateway
