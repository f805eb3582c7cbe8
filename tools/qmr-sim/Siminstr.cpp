// The instrument's state, its status model and the knobs a test turns; the command tree that
// reads and changes them is in Simtree.cpp.
#include "Siminstr.h"

#include "Simerrors.h"

#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qmrsim {

namespace {

constexpr const char* kDefaultSerial = "SN34000123";
constexpr const char* kDefaultAddress = "192.168.0.88";

} // namespace

std::vector<RangeBand> DefaultRangeTable()
{
    return {{999, 0, 700}, {2000, 0, 500}, {Instrument::kMaxFrequency, 0, 300}};
}

std::string FormatTenths(int tenths)
{
    std::string sign = tenths < 0 ? "-" : "";
    int magnitude = std::abs(tenths);
    return sign + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

Instrument::Instrument() : bands_(DefaultRangeTable())
{
    state_.serial = kDefaultSerial;
    state_.address = kDefaultAddress;
    state_.sre = kPowerOnSre;
}

void Instrument::ResetSettings()
{
    state_.mode = 'I';
    state_.level = 0;
    state_.loss = 0;
    state_.frequency = 1000;
    state_.brightness = 80;
    state_.autoOff = 10;
    state_.beep = true;
    state_.address = kDefaultAddress;
    state_.autoAddress = false;
    state_.debugLevel = 0;
}

std::string Instrument::Identity() const
{
    return manufacturer_ + "," + model_ + "," + state_.serial + "," + firmware_;
}

void Instrument::PushErrorLocked(int code, const std::string& text)
{
    std::string entry = FormatErrorEntry(code, text.empty() ? ScpiErrorText(code) : text);
    if (queue_.size() >= kErrorQueueCapacity) {
        // A full queue keeps its oldest entries; the newest becomes the overflow notice.
        queue_.back() = FormatErrorEntry(-350, ScpiErrorText(-350));
    } else {
        queue_.push_back(std::move(entry));
    }
    state_.esr |= EsrBitForError(code);
    commandError_ = commandError_ || EsrBitForError(code) == kEsrCommandError;
}

uint8_t Instrument::StatusByteLocked() const
{
    uint8_t stb = 0;
    if (!queue_.empty()) {
        stb |= kStbErrorQueue;
    }
    if ((state_.esr & state_.ese) != 0) {
        stb |= kStbEventSummary;
    }
    if ((stb & state_.sre & ~kStbRequestService) != 0) {
        stb |= kStbRequestService;
    }
    return stb;
}

bool Instrument::RangeForLocked(int frequency, int& minLoss, int& maxLoss) const
{
    if (frequency < kMinFrequency || frequency > kMaxFrequency) {
        return false;
    }
    for (const RangeBand& band : bands_) {
        if (frequency <= band.upToFrequency) {
            minLoss = band.minLoss;
            maxLoss = band.maxLoss;
            return true;
        }
    }
    return false;
}

uint8_t Instrument::StatusByte() const
{
    std::lock_guard lock(mutex_);
    return StatusByteLocked();
}

InstrumentState Instrument::State() const
{
    std::lock_guard lock(mutex_);
    InstrumentState copy = state_;
    copy.errorQueue.assign(queue_.begin(), queue_.end());
    return copy;
}

bool Instrument::PressLocalKey()
{
    std::lock_guard lock(mutex_);
    if (state_.keyLock) {
        return false;
    }
    state_.remote = false;
    state_.esr |= kEsrUserRequest;
    return true;
}

void Instrument::PushError(int code, const std::string& text)
{
    std::lock_guard lock(mutex_);
    PushErrorLocked(code, text);
}

void Instrument::ClearErrors()
{
    std::lock_guard lock(mutex_);
    queue_.clear();
}

void Instrument::SetMode(char mode)
{
    std::lock_guard lock(mutex_);
    state_.mode = mode;
}

void Instrument::SetLevel(int tenths)
{
    std::lock_guard lock(mutex_);
    state_.level = tenths;
}

void Instrument::SetLoss(int tenths)
{
    std::lock_guard lock(mutex_);
    state_.loss = tenths;
}

void Instrument::SetFrequency(int hundredths)
{
    std::lock_guard lock(mutex_);
    state_.frequency = hundredths;
}

void Instrument::SetRemote(bool on)
{
    std::lock_guard lock(mutex_);
    state_.remote = on;
}

void Instrument::SetKeyLock(bool on)
{
    std::lock_guard lock(mutex_);
    state_.keyLock = on;
}

void Instrument::SetSerial(const std::string& serial)
{
    std::lock_guard lock(mutex_);
    state_.serial = serial;
}

void Instrument::SetAddress(const std::string& address, bool automatic)
{
    std::lock_guard lock(mutex_);
    state_.address = address;
    state_.autoAddress = automatic;
}

void Instrument::SetEventStatus(uint8_t esr)
{
    std::lock_guard lock(mutex_);
    state_.esr = esr;
}

void Instrument::SetIdentity(const std::string& manufacturer, const std::string& model, const std::string& firmware)
{
    std::lock_guard lock(mutex_);
    manufacturer_ = manufacturer;
    model_ = model;
    firmware_ = firmware;
}

void Instrument::SetModeAnswer(const std::string& text)
{
    std::lock_guard lock(mutex_);
    modeAnswer_ = text;
}

void Instrument::SetOpcAnswer(const std::string& text)
{
    std::lock_guard lock(mutex_);
    opcAnswer_ = text;
}

void Instrument::SetNoErrorText(const std::string& text)
{
    std::lock_guard lock(mutex_);
    noErrorText_ = text;
}

void Instrument::SetLocalAnswer(std::optional<std::string> text)
{
    std::lock_guard lock(mutex_);
    localAnswer_ = std::move(text);
}

void Instrument::SetRangeTable(std::vector<RangeBand> bands)
{
    std::lock_guard lock(mutex_);
    bands_ = std::move(bands);
}

void Instrument::SetRangeShape(RangeShape shape)
{
    std::lock_guard lock(mutex_);
    rangeShape_ = shape;
}

bool Instrument::RangeFor(int frequency, int& minLoss, int& maxLoss) const
{
    std::lock_guard lock(mutex_);
    return RangeForLocked(frequency, minLoss, maxLoss);
}

} // namespace qmrsim
