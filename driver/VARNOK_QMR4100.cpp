#include "driver/VARNOK_QMR4100.h"

#include <iostream>

#include "driver/decoders.h"

VARNOK_QMR4100::VARNOK_QMR4100() {
  m_deviceType = kDeviceType;
  m_baudRate = 9600;
  m_protocolByte = 0x21;
  m_flushOnSend = 1;
  m_step = 0;
}

VARNOK_QMR4100::~VARNOK_QMR4100() = default;

bool VARNOK_QMR4100::InitSetting(const Json::Value&) {
  qmr4100::put_u32le(m_block, qmr4100::layout::kDataId, DataId());
  return true;
}

int VARNOK_QMR4100::process_error() {
  std::cout << "VARNOK_QMR4100::process_error" << std::endl;
  return 1;
}

int VARNOK_QMR4100::parse41_42(const unsigned char* info, std::size_t size) {
  return qmr4100::decode_41_42(m_block, {info, size}, this);
}

int VARNOK_QMR4100::parse41_43(const unsigned char* info, std::size_t size) {
  return qmr4100::decode_41_43(m_block, {info, size}, this);
}

int VARNOK_QMR4100::parse41_44(const unsigned char* info, std::size_t size) {
  return qmr4100::decode_41_44(m_block, {info, size});
}
