// Fuzz target: command lines (one per input line) into the simulator's command processor, from
// its power-on state. Whatever the lines say, the reply is one line, the settings stay within
// the ranges the instrument accepts and the error queue within its capacity.
#include "Siminstr.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void Check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    qmrsim::Instrument instrument;
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t from = 0;
    while (from < input.size()) {
        std::size_t end = input.find('\n', from);
        if (end == std::string::npos) {
            end = input.size();
        }
        const auto reply = instrument.Execute(input.substr(from, end - from));
        from = end + 1;
        Check(!reply || reply->find('\n') == std::string::npos);

        const qmrsim::InstrumentState s = instrument.State();
        Check(s.mode == 'I' || s.mode == 'P');
        Check(s.level >= 0 && s.level <= 1000);
        Check(s.frequency >= qmrsim::Instrument::kMinFrequency && s.frequency <= qmrsim::Instrument::kMaxFrequency);
        int minLoss = 0;
        int maxLoss = 0;
        Check(instrument.RangeFor(s.frequency, minLoss, maxLoss) && s.loss >= minLoss && s.loss <= maxLoss);
        Check(s.brightness >= 0 && s.brightness <= 100 && s.autoOff >= 0 && s.autoOff <= 120);
        Check(s.debugLevel >= 0 && s.debugLevel <= 255);
        Check(s.errorQueue.size() <= qmrsim::Instrument::kErrorQueueCapacity);
    }
    return 0;
}
