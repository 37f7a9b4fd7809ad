#include "outputs/snmp/snmp_alarm_pairing.h"

namespace qmr4100::gateway {

void SnmpAlarmPairing::Pass(unsigned int data_id, const AlarmChange& change, const Send& send) {
  const Key key{data_id, &change.point.texts(), change.point.seq};
  if (change.raised) {
    const bool sent = send(change);
    m_raises.insert_or_assign(key, Raise{change, sent});
    return;
  }
  const auto found = m_raises.find(key);
  if (found == m_raises.end()) {
    send(change);
    return;
  }
  const Raise raise = found->second;
  m_raises.erase(found);
  // Without its raise the manager could not place the clear: neither goes.
  if (raise.sent || send(raise.change)) send(change);
}

}  // namespace qmr4100::gateway
