// Round completion: after the eighth answer the block is stamped, published,
// and the alarm table reported as one batch for the host's worker.
#include <algorithm>
#include <iostream>
#include <memory>
#include <utility>
#include <vector>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "driver/alarms/reporter.h"
#include "driver/VARNOK_QMR4100.h"
#include "host/get_ttime.h"

namespace {

// The host's worker runs this later with the evaluations of one round. It
// keeps the device alive until it is gone. The host's callable type needs a
// copyable task, but the task is only ever moved on its way to the worker,
// so the list moved out of the device is never copied.
struct BatchTask {
  std::shared_ptr<SMDVDevice> keep_alive;
  SMDVDevice* device;
  std::vector<rule_value> evaluations;

  void operator()() const { device->DoBatchCheckThreshold(evaluations); }
};

}  // namespace

int VARNOK_QMR4100::RoundDone() {
  using namespace boost::posix_time;
  if (m_dataValid != 1) m_dataValid = 1;
  const ttime stamp = get_ttime(second_clock::local_time());
  std::copy_n(stamp.begin(), qmr4100::layout::kTimestampSize,
              m_block.begin() + qmr4100::layout::kTimestamp);
  m_lastUpdate = microsec_clock::local_time();
  SendSP(kSnapshotId, m_block.data(), static_cast<unsigned int>(m_block.size()), false);
  Reset();
  std::cout << "VARNOK_QMR4100 RoundDone\n" << std::endl;

  qmr4100::alarms::report_alarm_table(*this, m_block, m_alarmList);
  HandOffBatch();
  return 1;
}

void VARNOK_QMR4100::HandOffBatch() {
  const std::size_t count = m_pending.size();
  CheckThresholdWork(BatchTask{shared_from_this(), this, std::move(m_pending)});
  // The move left the list empty; the next round's reports fill it without
  // regrowing it.
  m_pending.reserve(count);
}
