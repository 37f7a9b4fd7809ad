#include "text/time_text.h"

#include <cstdio>
#include <ctime>

#include <fmt/format.h>

namespace qmr4100::gateway {

std::string utc_text(WallClock::time_point time) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
  const std::time_t seconds = static_cast<std::time_t>(millis / 1000);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  return fmt::format("{:04}-{:02}-{:02}T{:02}:{:02}:{:02}.{:03}Z", utc.tm_year + 1900,
                     utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                     millis % 1000);
}

std::optional<WallClock::time_point> parse_utc_text(const std::string& text) {
  std::tm utc{};
  int millis = 0;
  char zone = 0;
  if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &utc.tm_year, &utc.tm_mon,
                  &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &millis, &zone) != 8)
    return std::nullopt;
  utc.tm_year -= 1900;
  utc.tm_mon -= 1;
  const std::time_t seconds = timegm(&utc);
  const WallClock::time_point time =
      WallClock::from_time_t(seconds) + std::chrono::milliseconds(millis);
  // Days and hours out of range pass timegm; written back they differ.
  if (utc_text(time) != text) return std::nullopt;
  return time;
}

std::string local_text(WallClock::time_point time) {
  const std::time_t seconds = WallClock::to_time_t(time);
  std::tm local{};
  localtime_r(&seconds, &local);
  return fmt::format("{:04}-{:02}-{:02} {:02}:{:02}:{:02}", local.tm_year + 1900,
                     local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
}


std::string utc_offset_at(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;  // as the zone's rules have it on that day
  mktime(&local);
  const long minutes = local.tm_gmtoff / 60;
  const long magnitude = minutes < 0 ? -minutes : minutes;
  return fmt::format("{}{:02}:{:02}", minutes < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
}

}  // namespace qmr4100::gateway
