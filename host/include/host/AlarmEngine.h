#pragma once

#include <map>
#include <mutex>
#include <string_view>
#include <tuple>
#include <vector>

#include "host/rule_value.h"

// The host's alarm engine: tells which points a batch of evaluations raises
// or clears. Identifiers repeat across points, so a point is known by its
// code, its per-code sequence number and its description together. Only the
// active points are kept: a point never seen counts as inactive, so an
// inactive point needs no record. Thread-safe.
class AlarmEngine {
 public:
  struct Transition {
    rule_value point;  // the evaluation that made the change
    bool raised;       // true: inactive -> active; false: active -> inactive
  };

  // Records every evaluation of the batch and returns the changes in batch
  // order.
  std::vector<Transition> Apply(const std::vector<rule_value>& batch);
  // Takes these points as active without a transition: the ones an earlier
  // run left active, so that the next batch reports only what changed.
  void Restore(const std::vector<rule_value>& active);
  // The points whose last evaluation was active, ordered by code, sequence
  // number and description.
  std::vector<rule_value> Active() const;

 private:
  // Views of interned texts, which live as long as the process.
  using PointKey = std::tuple<std::string_view, unsigned short, std::string_view>;
  static PointKey KeyOf(const rule_value& point);

  mutable std::mutex m_mutex;
  std::map<PointKey, rule_value> m_active;
};
