#pragma once
// The instrument's command processor: its settings, the SCPI command tree it answers, the
// IEEE 488.2 status model (status byte, standard event status register with its enable mask,
// service request enable, error queue) and the knobs that make it answer oddly on purpose.
// It knows nothing of ports: a line goes in, the reply line (if any) comes out. Every
// operation is safe to call from any thread.

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace qmrsim {

// The loss range reported for the frequencies up to `upToFrequency` (hundredths of a GHz,
// inclusive); bands are searched in order, the first that reaches the frequency applies.
struct RangeBand {
    int upToFrequency = 0;
    int minLoss = 0; // tenths of a dB
    int maxLoss = 0;
};

// Shapes of the reply to a line that holds a range query.
enum class RangeShape {
    Normal,      // "0,700;0,\"NO ERROR\"": every reply of the line, joined by ';'
    NoSemicolon, // "0,700": only the range query's own reply
    NoComma,     // "0 700;0 \"NO ERROR\"": commas turned into blanks
    Refused,     // the range query fails with -222 and answers nothing, so the queue gives the error
};

// The instrument's state as a test sees it.
struct InstrumentState {
    char mode = 'I';      // 'I' insertion loss (dB), 'P' percent
    int level = 0;        // tenths of a percent
    int loss = 0;         // tenths of a dB
    int frequency = 1000; // hundredths of a GHz
    bool remote = false;
    bool keyLock = false;
    std::string serial;
    int brightness = 80; // percent
    int autoOff = 10;    // minutes, 0 = always on
    bool beep = true;
    std::string address;
    bool autoAddress = false;
    int debugLevel = 0;
    uint8_t ese = 0;
    uint8_t sre = 0;
    uint8_t esr = 0;
    std::vector<std::string> errorQueue; // oldest first, as ":SYST:ERR?" gives them
};

class Instrument {
public:
    static constexpr size_t kErrorQueueCapacity = 10;
    // The service request enable after power-on: the event summary requests service.
    static constexpr uint8_t kPowerOnSre = 0x20;

    Instrument();

    // Runs one received command line (without its terminator): the commands separated by ';'
    // in order; a command error ends the rest of the line. Gives the replies of its queries
    // joined by ';' as one line, or nothing when the line asks nothing.
    std::optional<std::string> Execute(const std::string& line);

    // The status byte as "*STB?" gives it.
    uint8_t StatusByte() const;
    InstrumentState State() const;

    // Front panel: the local key. It takes the instrument to local and raises the user-request
    // event bit; a locked panel ignores it (false).
    bool PressLocalKey();

    // Queue an error; an empty text takes the standard text of the code. The event status bit
    // of the error's class is raised as for an error of the instrument's own.
    void PushError(int code, const std::string& text = {});
    void ClearErrors();

    // Settings, as the front panel or a test sets them.
    void SetMode(char mode);
    void SetLevel(int tenths);
    void SetLoss(int tenths);
    void SetFrequency(int hundredths);
    void SetRemote(bool on);
    void SetKeyLock(bool on);
    void SetSerial(const std::string& serial);
    void SetAddress(const std::string& address, bool automatic);
    void SetEventStatus(uint8_t esr);

    // Identity: "*IDN?" answers manufacturer,model,serial,firmware.
    void SetIdentity(const std::string& manufacturer, const std::string& model, const std::string& firmware);

    // Knobs: the answer to ":ISI:MODE?" (empty: the real mode), to "*OPC?" (default "1"), the
    // empty queue's reply (default 0,"NO ERROR"), an answer to a line that only goes local
    // (none by default), the range table and the range reply's shape.
    void SetModeAnswer(const std::string& text);
    void SetOpcAnswer(const std::string& text);
    void SetNoErrorText(const std::string& text);
    void SetLocalAnswer(std::optional<std::string> text);
    void SetRangeTable(std::vector<RangeBand> bands);
    void SetRangeShape(RangeShape shape);
    // The loss range (min, max) for a frequency; false when no band covers it.
    bool RangeFor(int frequency, int& minLoss, int& maxLoss) const;

    static constexpr int kMinFrequency = 10;   // 0.10 GHz
    static constexpr int kMaxFrequency = 4000; // 40.00 GHz

private:
    struct Command;
    enum class Outcome { Done, AbortLine };

    Outcome Run(const Command& command, std::vector<std::string>& replies, bool& wentLocal, bool& rangeQuery,
                std::optional<size_t>& rangeReplyIndex);
    void PushErrorLocked(int code, const std::string& text = {});
    uint8_t StatusByteLocked() const;
    bool RangeForLocked(int frequency, int& minLoss, int& maxLoss) const;
    std::string Identity() const;
    void ResetSettings();

    mutable std::mutex mutex_;
    InstrumentState state_;
    std::deque<std::string> queue_;
    std::string manufacturer_ = "QMR";
    std::string model_ = "QMR3400";
    std::string firmware_ = "1.05";
    std::string modeAnswer_;
    std::string opcAnswer_ = "1";
    std::string noErrorText_ = "0,\"NO ERROR\"";
    std::optional<std::string> localAnswer_;
    std::vector<RangeBand> bands_;
    RangeShape rangeShape_ = RangeShape::Normal;
    bool commandError_ = false; // the running command queued a command error
};

// Default loss ranges: 0 to 70.0 dB below 10 GHz, to 50.0 dB up to 20 GHz, to 30.0 dB above.
std::vector<RangeBand> DefaultRangeTable();

// Formats tenths as a decimal with one digit after the point ("50.5"), locale-independent.
std::string FormatTenths(int tenths);

} // namespace qmrsim
