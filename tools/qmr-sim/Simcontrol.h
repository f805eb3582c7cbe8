#pragma once
// The simulator's control language: one command per line ("error -113", "drop-next",
// "override *IDN? text", "local-key", "fin", ...), read by the command-line program from its
// standard input or a FIFO, and given as options ("--error -113") at its start.

#include <string>
#include <vector>

namespace qmrsim {

class Simulator;

class ControlInterpreter {
public:
    explicit ControlInterpreter(Simulator& sim) : sim_(sim) {}

    // Runs one control line; gives "ok", "ok <details>" or "error: <why>". `quit` is set by
    // "quit". Empty lines and lines starting with '#' give the empty text.
    std::string Run(const std::string& line, bool& quit);

    // Whether `name` is a control command, and whether it needs arguments (the command-line
    // program's "--name VALUE" form) or may go without ("--name").
    static bool IsCommand(const std::string& name);
    static bool NeedsArguments(const std::string& name);

    // The commands with their arguments, one a line, for --help and "help".
    static std::string Help();

private:
    Simulator& sim_;
};

// Splits a control line into words; a word in double quotes keeps its blanks.
std::vector<std::string> SplitControlWords(const std::string& line);

} // namespace qmrsim
