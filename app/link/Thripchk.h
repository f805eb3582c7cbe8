#pragma once
// Whether a network address answers: "chkip.bat" (the working folder's, else the one beside the
// program) runs hidden in the working folder with the address as its one argument, in a
// short-lived thread, and leaves "chkip.res" behind with a line holding "ms TTL=" when the
// address answered. The GUI thread waits for the outcome for at most 10 s.

#include "platform/Thread.h"

#include <QString>

#include <atomic>
#include <cstdint>

// Outcomes of the check (KThreadIpCheck::GetResult and CheckIpDevice).
enum : int {
    kIpCheckPending = 0,  // no result (yet, or within the time allowed)
    kIpCheckFound = 1,    // a line of the result file holds "ms TTL="
    kIpCheckNotFound = 2, // the script ran; no such line, or no result file
    kIpCheckFailed = 3,   // not a dotted IPv4 address, or the script could not run
};

class KThreadIpCheck : public qmr::platform::Thread {
public:
    static constexpr int kAddressLength = 15;

    // Copies at most 15 characters of the address and starts at once.
    explicit KThreadIpCheck(const char* address);
    // Asks the thread to end, ending the script's process when it still runs, and waits.
    ~KThreadIpCheck() override;

    // Written once, when the check has ended.
    int GetResult() const { return result_.load(); }
    const char* GetAddress() const { return address_; }

    // Deletes a result file left from before, runs the script and reads its result file.
    int Check();

protected:
    void Execute() override;

private:
    char address_[kAddressLength + 1] = {};
    std::atomic<int32_t> result_{kIpCheckPending};
};

// True when `text` is four decimal parts of 1 to 3 digits, each 0..255, joined by three ".",
// and nothing else. `canonical` (16 bytes, may be none) receives the parts without leading
// zeros, the form every ping reads alike (a leading zero may mean octal to it).
bool IsDottedIpv4(const char* text, char* canonical = nullptr);

// Reads the text file line by line (at most 160 characters a read): true when a read of at
// least one character contains `text`; false at the end, on a read error or when the file
// cannot be opened.
bool FileContainsText(const char* fileName, const char* text);

// Checks the first 15 characters of `address` (GUI thread; blocks up to 10 s without
// processing messages). With showResult, results 1, 2 and 3 are shown in the confirm, error
// or warning window with `address` as lower text. Returns the result.
int CheckIpDevice(const QString& address, bool showResult);
