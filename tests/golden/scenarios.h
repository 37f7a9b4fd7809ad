// Fixed conversations on the line for the golden transcripts: what the host
// hands the driver, frame by frame, including echoes and faults.
#pragma once

#include <string>
#include <vector>

namespace golden {

struct Step {
  bool refresh;       // true: the host starts a cycle (RefreshStatus); false: `frame` arrives
  std::string frame;  // a complete frame as received, "~...\r"
};

struct Scenario {
  std::string name;  // also the transcript's file name, without ".txt"
  std::vector<Step> steps;
};

const std::vector<Scenario>& scenarios();

}  // namespace golden
