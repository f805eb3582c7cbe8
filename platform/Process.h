#pragma once
// Starting other programs, scripts, documents and web addresses, and waiting for them.
//
// Programs and scripts are started directly with an argument vector, never through a command
// line, so no text given as a parameter is ever interpreted by a shell. Documents, folders
// and web addresses go to the desktop's opener (xdg-open), detached.

#include <mutex>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

namespace qmr::platform {

// Splits a parameter text into arguments: blanks and tabs separate them; a part in double
// quotes keeps its blanks (the quotes are removed, "" gives an empty argument); \" is a
// literal quote. Nothing else is special: no variables, wildcards, redirections or command
// separators; "; touch x" gives the three plain arguments ";", "touch" and "x".
std::vector<std::string> SplitParameters(std::string_view text);

// A child process started by this program. The owning thread starts, waits and releases;
// Terminate may come from any thread.
class Process {
public:
    enum class WaitResult { Ended, TimedOut, Failed };

    Process() = default;
    // Releases the process without waiting for it.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts `program` (a path, or a bare name looked up on PATH) with `arguments` after its
    // own name. Hidden: standard input, output and error on /dev/null, and a process group of
    // its own (so that Terminate reaches what it starts). True when the program runs (its
    // executable was loaded). A process held before is released first.
    bool Start(const std::string& program, const std::vector<std::string>& arguments, bool hidden);

    // True from a successful start until Release, also once the process has ended.
    bool Held() const { return pid_ > 0; }
    bool HasEnded() const { return ended_; }
    // The exit value of a process that ended normally; -1 while it runs or when a signal
    // ended it.
    int ExitCode() const { return exitCode_; }

    // Waits at most `milliseconds` for the process to end (at once when it has). Failed when
    // no process is held or the wait itself failed.
    WaitResult WaitSlice(int milliseconds);

    // Asks the process to end (SIGTERM; the whole group of a hidden start).
    void Terminate();

    // Ends the process for good (owning thread): asks it to end, gives it `graceMs` to go,
    // then kills it (SIGKILL; the whole group of a hidden start, so nothing it started can
    // run on) and reaps it. Waits at most `graceMs` plus the kill's own short wait.
    void End(int graceMs);

    // Gives up the process without waiting: a process that has ended is reaped now, one that
    // still runs is reaped in the background when it ends, so no zombie is left behind.
    void Release();

private:
    bool Reap(bool block);   // under mutex_
    void Signal(int signal); // under mutex_
    // Waits up to `milliseconds` for the process to end without reaping it, so that its
    // number (and its group's) still names it afterwards.
    bool EndedUnreaped(int milliseconds) const;

    mutable std::mutex mutex_; // pid_ and ended_ against a Terminate from another thread
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool ownGroup_ = false;
    bool ended_ = false;
    int exitCode_ = -1;
};

// Hands a document, folder or web address to xdg-open, detached: the opener is no child of
// this process, so nothing waits for it and nothing is left to reap. True when the opener
// was started; false, quietly, when it is missing or could not start.
bool OpenDetached(const std::string& target);

// The desktop's "start this": `file` is
//  - a web address ("scheme://...", "mailto:...", "www...."): opened by OpenDetached;
//  - a ".bat" file: a POSIX shell script, run as /bin/sh file parameters...;
//  - an executable file: started directly with the parameters;
//  - any other existing file or folder: opened by OpenDetached (parameters unused);
//  - a bare name that names no file here: a program looked up on PATH.
// When `file` names nothing but its text up to the first blank does, that part is the file
// and the rest leads the parameters (so "x.bat -opt" runs x.bat with "-opt"). Parameters are
// split by SplitParameters. A direct start is held in `process`; a detached one leaves
// `process` without a process.
bool ShellStart(const std::string& file, const std::string& parameters, bool hidden, Process& process);

// Runs `command` through the command interpreter (std::system) and returns when it has
// finished: its exit value, or -1 when it could not run or a signal ended it.
int RunCommandInterpreter(const char* command);

} // namespace qmr::platform
