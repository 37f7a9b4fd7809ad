#pragma once

#include <ostream>
#include <string>
#include <string_view>

#include "host/AlarmTexts.h"

// One of the four texts of an evaluation, read through the evaluation's
// pointer to its interned texts. Compares and prints like the string itself.
template <std::string AlarmTexts::*Text>
struct AlarmText {
  const AlarmTexts* texts;

  const std::string& str() const { return texts->*Text; }
  operator const std::string&() const { return str(); }

  friend bool operator==(const AlarmText& a, std::string_view b) { return a.str() == b; }
  friend bool operator==(std::string_view a, const AlarmText& b) { return a == b.str(); }
  friend bool operator!=(const AlarmText& a, std::string_view b) { return !(a == b); }
  friend bool operator!=(std::string_view a, const AlarmText& b) { return !(a == b); }
  friend std::ostream& operator<<(std::ostream& out, const AlarmText& t) { return out << t.str(); }
};

// Any two of the texts, e.g. a point's name and its description.
template <std::string AlarmTexts::*A, std::string AlarmTexts::*B>
bool operator==(const AlarmText<A>& a, const AlarmText<B>& b) {
  return a.str() == b.str();
}
template <std::string AlarmTexts::*A, std::string AlarmTexts::*B>
bool operator!=(const AlarmText<A>& a, const AlarmText<B>& b) {
  return !(a == b);
}

// One alarm evaluation as the host's alarm engine receives it: 16 bytes (12 on
// 32-bit machines), as the texts are shared. id, code, name and desc are four
// views of the one pointer: union members that all begin with the same member
// may each be read through it.
struct rule_value {
  rule_value() : rule_value(0, NoAlarmTexts(), false, 0) {}
  rule_value(int level, const AlarmTexts* texts, bool active, unsigned short seq)
      : id{texts}, level(level), active(active), seq(seq) {}
  rule_value(int level, const std::string& id, const std::string& code, const std::string& name,
             const std::string& desc, bool active, unsigned short seq)
      : rule_value(level, InternAlarmTexts(id, code, name, desc), active, seq) {}

  const AlarmTexts& texts() const { return *id.texts; }

  union {
    AlarmText<&AlarmTexts::id> id;
    AlarmText<&AlarmTexts::code> code;
    AlarmText<&AlarmTexts::name> name;
    AlarmText<&AlarmTexts::desc> desc;
  };
  int level;
  bool active;
  unsigned short seq;
};

// A device keeps room for a whole cycle of evaluations between cycles.
static_assert(sizeof(rule_value) <= sizeof(void*) + 2 * sizeof(int),
              "rule_value holds one pointer and three small numbers");
