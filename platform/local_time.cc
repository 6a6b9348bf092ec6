#include "platform/local_time.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <ctime>
#endif

namespace platform {

#if defined(_WIN32)

// The system's own conversion: the C runtime's localtime refuses instants
// before 1970. The time zone's rules for the instant's year (its daylight
// saving time) apply, not today's offset.
bool localTimeOf(int64_t nanoseconds, LocalTime* out) {
  // FILETIME counts 100 ns from 1601.
  constexpr int64_t kTicksTo1970 = 116444736000000000LL;
  int64_t ticks = nanoseconds / 100;
  if (nanoseconds % 100 < 0) --ticks;
  ticks += kTicksTo1970;
  if (ticks < 0) return false;
  FILETIME file;
  file.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks));
  file.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(ticks) >> 32);
  SYSTEMTIME utc, local;
  if (!FileTimeToSystemTime(&file, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
    return false;
  }
  *out = {local.wYear, local.wMonth,  local.wDayOfWeek, local.wDay,
          local.wHour, local.wMinute, local.wSecond};
  return true;
}

#else

bool localTimeOf(int64_t nanoseconds, LocalTime* out) {
  // Whole seconds, rounded down: 0.5 s before 1970 is 1969's last second.
  int64_t seconds = nanoseconds / 1000000000;
  if (nanoseconds % 1000000000 < 0) --seconds;
  const auto time = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&time, &local)) return false;
  *out = {local.tm_year + 1900, local.tm_mon + 1, local.tm_wday, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
  return true;
}

#endif

}  // namespace platform
