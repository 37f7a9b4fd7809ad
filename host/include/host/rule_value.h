#pragma once

#include <string>

// One alarm evaluation as the host's alarm engine receives it.
struct rule_value {
  int level = 0;
  std::string id;
  std::string code;
  std::string name;
  std::string desc;
  bool active = false;
  unsigned short seq = 0;
};
