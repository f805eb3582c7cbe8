#pragma once
// A settable clock for the log tests: lines and file names then carry a known date and time.

#include "bramble/Bramble.h"
#include "bramble/Logfile.h"

#include <atomic>

namespace logtest {

inline std::atomic<int> clockYear{2026};
inline std::atomic<int> clockMonth{12};
inline std::atomic<int> clockDay{8};
inline std::atomic<int> clockHour{9};
inline std::atomic<int> clockMinute{5};
inline std::atomic<int> clockSecond{7};

inline qmr::platform::LocalDateTime FixedClock()
{
    qmr::platform::LocalDateTime t;
    t.year = clockYear;
    t.month = clockMonth;
    t.day = clockDay;
    t.hour = clockHour;
    t.minute = clockMinute;
    t.second = clockSecond;
    return t;
}

inline void SetClock(int year, int month, int day, int hour, int minute, int second)
{
    clockYear = year;
    clockMonth = month;
    clockDay = day;
    clockHour = hour;
    clockMinute = minute;
    clockSecond = second;
    LogSetClock(&FixedClock);
}

// The fixed clock at 2026/12/08 9:05:07, for the span of a test; logging ends with it.
class FixedClockScope {
public:
    FixedClockScope() { SetClock(2026, 12, 8, 9, 5, 7); }
    ~FixedClockScope()
    {
        _EndLog();
        LogSetClock(nullptr);
    }
    FixedClockScope(const FixedClockScope&) = delete;
    FixedClockScope& operator=(const FixedClockScope&) = delete;
};

inline constexpr char kLogName[] = "log/2026-12-08.log";
inline constexpr char kStamp[] = "2026/12/08 9:05:07 ";

} // namespace logtest
