#pragma once

#include <cstddef>
#include <deque>
#include <string>

// The four fixed texts of an alarm point. A device reports the same few
// hundred points every cycle, so the host keeps one copy of each distinct set
// for the whole process and evaluations point to it.
struct AlarmTexts {
  std::string id;
  std::string code;
  std::string name;
  std::string desc;
};

// The one record holding these texts; made on first sight. Thread-safe. The
// record lives as long as the process.
const AlarmTexts* InternAlarmTexts(const std::string& id, const std::string& code,
                                   const std::string& name, const std::string& desc);
// The record of four empty texts.
const AlarmTexts* NoAlarmTexts();

// The texts a device reported at each position of its previous cycle. A
// device reports its points in the same order every cycle, so comparing with
// the record of the same position finds the texts without hashing them.
class ReportedTexts {
 public:
  const AlarmTexts* At(std::size_t position, const std::string& id, const std::string& code,
                       const std::string& name, const std::string& desc);

 private:
  // Grows in small blocks, not by doubling: it is kept for every device.
  std::deque<const AlarmTexts*> m_byPosition;
};
