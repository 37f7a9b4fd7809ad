// Runs a scenario against a fresh driver on a capturing controller and
// writes down, step by step, what the driver did: the result of each frame,
// the commands it sent, its log lines, every published block (timestamp
// masked) and every alarm point of every batch.
#pragma once

#include <string>

#include "scenarios.h"

namespace golden {

std::string transcript(const Scenario& scenario);

}  // namespace golden
