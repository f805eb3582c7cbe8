#pragma once
// The standard error codes of SCPI and IEEE 488.2 with their texts, and the event status bit
// that each class of error raises.

#include <cstdint>
#include <string>

namespace qmrsim {

// Standard event status register bits (IEEE 488.2).
constexpr uint8_t kEsrOperationComplete = 0x01;
constexpr uint8_t kEsrRequestControl = 0x02;
constexpr uint8_t kEsrQueryError = 0x04;
constexpr uint8_t kEsrDeviceError = 0x08;
constexpr uint8_t kEsrExecutionError = 0x10;
constexpr uint8_t kEsrCommandError = 0x20;
constexpr uint8_t kEsrUserRequest = 0x40;
constexpr uint8_t kEsrPowerOn = 0x80;

// Status byte bits.
constexpr uint8_t kStbErrorQueue = 0x04;
constexpr uint8_t kStbMessageAvailable = 0x10;
constexpr uint8_t kStbEventSummary = 0x20;
constexpr uint8_t kStbRequestService = 0x40;

// Codes the program treats as fatal.
constexpr int kErrTimeOut = -365;
constexpr int kErrConfigMemoryLost = -315;
constexpr int kErrHardware = -240;

// The standard text of a code ("Undefined header" for -113); codes without a standard text
// give the text of their class ("Command error" for an unknown -1xx), other codes
// "Device-specific error" (negative) or "Device error" (positive); 0 gives "No error".
std::string ScpiErrorText(int code);

// The event status bit that queueing an error of this code raises (0 for 0).
uint8_t EsrBitForError(int code);

// An error queue entry as ":SYST:ERR?" gives it: <code>,"<text>".
std::string FormatErrorEntry(int code, const std::string& text);

} // namespace qmrsim
