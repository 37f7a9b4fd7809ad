#include "qmr4100/sim/faults.h"

#include <cctype>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <stdexcept>

namespace qmr4100::sim {
namespace {

struct FaultRow {
  Fault fault;
  const char* name;
};

// Names as given on the command line.
constexpr FaultRow kFaultNames[] = {
    {Fault::Noise, "noise"},
    {Fault::Split, "split"},
    {Fault::ErrorCode, "error-code"},
    {Fault::BadChecksum, "bad-checksum"},
    {Fault::Drop, "drop"},
    {Fault::Delay, "delay"},
    {Fault::Echo, "echo"},
    {Fault::CountMismatch, "count-mismatch"},
    {Fault::ModulesAbove64, "modules-above-64"},
    {Fault::EntriesAbove50, "entries-above-50"},
    {Fault::ShortAnswer, "short-answer"},
    {Fault::PortBounce, "port-bounce"},
};
static_assert(std::size(kFaultNames) == kFaultCount);

constexpr bool names_in_enum_order() {
  for (std::size_t i = 0; i < kFaultCount; ++i) {
    if (static_cast<std::size_t>(kFaultNames[i].fault) != i) return false;
  }
  return true;
}
static_assert(names_in_enum_order(), "fault_name indexes the table by the enum");

// "bad-checksum", "bad_checksum" and "BadChecksum" name the same fault.
std::string normalised(const std::string& name) {
  std::string key;
  for (char c : name) {
    if (c != '-' && c != '_') key.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
  }
  return key;
}

std::string known_names() {
  std::string names;
  for (const FaultRow& row : kFaultNames) names += std::string(names.empty() ? "" : ", ") + row.name;
  return names;
}

Fault fault_by_name(const std::string& name, const std::string& item) {
  for (const FaultRow& row : kFaultNames) {
    if (normalised(name) == normalised(row.name)) return row.fault;
  }
  throw std::invalid_argument("fault \"" + item + "\": unknown name \"" + name +
                              "\" (known: " + known_names() + ")");
}

double parse_rate(const std::string& text, const std::string& item) {
  char* end = nullptr;
  const double rate = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(rate >= 0.0 && rate <= 1.0)) {
    throw std::invalid_argument("fault \"" + item + "\": rate \"" + text +
                                "\" is not a number in range 0..1");
  }
  return rate;
}

FaultSetting parse_item(const std::string& item) {
  const auto colon = item.find(':');
  if (colon == std::string::npos) return {fault_by_name(item, item), 1.0};
  return {fault_by_name(item.substr(0, colon), item), parse_rate(item.substr(colon + 1), item)};
}

}  // namespace

FaultPlan parse_faults(const std::string& list) {
  FaultPlan plan;
  std::istringstream items(list);
  std::string item;
  while (std::getline(items, item, ',')) {
    if (item.empty()) throw std::invalid_argument("fault list \"" + list + "\": empty item");
    plan.faults.push_back(parse_item(item));
  }
  return plan;
}

const char* fault_name(Fault fault) {
  return kFaultNames[static_cast<std::size_t>(fault)].name;
}

std::string format_fault_counts(const FaultCounts& counts) {
  std::string text;
  for (const FaultRow& row : kFaultNames) {
    const std::uint64_t count = counts[static_cast<std::size_t>(row.fault)];
    if (count == 0) continue;
    text += (text.empty() ? "" : ", ") + std::string(row.name) + " " + std::to_string(count);
  }
  return text.empty() ? "none" : text;
}

}  // namespace qmr4100::sim
