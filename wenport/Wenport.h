#pragma once
// libwenport.so: lists the USB virtual COM ports of USB-serial devices. Buffers belong to
// the caller.

#include <cstdint>

#if defined(WENPORT_BUILDING)
#define WENPORT_API extern "C" __attribute__((visibility("default")))
#else
#define WENPORT_API extern "C"
#endif

// Selects the ids that the following _GetUsbComName and _GetUsbComSerial calls match.
WENPORT_API int _SetVidPid(uint16_t vendorId, uint16_t productId);
// COM number (above 0) of the index-th device with the selected ids, name := "COM<n>";
// negative when there is no index-th device. `name` holds at least 20 bytes.
WENPORT_API int _GetUsbComName(int index, char* name);
// Above 0 with the index-th device's serial number in `serial` (20 bytes).
WENPORT_API int _GetUsbComSerial(int index, char* serial);
// Nonzero with the display name of the device of that serial number in `name` (104 bytes).
WENPORT_API int _GetUsbComDeviceName(uint16_t vendorId, uint16_t productId, const char* serial, char* name);
// Above 0 while an index-th active USB virtual COM port exists, name := "COM<n>"; 0 or less
// past the end. `name` and `second` hold 20 bytes each; `second` is not written.
WENPORT_API int _GetActiveComName(int index, char* name, char* second);
