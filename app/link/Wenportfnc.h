#pragma once
// Whether a COM port is among the USB virtual COM ports that Wenport lists as active.

// True when Wenport lists "COM<comNumber>" among its active ports.
bool IsActiveUsbCom(int comNumber);
