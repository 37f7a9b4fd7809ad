#pragma once

#include <boost/date_time/posix_time/ptime.hpp>

#include "host/EnumParity.h"
#include "host/SMDVDevice.h"

// A device behind a serial port. The protocol step is the state of the
// device's polling cycle: 0 idle, otherwise the command awaiting its answer.
class SMDSPDevice : public SMDVDevice {
 public:
  static constexpr int kDefaultBaudRate = 9600;
  static constexpr unsigned char kDefaultAddress = 1;

  SMDSPDevice();
  ~SMDSPDevice() override;

  int Reset() override;
  int Init(std::weak_ptr<SMDController> controller, unsigned int data_id,
           const Json::Value& config) override;
  int RefreshStatus() override;

  virtual bool IsProcessing();
  virtual bool IsStalled();
  virtual int SendData(const unsigned char* data, unsigned int length);
  virtual int SendParityData(const unsigned char* data, unsigned int length, EnumParity parity);
  virtual int OpenPort();
  virtual int ClosePort();

  int Step() const { return m_step; }
  int BaudRate() const { return m_baudRate; }
  unsigned char Address() const { return m_address; }
  unsigned int InputCount() const { return m_inputCount; }
  // The serial layer counts the bytes it holds for the device.
  void SetInputCount(unsigned int count) { m_inputCount = count; }
  // A cycle counts as stalled when its step has not ended within this time.
  void SetStallSeconds(long seconds) { m_stallSeconds = seconds; }

 protected:
  int m_step = 0;
  // 1: the receive count is cleared before every send, so that a late answer
  // of an abandoned command is not taken for the answer to the new one.
  unsigned char m_flushOnSend = 0;
  int m_baudRate = kDefaultBaudRate;
  unsigned int m_inputCount = 0;
  unsigned char m_address = kDefaultAddress;
  long m_stallSeconds = 5;
  boost::posix_time::ptime m_cycleStart;
};
