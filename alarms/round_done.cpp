// Round completion: after the eighth answer the block is stamped, published,
// and the alarm table reported as one batch for the host's worker.
#include <algorithm>
#include <iostream>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "driver/VARNOK_QMR4100.h"
#include "host/get_ttime.h"

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
  return 1;
}
