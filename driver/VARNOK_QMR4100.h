// The driver of one power system: a YD/T 1363.3 device of CID1 0x41 polled
// with eight commands per cycle into the snapshot block.
#pragma once

#include <string>
#include <vector>

#include "driver/alarm_item.h"
#include "driver/snapshot_layout.h"
#include "host/PMBusProtocol.h"
#include "host/Provider.h"

class VARNOK_QMR4100 : public PMBusProtocol {
 public:
  static constexpr int kSnapshotId = 5229;
  static constexpr const char* kDeviceType = "varnok_qmr4100";

  VARNOK_QMR4100();
  ~VARNOK_QMR4100() override;

  double Get_Value(unsigned int index, const std::string& name) const override;
  int LoadFromCache(const std::string& cached) override;
  int LoadFromCache(const unsigned char* data, int length) override;
  int RoundDone() override;
  bool InitSetting(const Json::Value& config) override;
  int RefreshStatus() override;
  int process(unsigned char* frame, unsigned int length) override;
  int process_payload() override;
  int process_error() override;

  // Record decoders of the 0x42, 0x43 and 0x44 answers: the info bytes walked
  // over, 0 for a refused answer.
  int parse41_42(const unsigned char* info, std::size_t size);
  int parse41_43(const unsigned char* info, std::size_t size);
  int parse41_44(const unsigned char* info, std::size_t size);

  const qmr4100::Block& Snapshot() const { return m_block; }
  std::vector<alarm_item>& AlarmList() { return m_alarmList; }

 private:
  int step_failed();
  int next_command(int step, unsigned char code);
  void HandOffBatch();

  qmr4100::Block m_block{};
  std::vector<alarm_item> m_alarmList;
};

class VARNOK_QMR4100Provider : public SMDSPDeviceProvider {
 public:
  SMDSPDevice* create() const override;
};
