#pragma once
// Faults of the reply path and how they shape what goes out for one received line.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qmrsim {

// A fault in the reply path. `match` chooses the lines it acts on: empty (or "*") acts on the
// next lines that have a reply; a text ending in '*' on the lines that begin with the rest;
// any other text on the lines equal to it. `times` counts the lines it still acts on (-1: no
// end).
struct Fault {
    enum class Kind {
        Error,    // queue `code` before the line runs (empty match: any line)
        Override, // reply `text` instead; needs a match, and answers a matching line that has no reply
        Drop,     // send no reply
        Delay,    // send the reply `time` late
        Hold,     // send the reply only once the simulator is told to release what it holds
        Split,    // send the first `size` bytes (0: half), then the rest `time` later
        Glue,     // send the line `text` right behind the reply, in the same write
        Overlong, // pad the reply with 'X' to `size` bytes before its terminator
        Fin,      // close the connection (FIN) instead of replying
        Reset,    // reset the connection (RST) instead of replying
        HangUp,   // hang the pseudo-terminal up instead of replying
    };
    Kind kind = Kind::Drop;
    std::string match;
    std::string text;
    int code = 0;
    std::chrono::milliseconds time{0};
    size_t size = 0;
    int times = 1;

    // Builders: Fault::Of(Fault::Kind::Drop).On("*IDN?").Times(2).
    static Fault Of(Kind kind)
    {
        Fault fault;
        fault.kind = kind;
        return fault;
    }
    Fault& On(std::string m)
    {
        match = std::move(m);
        return *this;
    }
    Fault& Text(std::string t)
    {
        text = std::move(t);
        return *this;
    }
    Fault& Code(int c)
    {
        code = c;
        return *this;
    }
    Fault& Time(std::chrono::milliseconds t)
    {
        time = t;
        return *this;
    }
    Fault& Size(size_t s)
    {
        size = s;
        return *this;
    }
    Fault& Times(int n)
    {
        times = n;
        return *this;
    }
};

// What goes out for one line once the faults have acted.
struct ReplyPlan {
    enum class Close { None, Fin, Reset, HangUp };
    std::string bytes;  // the reply with its terminator (and a glued line); empty: nothing
    size_t splitAt = 0; // >0: the first part's length, the rest follows after `splitGap`
    std::chrono::milliseconds splitGap{0};
    std::chrono::milliseconds delay{0};
    bool held = false;         // goes out only once released
    Close close = Close::None; // instead of the reply
};

// True when `fault` acts on `line` (whose reply exists or not).
bool FaultMatches(const Fault& fault, const std::string& line, bool hasReply);

// The codes that error faults queue before `line` runs; those faults are used up by one.
std::vector<int> TakeErrorFaults(std::vector<Fault>& faults, const std::string& line);

// Applies the reply faults that act on `line` to its reply (each kind once, the first that
// matches) and uses them up by one.
ReplyPlan PlanReply(std::vector<Fault>& faults, const std::string& line, std::optional<std::string> reply,
                    const std::string& terminator);

} // namespace qmrsim
