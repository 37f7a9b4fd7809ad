#include "answers.h"

namespace qmr4100::sim {
namespace {

// The first 0x42 byte (DATAFLAG on this line) is not used by the gateway.
constexpr std::uint8_t kDataFlag = 0x00;
// What the extra bytes behind a module entry hold; nobody reads them.
constexpr std::uint8_t kFiller = 0xAA;

void put_tenths(Info& info, Tenths value) {
  info.push_back(static_cast<std::uint8_t>(value >> 8));
  info.push_back(static_cast<std::uint8_t>(value & 0xFF));
}

template <typename Bytes>
void put_bytes(Info& info, const Bytes& bytes) {
  info.insert(info.end(), bytes.begin(), bytes.end());
}

void put_skip(Info& info, const Module& m) {
  info.push_back(m.skip);
  info.insert(info.end(), m.skip, kFiller);
}

std::uint8_t module_count(const Scenario& s) { return static_cast<std::uint8_t>(s.modules.size()); }

// 00 | value | M | per module: value, skip S, S bytes
void info_42(const Scenario& s, Info& info) {
  info.push_back(kDataFlag);
  put_tenths(info, s.system_value);
  info.push_back(module_count(s));
  for (const Module& m : s.modules) {
    put_tenths(info, m.value);
    put_skip(info, m);
  }
}

// M | per module: three state bytes, skip S, S bytes
void info_43(const Scenario& s, Info& info) {
  info.push_back(module_count(s));
  for (const Module& m : s.modules) {
    put_bytes(info, m.states);
    put_skip(info, m);
  }
}

// M | per module: status byte, skip S, S bytes
void info_44(const Scenario& s, Info& info) {
  info.push_back(module_count(s));
  for (const Module& m : s.modules) {
    info.push_back(m.status);
    put_skip(info, m);
  }
}

void info_91(const Scenario& s, Info& info) { put_bytes(info, s.battery); }

// two bytes | value
void info_95(const Scenario& s, Info& info) {
  put_bytes(info, s.bytes_95);
  put_tenths(info, s.value_95);
}

// N | N entries of four bytes
void info_9c(const Scenario& s, Info& info) {
  info.push_back(static_cast<std::uint8_t>(s.entries_9c.size()));
  for (const Entry9C& entry : s.entries_9c) put_bytes(info, entry);
}

void info_86(const Scenario& s, Info& info) { put_bytes(info, s.raw_86); }

// twelve values | three bytes
void info_a2(const Scenario& s, Info& info) {
  for (Tenths value : s.values_a2) put_tenths(info, value);
  put_bytes(info, s.bytes_a2);
}

struct AnswerRow {
  std::uint8_t cid2;
  void (*build)(const Scenario&, Info&);
};

// The commands of CID1 0x41, in the order a polling cycle sends them.
constexpr AnswerRow kAnswers[] = {
    {0x42, info_42}, {0x43, info_43}, {0x44, info_44}, {0x91, info_91},
    {0x95, info_95}, {0x9C, info_9c}, {0x86, info_86}, {0xA2, info_a2},
};

}  // namespace

bool is_command(std::uint8_t cid2) {
  for (const AnswerRow& row : kAnswers) {
    if (row.cid2 == cid2) return true;
  }
  return false;
}

bool answer_info(std::uint8_t cid2, const Scenario& s, Info& info) {
  info.clear();
  for (const AnswerRow& row : kAnswers) {
    if (row.cid2 == cid2) {
      row.build(s, info);
      return true;
    }
  }
  return false;
}

}  // namespace qmr4100::sim
