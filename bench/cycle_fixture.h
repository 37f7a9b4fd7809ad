// A driver attached to a quiet host, and the eight answer frames of one
// polling cycle for N modules as the simulator sends them.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "driver/VARNOK_QMR4100.h"
#include "host/SMDController.h"

namespace bench {

// Keeps nothing of what devices send and publish; batch tasks run on the
// host runtime's worker thread as in a gateway.
class QuietController : public SMDController {
 public:
  int OnSend(SMDSPDevice&, const unsigned char*, unsigned int length) override {
    return static_cast<int>(length);
  }
};

struct CycleFrames {
  std::vector<std::string> commands;  // as the driver sent them
  std::vector<std::string> answers;   // one per command, in order
  std::size_t wire_chars() const;
};

// Runs one cycle against the simulator with `modules` modules and keeps the frames.
CycleFrames record_cycle(int modules);

std::shared_ptr<VARNOK_QMR4100> make_device(const std::shared_ptr<SMDController>& controller);

// Feeds a whole cycle; returns the result of the last process() call.
int run_cycle(VARNOK_QMR4100& device, CycleFrames& frames);

// Seconds the cycle takes on a 9600-baud line (10 bits a character).
inline double wire_seconds(std::size_t chars) { return chars * 10.0 / 9600.0; }

}  // namespace bench
