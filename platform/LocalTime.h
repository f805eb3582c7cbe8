#pragma once
// The wall-clock time in the local time zone.

namespace qmr::platform {

struct LocalDateTime {
    int year = 0;   // e.g. 2026
    int month = 0;  // 1..12
    int day = 0;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0; // 0..59
    int second = 0; // 0..60
};

// The current local date and time, read once (date and time always belong together).
LocalDateTime LocalNow();

} // namespace qmr::platform
