// A threshold range as the monitoring plug-ins write them (Nagios, Icinga,
// Zabbix, Checkmk): "10" alerts outside 0..10, "10:" below 10, "~:10" above
// 10, "5:10" outside 5..10, "@5:10" inside 5..10.
#pragma once

#include <string>

namespace qmr4100::ctl {

class Threshold {
 public:
  // Throws std::invalid_argument naming the text.
  static Threshold Parse(const std::string& text);

  bool Alerts(double value) const;
  const std::string& Text() const { return m_text; }

 private:
  std::string m_text;
  double m_low = 0;
  double m_high = 0;
  bool m_lowOpen = false;   // "~": no lower end
  bool m_highOpen = false;  // "N:": no upper end
  bool m_inside = false;    // "@": alert inside instead of outside
};

}  // namespace qmr4100::ctl
