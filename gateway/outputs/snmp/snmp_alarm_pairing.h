// Keeps raised and cleared paired for the manager: a qmrAlarmCleared goes out
// only after the manager was sent the point's qmrAlarmRaised. A raise that
// happened while the master was away is kept and sent, with its own time,
// just before its clear. Used by one thread.
#pragma once

#include <functional>
#include <map>
#include <tuple>

#include "model/device_state.h"

namespace qmr4100::gateway {

class SnmpAlarmPairing {
 public:
  // Sends one notification; false when it did not reach the master.
  using Send = std::function<bool(const AlarmChange&)>;

  // Sends what `change` calls for: a raise; a clear, after the raise it lacks.
  // A clear of a point never raised here (restored from the cache) goes alone.
  void Pass(unsigned int data_id, const AlarmChange& change, const Send& send);

 private:
  using Key = std::tuple<unsigned int, const AlarmTexts*, unsigned short>;
  struct Raise {
    AlarmChange change;
    bool sent;
  };

  std::map<Key, Raise> m_raises;
};

}  // namespace qmr4100::gateway
