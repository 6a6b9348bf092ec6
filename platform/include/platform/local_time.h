// Calendar time in the local time zone, as each platform's own time
// conversion gives it.
#pragma once

#include <cstdint>

namespace platform {

struct LocalTime {
  int year = 0;
  int month = 0;    // 1-12
  int weekday = 0;  // 0 for Sunday
  int day = 0;      // 1-31
  int hour = 0;
  int minute = 0;
  int second = 0;
};

// The local time of an instant given in nanoseconds since 1970 (UTC, as
// FileInfo::modified holds it), instants before 1970 included. False when
// the system cannot convert it.
bool localTimeOf(int64_t nanoseconds, LocalTime* out);

}  // namespace platform
