#include "Simcontrol.h"

#include "Simerrors.h"
#include "Simparse.h"
#include "Simulator.h"

#include <array>
#include <cctype>
#include <charconv>
#include <string_view>

namespace qmrsim {

namespace {

struct CommandInfo {
    const char* name;
    const char* arguments; // as shown in the help; empty: none
    bool required;         // the arguments must be given
    const char* what;
};

constexpr std::array kCommands{
    CommandInfo{"quit", "", false, "end the simulator"},
    CommandInfo{"help", "", false, "list the commands"},
    CommandInfo{"status", "", false, "print the status byte, registers, error queue and settings"},
    CommandInfo{"error", "CODE [TEXT]", true, "queue an error (standard text unless given)"},
    CommandInfo{"fatal", "[CODE]", false, "queue a fatal error: -365, -315 (default) or -240"},
    CommandInfo{"clear-errors", "", false, "empty the error queue"},
    CommandInfo{"error-on", "MATCH CODE [TIMES]", true, "queue CODE whenever a line matches (TIMES: how often)"},
    CommandInfo{"override", "MATCH TEXT", true, "answer TEXT to the lines that match"},
    CommandInfo{"drop-next", "[N]", false, "send no reply to the next N replies"},
    CommandInfo{"drop-on", "MATCH [TIMES]", true, "send no reply to the lines that match"},
    CommandInfo{"delay", "MS", true, "send every reply MS late (0: at once)"},
    CommandInfo{"delay-next", "MS", true, "send the next reply MS late"},
    CommandInfo{"delay-on", "MATCH MS [TIMES]", true, "send the replies to matching lines MS late"},
    CommandInfo{"split-next", "[BYTES [GAP_MS]]", false, "send the next reply in two parts (default half, 50 ms)"},
    CommandInfo{"split-on", "MATCH BYTES GAP_MS", true, "split the replies to matching lines"},
    CommandInfo{"glue-next", "TEXT", true, "send the line TEXT right behind the next reply"},
    CommandInfo{"glue-on", "MATCH TEXT", true, "glue TEXT behind the replies to matching lines"},
    CommandInfo{"overlong-next", "BYTES", true, "pad the next reply to BYTES bytes"},
    CommandInfo{"overlong-on", "MATCH BYTES", true, "pad the replies to matching lines"},
    CommandInfo{"fin", "", false, "close the TCP connection (FIN)"},
    CommandInfo{"reset", "", false, "reset the TCP connection (RST)"},
    CommandInfo{"hangup", "", false, "hang the pseudo-terminal up and remove its link"},
    CommandInfo{"replug", "", false, "bring a hung-up pseudo-terminal back"},
    CommandInfo{"fin-next", "", false, "close the TCP connection instead of the next reply"},
    CommandInfo{"reset-next", "", false, "reset the TCP connection instead of the next reply"},
    CommandInfo{"hangup-next", "", false, "hang up instead of the next reply"},
    CommandInfo{"fin-on", "MATCH", true, "close the TCP connection when a line matches (once)"},
    CommandInfo{"reset-on", "MATCH", true, "reset the TCP connection when a line matches (once)"},
    CommandInfo{"hangup-on", "MATCH", true, "hang up when a line matches (once)"},
    CommandInfo{"clear-faults", "", false, "remove every fault"},
    CommandInfo{"byte-time", "on|off|MICROSECONDS", true, "write replies byte by byte (on: 19200 baud)"},
    CommandInfo{"terminator", "lf|crlf|cr", true, "the reply terminator"},
    CommandInfo{"mode-answer", "[TEXT]", false, "answer TEXT to \":ISI:MODE?\" (none: the real mode)"},
    CommandInfo{"opc-answer", "TEXT", true, "answer TEXT to \"*OPC?\""},
    CommandInfo{"no-error-text", "TEXT", true, "the empty error queue's reply (default 0,\"NO ERROR\")"},
    CommandInfo{"local-answer", "[TEXT]", false, "answer TEXT to a line that only goes local (none: silent)"},
    CommandInfo{"range-shape", "normal|no-semicolon|no-comma|refused", true, "the shape of range replies"},
    CommandInfo{"range", "UPTO:MIN:MAX...", true, "the loss range table (frequency in 0.01 GHz, loss in 0.1 dB)"},
    CommandInfo{"local-key", "", false, "press the front panel's local key"},
    CommandInfo{"set", "mode|level|loss|frequency|remote|keylock|serial|address|esr VALUE", true,
                "set the instrument's state"},
    CommandInfo{"records", "", false, "print how many lines were received"},
};

const CommandInfo* FindCommand(const std::string& name)
{
    for (const CommandInfo& info : kCommands) {
        if (name == info.name) {
            return &info;
        }
    }
    return nullptr;
}

bool ToInt(const std::string& text, int& value)
{
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return ec == std::errc() && end == text.data() + text.size();
}

bool ToOnOff(const std::string& text, bool& on)
{
    int v = ParseBool(text);
    on = v == 1;
    return v >= 0;
}

// The text after the first `skip` words of the line, as typed (quotes of one word removed).
std::string RestAfter(const std::string& line, size_t skip)
{
    size_t i = 0;
    for (size_t word = 0; word < skip; ++word) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
        }
        if (i < line.size() && line[i] == '"') {
            size_t close = line.find('"', i + 1);
            i = close == std::string::npos ? line.size() : close + 1;
        } else {
            while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) {
                ++i;
            }
        }
    }
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) {
        ++i;
    }
    return Unquote(line.substr(i));
}

std::string Status(Simulator& sim)
{
    InstrumentState s = sim.instrument().State();
    std::string out = "ok stb=" + std::to_string(sim.instrument().StatusByte()) + " esr=" + std::to_string(s.esr) +
                      " ese=" + std::to_string(s.ese) + " sre=" + std::to_string(s.sre) + " mode=" + s.mode +
                      " level=" + FormatTenths(s.level) + " loss=" + std::to_string(s.loss) +
                      " frequency=" + std::to_string(s.frequency) + " remote=" + (s.remote ? "ON" : "OFF") +
                      " keylock=" + (s.keyLock ? "ON" : "OFF") + " serial=" + s.serial +
                      " tcp-client=" + (sim.TcpClientConnected() ? "yes" : "no") +
                      " pty=" + (sim.PtyPresent() ? "yes" : "no") + " errors=" + std::to_string(s.errorQueue.size());
    for (const std::string& entry : s.errorQueue) {
        out += " [" + entry + "]";
    }
    return out;
}

} // namespace

std::vector<std::string> SplitControlWords(const std::string& line)
{
    std::vector<std::string> words;
    size_t i = 0;
    while (i < line.size()) {
        if (std::isspace(static_cast<unsigned char>(line[i]))) {
            ++i;
            continue;
        }
        if (line[i] == '"') {
            size_t close = line.find('"', i + 1);
            if (close == std::string::npos) {
                close = line.size();
            }
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
            continue;
        }
        size_t end = i;
        while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) {
            ++end;
        }
        words.push_back(line.substr(i, end - i));
        i = end;
    }
    return words;
}

bool ControlInterpreter::IsCommand(const std::string& name)
{
    return FindCommand(name) != nullptr;
}

bool ControlInterpreter::NeedsArguments(const std::string& name)
{
    const CommandInfo* info = FindCommand(name);
    return info != nullptr && info->required;
}

std::string ControlInterpreter::Help()
{
    std::string out;
    for (const CommandInfo& info : kCommands) {
        std::string head = std::string(info.name) + (info.arguments[0] != '\0' ? " " : "") + info.arguments;
        out += "  " + head + std::string(head.size() < 38 ? 38 - head.size() : 1, ' ') + info.what + "\n";
    }
    out += "  MATCH: a command line exactly, or its beginning followed by '*'; quote it when it holds blanks\n";
    return out;
}

std::string ControlInterpreter::Run(const std::string& line, bool& quit)
{
    std::vector<std::string> w = SplitControlWords(line);
    if (w.empty() || w[0].starts_with('#')) {
        return {};
    }
    const std::string& name = w[0];
    const CommandInfo* info = FindCommand(name);
    if (info == nullptr) {
        return "error: unknown command \"" + name + "\" (try help)";
    }
    const std::string usage = "error: usage: " + name + " " + info->arguments;
    auto argInt = [&](size_t index, int& value) { return index < w.size() && ToInt(w[index], value); };
    auto timesAt = [&](size_t index) {
        int times = -1;
        return argInt(index, times) ? times : -1;
    };
    auto addFault = [&](const Fault& fault) {
        sim_.AddFault(fault);
        return std::string("ok");
    };
    using K = Fault::Kind;
    using std::chrono::milliseconds;
    int a = 0;
    int b = 0;

    if (name == "quit") {
        quit = true;
        return "ok";
    }
    if (name == "help") {
        return "ok\n" + Help();
    }
    if (name == "status") {
        return Status(sim_);
    }
    if (name == "records") {
        return "ok " + std::to_string(sim_.RecordCount());
    }
    if (name == "error") {
        if (!argInt(1, a)) {
            return usage;
        }
        sim_.instrument().PushError(a, w.size() > 2 ? RestAfter(line, 2) : std::string());
        return "ok";
    }
    if (name == "fatal") {
        a = kErrConfigMemoryLost;
        if (w.size() > 1 && !argInt(1, a)) {
            return usage;
        }
        if (a != kErrTimeOut && a != kErrConfigMemoryLost && a != kErrHardware) {
            return "error: fatal codes are -365, -315 and -240";
        }
        sim_.instrument().PushError(a);
        return "ok";
    }
    if (name == "clear-errors") {
        sim_.instrument().ClearErrors();
        return "ok";
    }
    if (name == "error-on") {
        return argInt(2, a) ? addFault(Fault::Of(K::Error).On(w[1]).Code(a).Times(timesAt(3))) : usage;
    }
    if (name == "override") {
        if (w.size() < 2) {
            return usage;
        }
        return addFault(Fault::Of(K::Override).On(w[1]).Text(RestAfter(line, 2)).Times(-1));
    }
    if (name == "drop-next") {
        a = 1;
        if (w.size() > 1 && !argInt(1, a)) {
            return usage;
        }
        return addFault(Fault::Of(K::Drop).Times(a));
    }
    if (name == "drop-on") {
        return w.size() > 1 ? addFault(Fault::Of(K::Drop).On(w[1]).Times(timesAt(2))) : usage;
    }
    if (name == "delay") {
        if (!argInt(1, a) || a < 0) {
            return usage;
        }
        sim_.SetReplyDelay(milliseconds(a));
        return "ok";
    }
    if (name == "delay-next") {
        return argInt(1, a) && a >= 0 ? addFault(Fault::Of(K::Delay).Time(milliseconds(a))) : usage;
    }
    if (name == "delay-on") {
        return argInt(2, a) && a >= 0 ? addFault(Fault::Of(K::Delay).On(w[1]).Time(milliseconds(a)).Times(timesAt(3)))
                                      : usage;
    }
    if (name == "split-next") {
        a = 0;
        b = 50;
        if ((w.size() > 1 && !argInt(1, a)) || (w.size() > 2 && !argInt(2, b)) || a < 0 || b < 0) {
            return usage;
        }
        return addFault(Fault::Of(K::Split).Time(milliseconds(b)).Size(static_cast<size_t>(a)));
    }
    if (name == "split-on") {
        if (!argInt(2, a) || !argInt(3, b) || a < 0 || b < 0) {
            return usage;
        }
        return addFault(
            Fault::Of(K::Split).On(w[1]).Time(milliseconds(b)).Size(static_cast<size_t>(a)).Times(timesAt(4)));
    }
    if (name == "glue-next") {
        return w.size() > 1 ? addFault(Fault::Of(K::Glue).Text(RestAfter(line, 1))) : usage;
    }
    if (name == "glue-on") {
        return w.size() > 2 ? addFault(Fault::Of(K::Glue).On(w[1]).Text(RestAfter(line, 2)).Times(-1)) : usage;
    }
    if (name == "overlong-next") {
        return argInt(1, a) && a > 0 ? addFault(Fault::Of(K::Overlong).Size(static_cast<size_t>(a))) : usage;
    }
    if (name == "overlong-on") {
        return argInt(2, a) && a > 0 ? addFault(Fault::Of(K::Overlong).On(w[1]).Size(static_cast<size_t>(a)).Times(-1))
                                     : usage;
    }
    if (name == "fin" || name == "reset" || name == "hangup" || name == "replug") {
        if (name == "fin") {
            sim_.TcpFin();
        } else if (name == "reset") {
            sim_.TcpReset();
        } else if (name == "hangup") {
            sim_.HangUpPty();
        } else if (!sim_.ReplugPty()) {
            return "error: no pseudo-terminal face";
        }
        return "ok";
    }
    if (name == "fin-next" || name == "reset-next" || name == "hangup-next" || name == "fin-on" || name == "reset-on" ||
        name == "hangup-on") {
        K kind = name.starts_with("fin") ? K::Fin : name.starts_with("reset") ? K::Reset : K::HangUp;
        if (name.ends_with("-on")) {
            return w.size() > 1 ? addFault(Fault::Of(kind).On(w[1])) : usage;
        }
        return addFault(Fault::Of(kind));
    }
    if (name == "clear-faults") {
        sim_.ClearFaults();
        return "ok";
    }
    if (name == "byte-time") {
        bool on = false;
        if (w.size() > 1 && ToOnOff(w[1], on)) {
            sim_.SetByteTime(on ? Simulator::kByteTime19200 : std::chrono::microseconds(0));
        } else if (argInt(1, a) && a >= 0) {
            sim_.SetByteTime(std::chrono::microseconds(a));
        } else {
            return usage;
        }
        return "ok";
    }
    if (name == "terminator") {
        std::string t = w.size() > 1 ? Upper(w[1]) : std::string();
        if (t != "LF" && t != "CRLF" && t != "CR") {
            return usage;
        }
        sim_.SetTerminator(t == "LF" ? "\n" : t == "CR" ? "\r" : "\r\n");
        return "ok";
    }
    if (name == "mode-answer") {
        sim_.instrument().SetModeAnswer(RestAfter(line, 1));
        return "ok";
    }
    if (name == "opc-answer") {
        sim_.instrument().SetOpcAnswer(RestAfter(line, 1));
        return "ok";
    }
    if (name == "no-error-text") {
        sim_.instrument().SetNoErrorText(RestAfter(line, 1));
        return "ok";
    }
    if (name == "local-answer") {
        sim_.instrument().SetLocalAnswer(w.size() > 1 ? std::optional<std::string>(RestAfter(line, 1)) : std::nullopt);
        return "ok";
    }
    if (name == "range-shape") {
        std::string s = w.size() > 1 ? w[1] : std::string();
        RangeShape shape = RangeShape::Normal;
        if (s == "no-semicolon") {
            shape = RangeShape::NoSemicolon;
        } else if (s == "no-comma") {
            shape = RangeShape::NoComma;
        } else if (s == "refused") {
            shape = RangeShape::Refused;
        } else if (s != "normal") {
            return usage;
        }
        sim_.instrument().SetRangeShape(shape);
        return "ok";
    }
    if (name == "range") {
        std::vector<RangeBand> bands;
        for (size_t i = 1; i < w.size(); ++i) {
            std::vector<std::string> parts = SplitNodes(w[i]);
            RangeBand band;
            if (parts.size() != 3 || !ToInt(parts[0], band.upToFrequency) || !ToInt(parts[1], band.minLoss) ||
                !ToInt(parts[2], band.maxLoss)) {
                return usage;
            }
            bands.push_back(band);
        }
        if (bands.empty()) {
            return usage;
        }
        sim_.instrument().SetRangeTable(bands);
        return "ok";
    }
    if (name == "local-key") {
        return sim_.instrument().PressLocalKey() ? "ok" : "ok ignored: the panel is locked";
    }
    // set
    if (w.size() < 3) {
        return usage;
    }
    Instrument& in = sim_.instrument();
    const std::string& what = w[1];
    const std::string value = RestAfter(line, 2);
    bool on = false;
    double d = 0;
    if (what == "mode" && (value == "I" || value == "P")) {
        in.SetMode(value[0]);
    } else if (what == "level" && ParseDouble(value, d)) {
        in.SetLevel(static_cast<int>(d * 10.0 + (d < 0 ? -0.5 : 0.5)));
    } else if (what == "loss" && ToInt(value, a)) {
        in.SetLoss(a);
    } else if (what == "frequency" && ToInt(value, a)) {
        in.SetFrequency(a);
    } else if (what == "remote" && ToOnOff(value, on)) {
        in.SetRemote(on);
    } else if (what == "keylock" && ToOnOff(value, on)) {
        in.SetKeyLock(on);
    } else if (what == "serial") {
        in.SetSerial(value);
    } else if (what == "address") {
        in.SetAddress(w[2], w.size() > 3 && Upper(w[3]) == "AUTO");
    } else if (what == "esr" && ToInt(value, a) && a >= 0 && a <= 255) {
        in.SetEventStatus(static_cast<uint8_t>(a));
    } else {
        return usage;
    }
    return "ok";
}

} // namespace qmrsim
