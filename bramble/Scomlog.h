#pragma once
// The log line of a serial port that could not be opened, so that a user who meets "cannot
// open" can see which device node was tried and why it was refused.

#include "platform/SerialPort.h"

namespace bramble {

// Writes "Rs232Open ERROR" with "COM<n> <node>[ -> <link target>]: <reason>" for the port of
// `index` (COM index + 1).
void LogOpenFailure(int index, const qmr::platform::SerialOpenFailure& failure);

} // namespace bramble
