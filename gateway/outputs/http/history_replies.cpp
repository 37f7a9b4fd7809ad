#include "outputs/http/history_replies.h"

#include <algorithm>

#include "outputs/http/http_api.h"

namespace qmr4100::gateway {

void HistoryReplies::Published(const DeviceState& device) {
  m_kept.erase(std::remove_if(m_kept.begin(), m_kept.end(),
                              [&](const Kept& kept) { return kept.data_id == device.DataId(); }),
               m_kept.end());
}

std::shared_ptr<const std::string> HistoryReplies::Text(unsigned int data_id) {
  const auto found = std::find_if(m_kept.begin(), m_kept.end(),
                                  [&](const Kept& kept) { return kept.data_id == data_id; });
  if (found != m_kept.end()) return found->text;
  auto text = std::make_shared<const std::string>(
      m_model.Read(data_id, [](const DeviceState& device) { return device_history_text(device); }));
  if (m_kept.size() >= kKept) m_kept.erase(m_kept.begin());
  m_kept.push_back({data_id, text});
  return text;
}

}  // namespace qmr4100::gateway
