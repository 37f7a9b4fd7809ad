#pragma once

#include <map>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

#include "host/rule_value.h"

// The host's alarm engine: keeps the last reported state of every alarm point
// and tells which points a batch of evaluations raises or clears.
// Identifiers repeat across points, so a point is known by its code, its
// per-code sequence number and its description together. Thread-safe.
class AlarmEngine {
 public:
  struct Transition {
    rule_value point;  // the evaluation that made the change
    bool raised;       // true: inactive -> active; false: active -> inactive
  };

  // Records every evaluation of the batch and returns the changes in batch
  // order. A point seen for the first time counts as inactive before.
  std::vector<Transition> Apply(const std::vector<rule_value>& batch);
  // The points whose last evaluation was active, ordered by code, sequence
  // number and description.
  std::vector<rule_value> Active() const;

 private:
  using PointKey = std::tuple<std::string, unsigned short, std::string>;

  mutable std::mutex m_mutex;
  std::map<PointKey, rule_value> m_points;
};
