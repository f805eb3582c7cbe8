#pragma once
// Starts another program, script, document or web address and can wait for it to end.
//
// A file text whose part before the first blank holds a "." ("chkip.bat", "manual.pdf", a
// web address) is started the way the desktop starts files: a ".bat" file is a shell script
// run by /bin/sh, an executable file is started directly, a document or an address is handed
// to the desktop's opener. Parameters reach a program as separate arguments (blanks
// separate them, double quotes group them; see qmr::platform::SplitParameters), never
// through a command line, so they are plain data. Anything else runs as a command line of
// the command interpreter. An object is used by one thread; Terminate may come from another.

#include "platform/Process.h"

#include <optional>
#include <string>
#include <vector>

class KProcess {
public:
    // Show commands: 0 hides the program (its standard streams on /dev/null), 5 shows it.
    static constexpr unsigned char kShowHidden = 0;
    static constexpr unsigned char kShowNormal = 5;
    // Room of the command interpreter's command text, zero byte included: file, one blank and
    // parameters may have at most kCommandBufferSize - 1 characters.
    static constexpr int kCommandBufferSize = 264;

    KProcess() = default;
    // Releases the process without waiting; one that still runs is reaped when it ends.
    ~KProcess() = default;
    KProcess(const KProcess&) = delete;
    KProcess& operator=(const KProcess&) = delete;

    // Starts file with parameters shown as showCommand says; when wait is 1, waits for the
    // end. True when the start succeeded (not how the program ended).
    bool Run(const char* file, const char* parameters, unsigned char showCommand, unsigned char wait);
    // Chooses the desktop start or the command interpreter by the file text.
    bool Exec(const char* file, const char* parameters);
    // The desktop start; parameters may be none. Nothing waits here. A web address or a
    // document holds no process afterwards (its opener runs detached).
    bool ExecShell(const char* file, const char* parameters = nullptr);
    // The desktop start of a program file whose parameters are a list: each reaches the
    // program as one argument, blanks and quotes included. Only an executable file is started
    // (a bare name is taken in the working folder, never looked up); a missing file, a folder
    // or a document starts nothing and is not handed to the opener. Nothing waits here.
    bool ExecShellProgram(const char* file, const std::vector<std::string>& arguments);
    // Runs "file parameters" through the command interpreter and returns when it finished:
    // true when its exit value was 0. A command text too long for the buffer is refused.
    bool ExecSystem(const char* file, const char* parameters);
    // Waits in 100 ms slices until the process has ended: true then; false at once when no
    // process is held, or when the wait failed.
    bool WaitEnd();

    // Waits at most `milliseconds`: true when the process has ended.
    bool WaitEndFor(int milliseconds);
    // Asks the started process (and all that a hidden start started) to end. Safe from
    // another thread while the owner waits.
    void Terminate();
    // Ends the started process and all that a hidden start started: asks it to end, kills
    // what is left after `graceMs`, and reaps it (owning thread).
    void End(int graceMs);
    // The exit value of a process that has ended normally (after WaitEnd), else -1.
    int GetExitCode() const { return process_.ExitCode(); }
    bool HasProcess() const { return process_.Held(); }
    unsigned char GetShowCommand() const { return showCommand_; }
    void SetShowCommand(unsigned char showCommand) { showCommand_ = showCommand; }

private:
    // The wait of both: in 100 ms slices until the process has ended, or (with a limit) until
    // the limit is used up, when it tells whether the process has ended after all.
    bool WaitInSlices(std::optional<int> limit);

    qmr::platform::Process process_;
    unsigned char showCommand_ = kShowNormal;
};

// Starts file with parameters, waits for it to end and cleans up: true when the start
// succeeded. The caller learns the outcome from what the program leaves behind.
bool RunProcessWait(const char* file, const char* parameters, unsigned char showCommand);
