#pragma once
// The line settings of a serial port as a settings text gives them, and the reader of that text.

#include <optional>
#include <string_view>

namespace qmr::platform {

// The line settings that a settings text names. Whatever the text leaves out stays unset and
// keeps the device's current value when the settings are applied.
struct CommSettings {
    std::optional<unsigned> baud;      // bits per second
    std::optional<char> parity;        // 'N', 'E', 'O', 'M' (mark) or 'S' (space)
    std::optional<int> dataBits;       // 5 to 8
    std::optional<int> stopTenths;     // 10, 15 or 20: one, one and a half or two stop bits
    std::optional<bool> timeoutRetry;  // "to=": no meaning on this system, parsed all the same
    std::optional<bool> xonXoff;       // "xon=" or the 'x' retry of the short form
    std::optional<bool> outputDsrFlow; // "odsr=": not available through termios, ignored
    std::optional<bool> outputCtsFlow; // "octs=": hardware flow control of the output
    std::optional<char> dtr;           // 'Y' on, 'N' off, 'H' handshake
    std::optional<char> rts;           // 'Y' on, 'N' off, 'H' handshake, 'T' toggle
    std::optional<bool> inputDsr;      // "idsr=": ignored, as odsr
};

// Reads a line-settings text in the two forms that Windows' device-control texts take:
//   "[COMn[:]] baud=19200 parity=N data=8 stop=1 [to=on|off] [xon=on|off] [odsr=on|off]
//    [octs=on|off] [dtr=on|off|hs] [rts=on|off|hs|tg] [idsr=on|off]"
//   "[COMn[:]] 96,n,8,1[,x|p]"
// Keys and letters are case-insensitive; the two-digit baud abbreviations (11, 15, 30, 60, 12,
// 24, 48, 96, 19) stand for 110 to 19200. False for an empty or malformed text, an unknown
// key or a value out of range; `out` is then unspecified.
bool ParseCommSettings(std::string_view text, CommSettings& out);

} // namespace qmr::platform
