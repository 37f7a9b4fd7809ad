// Times as operators and other programs read them: ISO 8601.
#pragma once

#include <chrono>
#include <optional>
#include <string>

namespace qmr4100::gateway {

using WallClock = std::chrono::system_clock;

// 2026-12-08T21:05:39.123Z
std::string utc_text(WallClock::time_point time);
// The time utc_text wrote; nullopt for any other text.
std::optional<WallClock::time_point> parse_utc_text(const std::string& text);
// 2026-12-08 21:05:39, local time, for console lines.
std::string local_text(WallClock::time_point time);
// "+01:00": the gateway's offset from UTC at that local time, daylight saving
// time included ("+00:00" on a gateway that keeps UTC).
std::string utc_offset_at(int year, int month, int day, int hour, int minute, int second);

}  // namespace qmr4100::gateway
