// The polling cycle: eight commands of CID1 0x41, one answer each, in a fixed
// order; the protocol step names the command whose answer is awaited.
#include <cstdio>
#include <iostream>

#include "driver/VARNOK_QMR4100.h"
#include "driver/decoders.h"

namespace {

constexpr unsigned char kCid1 = 0x41;

// Command sent on entering step n (index n - 1).
constexpr unsigned char kCommands[] = {0x42, 0x43, 0x44, 0x91, 0x95, 0x9C, 0x86, 0xA2};
constexpr int kLastStep = 8;

// Frame characters the screen looks at: CID1 at 5-6, CID2 or RTN at 7-8.
constexpr std::size_t kScreenChars = 9;

// "~" first and a carriage return last; a single character cannot be both.
bool is_complete(const unsigned char* frame, unsigned int length) {
  return length >= 2 && frame[0] == '~' && frame[length - 1] == '\r';
}

bool is_first_command(const unsigned char* frame) {
  return frame[5] == '4' && frame[6] == '1' && frame[7] == '4' && frame[8] == '2';
}

}  // namespace

int VARNOK_QMR4100::RefreshStatus() {
  SMDSPDevice::RefreshStatus();
  m_step = 1;
  write_pmbus_cmd(kCid1, kCommands[0]);
  return 1;
}

int VARNOK_QMR4100::process(unsigned char* frame, unsigned int length) {
  if (length == 0) return 1;
  if (is_complete(frame, length)) m_inputCount = 0;
  // Complete frames too short to carry CID1 and RTN go to the protocol layer,
  // which refuses them, instead of being screened by characters they do not have.
  if (length >= kScreenChars && is_complete(frame, length)) {
    if (is_first_command(frame)) {
      // Our own 0x42 echoed on a half-duplex line: a cycle is starting.
      m_step = 1;
      std::printf("VARNOK_QMR4100_41_42n");
      return 1;
    }
    const unsigned char rtn_hi = frame[7];
    const unsigned char rtn_lo = frame[8];
    if (rtn_hi != '0' && rtn_lo != '0') return 1;  // echoes of the other commands
    if (rtn_hi != '0' || rtn_lo != '0') {
      std::cout << "VARNOK_QMR4100::process error return code " << rtn_hi << rtn_lo
                << " dropped" << std::endl;
      return 1;
    }
  }
  if (m_step != 0) return PMBusProtocol::process(frame, length);
  m_inputCount = 0;
  return 1;
}

int VARNOK_QMR4100::step_failed() {
  m_step = 0;
  return 0;
}

int VARNOK_QMR4100::next_command(int step, unsigned char code) {
  m_step = step;
  write_pmbus_cmd(kCid1, code);
  return 1;
}

int VARNOK_QMR4100::process_payload() {
  const PMBusFrame& frame = *pPMBus;
  const int info_count = static_cast<int>(frame.info_bytes());
  const qmr4100::Info info{frame.info(), frame.info_bytes()};
  std::cout << "VARNOK_QMR4100::process_payload state:" << m_step << " pPMBus->len:" << info_count
            << std::endl;

  switch (m_step) {
    case 1: {
      const int n = parse41_42(info.data, info.size);
      if (n != info_count) {
        std::cout << "VARNOK_QMR4100:ProcotolError parse p41_41 overflow memory boundary"
                  << std::endl;
        return step_failed();
      }
      return next_command(2, kCommands[1]);
    }
    case 2: {
      const int n = parse41_43(info.data, info.size);
      if (n != info_count) {
        std::cout << "VARNOK_QMR4100:ProcotolError  parse p41_43 overflow memory boundary" << n
                  << " vs " << info_count << std::endl;
        return step_failed();
      }
      return next_command(3, kCommands[2]);
    }
    case 3: {
      const int n = parse41_44(info.data, info.size);
      if (n != info_count) {
        std::cout << "VARNOK_QMR4100:ProcotolError parse p41_44 overflow memory boundary" << n
                  << " vs " << info_count << std::endl;
        step_failed();
        Reset();
        return 0;
      }
      return next_command(4, kCommands[3]);
    }
    case 4:
      return qmr4100::decode_41_91(m_block, info) ? next_command(5, kCommands[4]) : step_failed();
    case 5:
      qmr4100::decode_41_95(m_block, info);
      return next_command(6, kCommands[5]);
    case 6:
      return qmr4100::decode_41_9C(m_block, info) ? next_command(7, kCommands[6]) : step_failed();
    case 7:
      return qmr4100::decode_41_86(m_block, info) ? next_command(kLastStep, kCommands[7])
                                                  : step_failed();
    case kLastStep:
      if (!qmr4100::decode_41_A2(m_block, info)) return step_failed();
      RoundDone();
      return 0;
    default:
      return 1;
  }
}
