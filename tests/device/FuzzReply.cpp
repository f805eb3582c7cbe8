// Fuzz target: a reply handed over by the receive callback while a command state is pending.
// The first byte picks the state (0..23, numbers outside the table included) and the kind of
// command module that gets the reply (dB, percent or none); the rest is the reply, at most the
// 80 bytes that one hand-over carries.
#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Kmsgscpi.h"
#include "app/instrument/Scpinum.h"
#include "app/link/Commodul.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

// The third comma-separated field, or "-" with fewer than three commas; cut to 19.
std::string SerialOf(const std::string& reply)
{
    std::size_t comma[3];
    std::size_t from = 0;
    for (std::size_t& at : comma) {
        at = reply.find(',', from);
        if (at == std::string::npos) {
            return "-";
        }
        from = at + 1;
    }
    return reply.substr(comma[1] + 1, comma[2] - comma[1] - 1).substr(0, KComDeviceQmr::kSerialSize - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) {
        return 0;
    }
    const int state = data[0] % 24;
    const int kind = (data[0] / 24) % 3;
    const std::size_t length = size - 1 < 80 ? size - 1 : 80;
    // As the communication thread hands it over: closed by a zero byte, in a block of its own.
    std::vector<char> text(data + 1, data + 1 + length);
    text.push_back('\0');
    text.shrink_to_fit();
    int count = static_cast<int>(length);

    KComModule comModule;
    auto device = std::make_unique<KComDeviceQmr>(&comModule);
    std::unique_ptr<KModuleQmr> module;
    if (kind == 0) {
        module = std::make_unique<KModuleQmrIL>();
    } else if (kind == 1) {
        module = std::make_unique<KModuleQmrPP>();
    }
    if (module) {
        module->SetComDevice(device.get());
        device->SetModule(module.get());
    }
    device->SetCommandState(state);
    const int16_t frequencyBefore = device->GetFrequency();

    RecvCallbackD(text.data(), &count);

    // The receive path turns line feeds into blanks before anyone parses; the count stays.
    Check(count == static_cast<int>(length));
    const std::string reply(text.data());
    Check(reply.find('\n') == std::string::npos);
    Check(device->GetCommandState() == (state == csREADSTB ? csREADSTB : csIDLE));
    const bool known = CommandStateName(state)[0] != '\0' && state != csIDLE;
    Check(device->IsRemote() == (known && (state == csKLOCQ || state == csREM)));
    Check(device->GetSerial() == (state == csIDNQ ? SerialOf(reply) : std::string("-")));
    Check(device->GetLastErrorText() == (state == csERRQ ? reply.substr(0, KComDeviceQmr::kLastErrorSize - 1) : ""));
    if (state == csILQ) {
        Check(device->GetLoss() ==
              scpinum::SaturateInt16(static_cast<long long>(scpinum::ParseLeadingInt(reply.c_str()))));
        if (reply.find(',') == std::string::npos) {
            Check(device->GetFrequency() == frequencyBefore);
        }
    }
    if (state == csKLOCQ) {
        Check(device->GetReportedKeyLock() == (reply == "ON"));
    }
    if (state == csKLOC && module) {
        Check(device->GetKeyLockFlag() == (reply == "ON"));
    }
    int16_t max = 0;
    int16_t min = 0;
    device->GetRange(max, min);
    if (state != csDBRANGE || !module) {
        Check(max == 700 && min == 0);
    }

    module.reset();
    device.reset();
    KMessageScpiError::DeleteInstance();
    return 0;
}
