// Fuzz target: the settings-text reader. Whatever it accepts has values in range and reads
// back the same when written out again in the key=value form.

#include "platform/CommSettings.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

std::string OnOff(bool on)
{
    return on ? "on" : "off";
}

std::string Line(char c)
{
    switch (c) {
    case 'Y':
        return "on";
    case 'N':
        return "off";
    case 'H':
        return "hs";
    default:
        return "tg";
    }
}

std::string Write(const qmr::platform::CommSettings& s)
{
    std::string t;
    if (s.baud) {
        t += " baud=" + std::to_string(*s.baud);
    }
    if (s.parity) {
        t += std::string(" parity=") + *s.parity;
    }
    if (s.dataBits) {
        t += " data=" + std::to_string(*s.dataBits);
    }
    if (s.stopTenths) {
        t += *s.stopTenths == 10 ? " stop=1" : (*s.stopTenths == 15 ? " stop=1.5" : " stop=2");
    }
    if (s.timeoutRetry) {
        t += " to=" + OnOff(*s.timeoutRetry);
    }
    if (s.xonXoff) {
        t += " xon=" + OnOff(*s.xonXoff);
    }
    if (s.outputDsrFlow) {
        t += " odsr=" + OnOff(*s.outputDsrFlow);
    }
    if (s.outputCtsFlow) {
        t += " octs=" + OnOff(*s.outputCtsFlow);
    }
    if (s.dtr) {
        t += " dtr=" + Line(*s.dtr);
    }
    if (s.rts) {
        t += " rts=" + Line(*s.rts);
    }
    if (s.inputDsr) {
        t += " idsr=" + OnOff(*s.inputDsr);
    }
    return t;
}

bool Same(const qmr::platform::CommSettings& a, const qmr::platform::CommSettings& b)
{
    // Abbreviated rates are stored expanded (12 as 1200), so they read back the same.
    return a.baud == b.baud && a.parity == b.parity && a.dataBits == b.dataBits && a.stopTenths == b.stopTenths &&
           a.timeoutRetry == b.timeoutRetry && a.xonXoff == b.xonXoff && a.outputDsrFlow == b.outputDsrFlow &&
           a.outputCtsFlow == b.outputCtsFlow && a.dtr == b.dtr && a.rts == b.rts && a.inputDsr == b.inputDsr;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    qmr::platform::CommSettings s;
    if (!qmr::platform::ParseCommSettings(text, s)) {
        return 0;
    }
    if (s.baud) {
        Check(*s.baud > 0);
    }
    if (s.parity) {
        Check(std::string_view("NEOMS").find(*s.parity) != std::string_view::npos);
    }
    if (s.dataBits) {
        Check(*s.dataBits >= 5 && *s.dataBits <= 8);
    }
    if (s.stopTenths) {
        Check(*s.stopTenths == 10 || *s.stopTenths == 15 || *s.stopTenths == 20);
    }
    if (s.dtr) {
        Check(*s.dtr == 'Y' || *s.dtr == 'N' || *s.dtr == 'H');
    }
    if (s.rts) {
        Check(std::string_view("YNHT").find(*s.rts) != std::string_view::npos);
    }
    std::string again = Write(s);
    qmr::platform::CommSettings t;
    Check(ParseCommSettings(again, t));
    Check(Same(s, t));
    return 0;
}
