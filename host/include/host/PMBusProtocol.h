#pragma once

#include <string>

#include "host/PMBusFrame.h"
#include "host/SMDSPDevice.h"

// The YD/T 1363.3 protocol layer: sends command frames, decodes answers into
// the decoded-frame record and calls back process_payload or process_error.
class PMBusProtocol : public SMDSPDevice {
 public:
  static constexpr unsigned char kDefaultProtocolByte = 0x21;

  PMBusProtocol();
  ~PMBusProtocol() override;

  // Decodes one received frame; returns process_payload()'s result, or
  // process_error()'s for a frame that fails its checks.
  int process(unsigned char* frame, unsigned int length) override;
  virtual int process_payload() = 0;
  virtual int process_error();

  // Sends a command frame with empty INFO to the device's address.
  int write_pmbus_cmd(unsigned char cid1, unsigned char cid2);

  unsigned char ProtocolByte() const { return m_protocolByte; }
  const PMBusFrame& DecodedFrame() const { return *pPMBus; }

 protected:
  unsigned char m_protocolByte = kDefaultProtocolByte;
  PMBusFrame* pPMBus;

 private:
  PMBusFrame m_frame;
  std::string m_command;
};
