// The one contract of an output (console lines aside): a listener of the
// state model that is started before the run and stopped at its end. An
// output reads the model and says console lines; it knows nothing of the
// run, the pollers, the cache or the driver.
#pragma once

#include <functional>
#include <string>

#include <boost/asio/io_context.hpp>

#include "model/state_model.h"

namespace qmr4100::gateway {

// A line for the operator, with the time; any thread.
using SayLine = std::function<void(const std::string&)>;

struct OutputContext {
  boost::asio::io_context& io;  // the run's io thread: the model's changes arrive there
  const StateModel& model;      // read with Read and ReadAll from other threads
  SayLine say;
};

class Output : public StateListener {
 public:
  // Before the run; throws std::runtime_error (or ConfigError) when the output
  // cannot work, e.g. its port is taken.
  virtual void Start(const OutputContext& context) = 0;
  // On the io thread when the run ends: closes what would keep the loop from ending.
  virtual void Stop() {}
  // Outputs that publish the decoded view's text have the model keep it, written
  // by this once per publication.
  virtual ViewWriter KeptView() const { return nullptr; }
  // What the console says once it started, untimed ("live page on URL"); empty: nothing.
  virtual std::string Announcement() const { return {}; }
};

}  // namespace qmr4100::gateway
