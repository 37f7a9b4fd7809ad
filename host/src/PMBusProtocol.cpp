#include "host/PMBusProtocol.h"

#include <string_view>

#include "ydt1363/frame.h"

static_assert(PMBusFrame::kMaxInfoBytes == ydt1363::kMaxInfoBytes);

PMBusProtocol::PMBusProtocol() : pPMBus(&m_frame) { m_command.reserve(ydt1363::kMinFrameChars); }

PMBusProtocol::~PMBusProtocol() = default;

int PMBusProtocol::process(unsigned char* frame, unsigned int length) {
  std::string_view chars(reinterpret_cast<const char*>(frame), length);
  ydt1363::Header header;
  std::uint8_t* info = m_frame.bytes.data() + PMBusFrame::kInfo;
  const auto error = ydt1363::decode(chars, header, info, PMBusFrame::kMaxInfoBytes);
  // An answer from another address on a shared line is not this device's.
  if (error != ydt1363::DecodeError::None || header.adr != m_address) return process_error();

  m_frame.bytes[PMBusFrame::kVer] = header.ver;
  m_frame.bytes[PMBusFrame::kAdr] = header.adr;
  m_frame.bytes[PMBusFrame::kCid1] = header.cid1;
  m_frame.bytes[PMBusFrame::kRtn] = header.cid2;
  m_frame.bytes[PMBusFrame::kInfoChars] = static_cast<std::uint8_t>(header.info_chars & 0xFF);
  m_frame.bytes[PMBusFrame::kInfoChars + 1] = static_cast<std::uint8_t>(header.info_chars >> 8);
  m_inputCount = 0;
  return process_payload();
}

int PMBusProtocol::process_error() { return 0; }

int PMBusProtocol::write_pmbus_cmd(unsigned char cid1, unsigned char cid2) {
  ydt1363::encode(m_protocolByte, m_address, cid1, cid2, nullptr, 0, m_command);
  return SendData(reinterpret_cast<const unsigned char*>(m_command.data()),
                  static_cast<unsigned int>(m_command.size()));
}
