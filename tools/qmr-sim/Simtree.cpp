// The command tree and its dispatch: how a received line becomes the instrument's commands and
// their replies. The state those commands act on, and the knobs, live in Siminstr.cpp.
#include "Siminstr.h"

#include "Simerrors.h"
#include "Simparse.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qmrsim {

namespace {

enum class Op {
    Idn,
    Rst,
    Cls,
    Ese,
    Esr,
    Sre,
    Stb,
    Opc,
    Tst,
    Wai,
    Mode,
    Level,
    Il,
    Range,
    Error,
    KeyLock,
    Remote,
    Local,
    Beep,
    Address,
    AddressAuto,
    Brightness,
    AutoOff,
    MemoryInit,
    DebugSerial,
    DebugLevel,
};

struct Definition {
    const char* path; // nodes separated by ':'; upper case marks the short form
    Op op;
    bool query;
    bool set;
};

// The command tree. A keyword matches from its short form up to its long form, in any letter
// case (the instrument accepts every abbreviation between the two).
constexpr std::array kTree{
    Definition{"*IDN", Op::Idn, true, false},
    Definition{"*RST", Op::Rst, false, true},
    Definition{"*CLS", Op::Cls, false, true},
    Definition{"*ESE", Op::Ese, true, true},
    Definition{"*ESR", Op::Esr, true, false},
    Definition{"*SRE", Op::Sre, true, true},
    Definition{"*STB", Op::Stb, true, false},
    Definition{"*OPC", Op::Opc, true, true},
    Definition{"*TST", Op::Tst, true, false},
    Definition{"*WAI", Op::Wai, false, true},
    Definition{"ISI:MODE", Op::Mode, true, true},
    Definition{"ISI:LEVEl", Op::Level, true, true},
    Definition{"ISI:IL", Op::Il, true, true},
    Definition{"ISI:RANGe", Op::Range, true, false},
    Definition{"SYSTem:ERRor", Op::Error, true, false},
    Definition{"SYSTem:ERRor:NEXT", Op::Error, true, false},
    Definition{"SYSTem:KLOCk", Op::KeyLock, true, true},
    Definition{"SYSTem:REMote", Op::Remote, false, true},
    Definition{"SYSTem:LOCal", Op::Local, false, true},
    Definition{"SYSTem:BEEPer:STATe", Op::Beep, true, true},
    Definition{"SYSTem:COMMunicate:SOCKet:ADDRess", Op::Address, true, true},
    Definition{"SYSTem:COMMunicate:SOCKet:ADDRess:AUTO", Op::AddressAuto, true, true},
    Definition{"DISPlay:BRIGhtness", Op::Brightness, true, true},
    Definition{"DISPlay:AUTOoff", Op::AutoOff, true, true},
    Definition{"MEMOry:DEFIne:INITialize", Op::MemoryInit, false, true},
    Definition{"DEBUg:SERIal", Op::DebugSerial, true, true},
    Definition{"DEBUg:DBG", Op::DebugLevel, true, true},
};

const Definition* Find(const std::vector<std::string>& nodes)
{
    for (const Definition& def : kTree) {
        std::vector<std::string> defNodes = SplitNodes(def.path);
        if (defNodes.size() != nodes.size()) {
            continue;
        }
        bool all = true;
        for (size_t i = 0; i < nodes.size() && all; ++i) {
            all = KeywordMatches(defNodes[i], nodes[i]);
        }
        if (all) {
            return &def;
        }
    }
    return nullptr;
}

const char* OnOff(bool on)
{
    return on ? "ON" : "OFF";
}

} // namespace

struct Instrument::Command {
    const Definition* def = nullptr;
    bool query = false;
    std::vector<std::string> params;
};

std::optional<std::string> Instrument::Execute(const std::string& line)
{
    std::lock_guard lock(mutex_);
    std::vector<std::string> replies;
    std::vector<std::string> prefix; // the header path that relative headers continue
    bool wentLocal = false;
    bool rangeQuery = false;
    std::optional<size_t> rangeReplyIndex;
    for (std::string_view unit : SplitUnits(line)) {
        unit = Trim(unit);
        if (unit.empty()) {
            continue;
        }
        size_t space = 0;
        while (space < unit.size() && !std::isspace(static_cast<unsigned char>(unit[space]))) {
            ++space;
        }
        std::string_view header = unit.substr(0, space);
        Command command;
        command.params = SplitParams(unit.substr(space));
        if (header.ends_with('?')) {
            command.query = true;
            header.remove_suffix(1);
        }
        std::vector<std::string> nodes;
        if (header.starts_with('*')) {
            nodes.emplace_back(header);
        } else {
            bool absolute = header.starts_with(':');
            if (absolute) {
                header.remove_prefix(1);
            }
            nodes = absolute ? std::vector<std::string>{} : prefix;
            for (std::string& node : SplitNodes(header)) {
                nodes.push_back(std::move(node));
            }
            prefix.assign(nodes.begin(), nodes.end() - 1);
        }
        command.def = Find(nodes);
        bool known = command.def != nullptr && (command.query ? command.def->query : command.def->set);
        if (!known) {
            PushErrorLocked(-113);
            break;
        }
        if (Run(command, replies, wentLocal, rangeQuery, rangeReplyIndex) == Outcome::AbortLine) {
            break;
        }
    }
    if (replies.empty()) {
        if (wentLocal && localAnswer_) {
            return *localAnswer_;
        }
        return std::nullopt;
    }
    if (rangeQuery && rangeShape_ == RangeShape::NoSemicolon && rangeReplyIndex) {
        return replies[*rangeReplyIndex];
    }
    std::string joined;
    for (size_t i = 0; i < replies.size(); ++i) {
        joined += (i == 0 ? "" : ";") + replies[i];
    }
    if (rangeQuery && rangeShape_ == RangeShape::NoComma) {
        std::replace(joined.begin(), joined.end(), ',', ' ');
    }
    return joined;
}

Instrument::Outcome Instrument::Run(const Command& command, std::vector<std::string>& replies, bool& wentLocal,
                                    bool& rangeQuery, std::optional<size_t>& rangeReplyIndex)
{
    commandError_ = false;
    const std::vector<std::string>& p = command.params;
    const bool q = command.query;
    const Op op = command.def->op;
    // Only the range query takes a parameter in its query form.
    if (q && !p.empty() && op != Op::Range) {
        PushErrorLocked(-108);
        return Outcome::AbortLine;
    }
    bool takesNoParameter = op == Op::Rst || op == Op::Cls || op == Op::Opc || op == Op::Wai || op == Op::Remote ||
                            op == Op::Local || op == Op::MemoryInit;
    if (!q && takesNoParameter && !p.empty()) {
        PushErrorLocked(-108);
        return Outcome::AbortLine;
    }
    if (!q && !takesNoParameter && p.empty()) {
        PushErrorLocked(-109);
        return Outcome::AbortLine;
    }
    auto setInt = [&](int& target, int low, int high) {
        int v = 0;
        if (p.size() != 1 || !ParseInt(p[0], v)) {
            PushErrorLocked(-104);
        } else if (v < low || v > high) {
            PushErrorLocked(-222);
        } else {
            target = v;
        }
    };
    auto setByte = [&](uint8_t& target) {
        int v = target;
        setInt(v, 0, 255);
        target = static_cast<uint8_t>(v);
    };
    auto setBool = [&](bool& target) {
        int v = p.size() == 1 ? ParseBool(p[0]) : -1;
        if (v < 0) {
            PushErrorLocked(-224);
        } else {
            target = v == 1;
        }
    };
    // A setting's query answers its value, its command sets it.
    auto byteSetting = [&](uint8_t& target) {
        if (q) {
            replies.push_back(std::to_string(target));
        } else {
            setByte(target);
        }
    };
    auto numberSetting = [&](int& target, int low, int high) {
        if (q) {
            replies.push_back(std::to_string(target));
        } else {
            setInt(target, low, high);
        }
    };
    auto switchSetting = [&](bool& target) {
        if (q) {
            replies.push_back(OnOff(target));
        } else {
            setBool(target);
        }
    };
    switch (op) {
    case Op::Idn:
        replies.push_back(Identity());
        break;
    case Op::Rst:
        state_.mode = 'I';
        state_.level = 0;
        state_.loss = 0;
        state_.frequency = 1000;
        break;
    case Op::Cls:
        state_.esr = 0;
        queue_.clear();
        break;
    case Op::Ese:
        byteSetting(state_.ese);
        break;
    case Op::Esr:
        replies.push_back(std::to_string(state_.esr));
        state_.esr = 0;
        break;
    case Op::Sre:
        byteSetting(state_.sre);
        break;
    case Op::Stb:
        replies.push_back(std::to_string(StatusByteLocked()));
        break;
    case Op::Opc:
        if (q) {
            replies.push_back(opcAnswer_);
        } else {
            state_.esr |= kEsrOperationComplete;
        }
        break;
    case Op::Tst:
        replies.push_back("0");
        break;
    case Op::Wai:
        break;
    case Op::Mode:
        if (q) {
            replies.push_back(modeAnswer_.empty() ? std::string(1, state_.mode) : modeAnswer_);
        } else {
            std::string m = p.size() == 1 ? Upper(p[0]) : std::string();
            if (m == "I" || m == "IL") {
                state_.mode = 'I';
            } else if (m == "P" || m == "PP") {
                state_.mode = 'P';
            } else {
                PushErrorLocked(-224);
            }
        }
        break;
    case Op::Level:
        if (q) {
            replies.push_back(FormatTenths(state_.level));
        } else {
            double v = 0;
            if (p.size() != 1 || !ParseDouble(p[0], v)) {
                PushErrorLocked(-104);
            } else if (v < 0.0 || v > 100.0) {
                PushErrorLocked(-222);
            } else {
                state_.level = static_cast<int>(std::lround(v * 10.0));
            }
        }
        break;
    case Op::Il:
        if (q) {
            replies.push_back(std::to_string(state_.loss) + "," + std::to_string(state_.frequency));
        } else {
            int loss = 0;
            int frequency = 0;
            int minLoss = 0;
            int maxLoss = 0;
            if (p.size() != 2 || !ParseInt(p[0], loss) || !ParseInt(p[1], frequency)) {
                PushErrorLocked(p.size() == 2 ? -104 : -115);
            } else if (!RangeForLocked(frequency, minLoss, maxLoss) || loss < minLoss || loss > maxLoss) {
                PushErrorLocked(-222);
            } else {
                state_.loss = loss;
                state_.frequency = frequency;
            }
        }
        break;
    case Op::Range: {
        rangeQuery = true;
        int frequency = state_.frequency;
        int minLoss = 0;
        int maxLoss = 0;
        if (p.size() > 1 || (p.size() == 1 && !ParseInt(p[0], frequency))) {
            PushErrorLocked(-104);
        } else if (rangeShape_ == RangeShape::Refused || !RangeForLocked(frequency, minLoss, maxLoss)) {
            PushErrorLocked(-222);
        } else {
            rangeReplyIndex = replies.size();
            replies.push_back(std::to_string(minLoss) + "," + std::to_string(maxLoss));
        }
        break;
    }
    case Op::Error:
        if (queue_.empty()) {
            replies.push_back(noErrorText_);
        } else {
            replies.push_back(queue_.front());
            queue_.pop_front();
        }
        break;
    case Op::KeyLock:
        switchSetting(state_.keyLock);
        break;
    case Op::Remote:
        state_.remote = true;
        break;
    case Op::Local:
        state_.remote = false;
        wentLocal = true;
        break;
    case Op::Beep:
        switchSetting(state_.beep);
        break;
    case Op::Address:
        if (q) {
            replies.push_back(state_.address);
        } else if (p.size() == 1 && Upper(p[0]) == "AUTO") {
            state_.autoAddress = true;
        } else if (p.size() == 1 && IsDottedAddress(p[0])) {
            state_.address = p[0];
            state_.autoAddress = false;
        } else {
            PushErrorLocked(-224);
        }
        break;
    case Op::AddressAuto:
        switchSetting(state_.autoAddress);
        break;
    case Op::Brightness:
        numberSetting(state_.brightness, 0, 100);
        break;
    case Op::AutoOff:
        numberSetting(state_.autoOff, 0, 120);
        break;
    case Op::MemoryInit:
        ResetSettings();
        break;
    case Op::DebugSerial:
        if (q) {
            replies.push_back(state_.serial);
        } else {
            state_.serial = Unquote(p[0]);
        }
        break;
    case Op::DebugLevel:
        numberSetting(state_.debugLevel, 0, 255);
        break;
    }
    // A command error (one the parser finds) discards the rest of the line.
    return commandError_ ? Outcome::AbortLine : Outcome::Done;
}

} // namespace qmrsim
