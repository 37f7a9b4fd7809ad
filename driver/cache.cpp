#include "driver/cache.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "driver/VARNOK_QMR4100.h"

namespace qmr4100 {

Freshness classify(bool data_valid, boost::posix_time::ptime now,
                   boost::posix_time::ptime last_update) {
  constexpr std::int64_t kTimeoutSeconds = 61;
  if (!data_valid) return Freshness::NotReady;
  const std::int64_t age = (now - last_update).total_seconds();
  return age >= kTimeoutSeconds ? Freshness::TimedOut : Freshness::Fresh;
}

}  // namespace qmr4100

int VARNOK_QMR4100::LoadFromCache(const std::string& cached) {
  return LoadFromCache(reinterpret_cast<const unsigned char*>(cached.data()),
                       static_cast<int>(cached.size()));
}

int VARNOK_QMR4100::LoadFromCache(const unsigned char* data, int length) {
  if (data == nullptr || length != static_cast<int>(qmr4100::layout::kBlockSize)) return 0;
  std::copy_n(data, qmr4100::layout::kBlockSize, m_block.begin());
  m_dataValid = 1;
  m_lastUpdate = boost::posix_time::second_clock::local_time();
  return 1;
}

double VARNOK_QMR4100::Get_Value(unsigned int, const std::string&) const {
  using qmr4100::Freshness;
  switch (qmr4100::classify(m_dataValid == 1, boost::posix_time::second_clock::local_time(),
                            m_lastUpdate)) {
    case Freshness::NotReady: throw std::out_of_range("数据未就绪");
    case Freshness::TimedOut: throw std::out_of_range("数据已超时");
    case Freshness::Fresh: break;
  }
  throw std::out_of_range("不支持变量");
}
