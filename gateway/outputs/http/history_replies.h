// The history documents of the HTTP API, built once per publication of a
// device: the first request after a publication builds the document, the
// requests after it until the next publication get the same text. Of a
// device of 64 modules the document is some 300 KB and takes milliseconds to
// build, on the io thread that also polls. io thread only.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "model/state_model.h"

namespace qmr4100::gateway {

class HistoryReplies : public StateListener {
 public:
  // Documents of more devices than this are not kept: the oldest goes.
  static constexpr std::size_t kKept = 32;

  explicit HistoryReplies(const StateModel& model) : m_model(model) {}

  void Published(const DeviceState& device) override;

  // The document of a configured device, as the reply's body.
  std::shared_ptr<const std::string> Text(unsigned int data_id);

 private:
  struct Kept {
    unsigned int data_id;
    std::shared_ptr<const std::string> text;
  };

  const StateModel& m_model;
  std::vector<Kept> m_kept;  // oldest first
};

}  // namespace qmr4100::gateway
