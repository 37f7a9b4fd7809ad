#include "host/SMDSPDevice.h"

#include <boost/date_time/posix_time/posix_time_types.hpp>

#include "host/SMDController.h"

namespace {
boost::posix_time::ptime now() { return boost::posix_time::microsec_clock::universal_time(); }
}  // namespace

SMDSPDevice::SMDSPDevice() = default;

SMDSPDevice::~SMDSPDevice() = default;

int SMDSPDevice::Reset() {
  m_inputCount = 0;
  return 1;
}

int SMDSPDevice::Init(std::weak_ptr<SMDController> controller, unsigned int data_id,
                      const Json::Value& config) {
  SMDVDevice::Init(std::move(controller), data_id, config);
  if (config.isObject() && config.isMember("address")) {
    const Json::Value& address = config["address"];
    if (!address.isIntegral() || address.asInt64() < 0 || address.asInt64() > 255) return 0;
    m_address = static_cast<unsigned char>(address.asUInt());
  }
  return 1;
}

int SMDSPDevice::RefreshStatus() {
  m_cycleStart = now();
  return 1;
}

bool SMDSPDevice::IsProcessing() { return m_step != 0; }

bool SMDSPDevice::IsStalled() {
  return IsProcessing() && !m_cycleStart.is_special() &&
         (now() - m_cycleStart).total_seconds() >= m_stallSeconds;
}

int SMDSPDevice::SendData(const unsigned char* data, unsigned int length) {
  if (m_flushOnSend) m_inputCount = 0;
  auto controller = m_controller.lock();
  return controller ? controller->OnSend(*this, data, length) : 0;
}

int SMDSPDevice::SendParityData(const unsigned char* data, unsigned int length, EnumParity) {
  // Parity is a property of the port, set when it is opened.
  return SendData(data, length);
}

int SMDSPDevice::OpenPort() {
  auto controller = m_controller.lock();
  return controller ? controller->OnOpenPort(*this) : 0;
}

int SMDSPDevice::ClosePort() {
  auto controller = m_controller.lock();
  return controller ? controller->OnClosePort(*this) : 0;
}
