// qmr4100ctl: a running gateway's devices, decoded views, alarm points and
// history from its HTTP API, as tables or as the API's JSON, and a check
// for monitoring systems.
#include <chrono>
#include <iostream>

#include <CLI/CLI.hpp>
#include <fmt/format.h>
#include <json/writer.h>

#include "check.h"
#include "duration.h"
#include "gateway_api.h"
#include "qmr4100/version.h"
#include "views.h"

namespace ctl = qmr4100::ctl;

namespace {

// Exit statuses of every subcommand but check, which has the plug-ins' own.
constexpr int kDone = 0;
constexpr int kRefused = 1;      // a bad argument, no such device, an answer not the API's
constexpr int kUnreachable = 2;  // the gateway cannot be asked

constexpr const char* kFooter =
    R"(Exit status: 0 done; 1 refused (a bad argument, no such device, an answer
that is not the API's); 2 the gateway cannot be reached (with a one-line reason).

--json prints the API's JSON as the gateway sent it: /api/v1/devices for
devices, /api/v1/devices/ID for show, /api/v1/devices/ID/history for history
(with --since, the same columns cut to that time); alarms ID prints the
device's "alarms" array, alarms without ID a list of {data_id, name, alarms}.

check follows the monitoring-plugin conventions (Nagios, Icinga, Zabbix,
Checkmk): one status line with performance data, and exit status 0 OK,
1 WARNING, 2 CRITICAL, 3 UNKNOWN.
  CRITICAL  a device offline, or an active alarm point of severity critical
            or major (a point without a severity counts as major)
  WARNING   an active point of severity minor or warning, stale data, or a
            last publication older than --max-age (default 3 intervals of the
            device, at least 1 s)
  UNKNOWN   a device not published yet, an unknown device, the gateway not
            reachable
--warning RANGE and --critical RANGE (0, 5, 2:, ~:5, 1:5, @1:5) judge the
number of active alarm points of each device instead of their severities.

Examples:
  qmr4100ctl devices
  qmr4100ctl --url http://gw.example:8080 show 1000
  qmr4100ctl history 1000 --since 10m --json
  qmr4100ctl check 1000 --max-age 1m
  qmr4100ctl check --warning 0 --critical 5)";

struct Flags {
  std::string url = "http://127.0.0.1:8080";
  double timeout = 10;
  bool json = false;
  std::string data_id;
  std::string since;
  std::string max_age;
  std::string warning;
  std::string critical;
};

double now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// JSON as the gateway writes it: one line, UTF-8 as is, no binary noise in numbers.
std::string json_line(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  builder["precision"] = 15;
  return Json::writeString(builder, value) + "\n";
}

std::vector<Json::Value> every_detail(const ctl::GatewayApi& api) {
  std::vector<Json::Value> details;
  for (const Json::Value& device : api.Devices().json)
    details.push_back(api.Device(std::to_string(device["data_id"].asUInt())).json);
  return details;
}

std::string devices(const ctl::GatewayApi& api, const Flags& flags) {
  const ctl::Document list = api.Devices();
  return flags.json ? list.text : ctl::devices_text(list.json, now());
}

std::string show(const ctl::GatewayApi& api, const Flags& flags) {
  const ctl::Document detail = api.Device(flags.data_id);
  return flags.json ? detail.text : ctl::device_text(detail.json, now());
}

std::string alarms(const ctl::GatewayApi& api, const Flags& flags) {
  const std::vector<Json::Value> details =
      flags.data_id.empty() ? every_detail(api)
                            : std::vector<Json::Value>{api.Device(flags.data_id).json};
  if (!flags.json) return ctl::alarms_text(details);
  if (!flags.data_id.empty()) return json_line(details.front()["alarms"]);
  Json::Value list(Json::arrayValue);
  for (const Json::Value& detail : details) {
    Json::Value& entry = list.append(Json::Value(Json::objectValue));
    for (const char* key : {"data_id", "name", "alarms"}) entry[key] = detail[key];
  }
  return json_line(list);
}

std::string history(const ctl::GatewayApi& api, const Flags& flags) {
  const ctl::Document document = api.History(flags.data_id);
  Json::Value columns = document.json;
  if (!flags.since.empty())
    columns = ctl::history_since(columns, now() - ctl::parse_duration(flags.since).count());
  if (flags.json) return flags.since.empty() ? document.text : json_line(columns);
  // The labels of the columns are the decoded view's.
  return ctl::history_text(columns, api.Device(flags.data_id).json["view"]);
}

ctl::CheckOptions check_options(const Flags& flags) {
  ctl::CheckOptions options;
  if (!flags.warning.empty()) options.warning = ctl::Threshold::Parse(flags.warning);
  if (!flags.critical.empty()) options.critical = ctl::Threshold::Parse(flags.critical);
  if (!flags.max_age.empty()) options.max_age = ctl::parse_duration(flags.max_age).count();
  return options;
}

ctl::CheckOutcome check(const ctl::GatewayApi& api, const Flags& flags) {
  const ctl::CheckOptions options = check_options(flags);
  std::vector<ctl::DeviceFacts> facts;
  const std::vector<Json::Value> details =
      flags.data_id.empty() ? every_detail(api)
                            : std::vector<Json::Value>{api.Device(flags.data_id).json};
  for (const Json::Value& detail : details) {
    ctl::DeviceFacts device{detail, ctl::configured_period(detail)};
    // A device polled back to back has its period in its history only.
    if (!device.period && !options.max_age && detail["health"] == "online")
      device.period =
          ctl::observed_period(api.History(std::to_string(detail["data_id"].asUInt())).json);
    facts.push_back(std::move(device));
  }
  return ctl::check_devices(facts, now(), options);
}

int run_check(const Flags& flags) {
  ctl::CheckOutcome outcome{ctl::Status::Unknown, ""};
  try {
    const ctl::GatewayApi api(ctl::parse_gateway_url(flags.url),
                              std::chrono::milliseconds(static_cast<long>(flags.timeout * 1000)));
    outcome = check(api, flags);
  } catch (const ctl::Unreachable& error) {
    outcome = ctl::check_unknown("cannot reach the gateway: " + std::string(error.what()));
  } catch (const std::exception& error) {
    outcome = ctl::check_unknown(error.what());
  }
  std::cout << outcome.text << "\n";
  return static_cast<int>(outcome.status);
}

using Command = std::string (*)(const ctl::GatewayApi&, const Flags&);

int run(Command command, const Flags& flags) {
  try {
    const ctl::GatewayApi api(ctl::parse_gateway_url(flags.url),
                              std::chrono::milliseconds(static_cast<long>(flags.timeout * 1000)));
    std::cout << command(api, flags);
    return kDone;
  } catch (const ctl::Unreachable& error) {
    std::cerr << "qmr4100ctl: cannot reach the gateway: " << error.what() << "\n";
    return kUnreachable;
  } catch (const std::exception& error) {
    std::cerr << "qmr4100ctl: " << error.what() << "\n";
    return kRefused;
  }
}

// A validator that runs `parse` on the text and shows its message when it throws.
template <class Parse>
CLI::Validator validator(const char* name, Parse parse) {
  return CLI::Validator(
      [parse](std::string& text) {
        try {
          parse(text);
          return std::string();
        } catch (const std::invalid_argument& error) {
          return std::string(error.what());
        }
      },
      name);
}

void add_data_id(CLI::App& command, Flags& flags, bool required) {
  command.add_option("ID", flags.data_id, "Data id of the device")
      ->required(required)
      ->check(validator("", ctl::checked_data_id));
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{
      "qmr4100ctl: shows what a running qmr4100-gateway knows of its power systems, "
      "read from its HTTP API (the gateway's --http), and checks them for monitoring systems"};
  app.set_version_flag("--version", std::string("qmr4100ctl ") + QMR4100_VERSION);
  app.footer(kFooter);
  app.require_subcommand(1);
  Flags flags;
  app.add_option("--url", flags.url,
                 "Where the gateway's HTTP server is (default http://127.0.0.1:8080)");
  app.add_option("--timeout", flags.timeout, "Seconds a request may take (default 10)")
      ->check(CLI::Range(0.001, 600.0));

  const auto json_flag = [&flags](CLI::App* command) {
    command->add_flag("--json", flags.json, "Print the API's JSON instead of a table");
    command->fallthrough();
  };
  CLI::App* devices_cmd =
      app.add_subcommand("devices", "Every device: health, last publication, counters");
  json_flag(devices_cmd);
  CLI::App* show_cmd =
      app.add_subcommand("show", "One device's decoded view, modules and active alarm points");
  add_data_id(*show_cmd, flags, true);
  json_flag(show_cmd);
  CLI::App* alarms_cmd =
      app.add_subcommand("alarms", "The active alarm points of one device, or of every device");
  add_data_id(*alarms_cmd, flags, false);
  json_flag(alarms_cmd);
  CLI::App* history_cmd =
      app.add_subcommand("history", "One device's recent publications, oldest first");
  add_data_id(*history_cmd, flags, true);
  history_cmd
      ->add_option("--since", flags.since, "Only those of the last DURATION (30s, 10m, 2h, 1d)")
      ->check(validator("DURATION", ctl::parse_duration));
  json_flag(history_cmd);
  CLI::App* check_cmd = app.add_subcommand("check",
                                           "Monitoring-plugin check of one device, or of every "
                                           "device (exit 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN)");
  add_data_id(*check_cmd, flags, false);
  check_cmd
      ->add_option("--max-age", flags.max_age,
                   "WARNING when the last publication is older (default 3 intervals of the device, "
                   "at least 1s)")
      ->check(validator("DURATION", ctl::parse_duration));
  check_cmd
      ->add_option("--warning", flags.warning,
                   "WARNING when the number of active alarm points is outside RANGE")
      ->check(validator("RANGE", ctl::Threshold::Parse));
  check_cmd
      ->add_option("--critical", flags.critical,
                   "CRITICAL when the number of active alarm points is outside RANGE")
      ->check(validator("RANGE", ctl::Threshold::Parse));
  check_cmd->fallthrough();

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& done) {
    return app.exit(done);
  } catch (const CLI::ParseError& error) {
    if (check_cmd->parsed()) {
      std::cout << ctl::check_unknown(error.what()).text << "\n";
      return static_cast<int>(ctl::Status::Unknown);
    }
    app.exit(error);
    return kRefused;
  }
  if (check_cmd->parsed()) return run_check(flags);
  if (devices_cmd->parsed()) return run(devices, flags);
  if (show_cmd->parsed()) return run(show, flags);
  if (alarms_cmd->parsed()) return run(alarms, flags);
  return run(history, flags);
}
