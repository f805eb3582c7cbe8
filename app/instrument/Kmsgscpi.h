#pragma once
// Collects the instrument's error replies while a command sequence runs, sorts them by their
// leading error code into fatal and ordinary errors, and later shows them in one message
// window: a warning for ordinary errors, an error window for fatal ones. One instance for the
// process.
//
// Add and HasFatal run on the communication thread, the Show operations on the GUI thread.
// One lock covers the count and both texts; the Show operations take the texts and clear
// them under it, then show the window without it.

#include <mutex>
#include <string>

class KMessageScpiError {
public:
    // The process-wide instance, made empty on first use.
    static KMessageScpiError* GetInstance();
    // Deletes the instance, when there is one.
    static void DeleteInstance();

    KMessageScpiError() = default;
    ~KMessageScpiError() = default;
    KMessageScpiError(const KMessageScpiError&) = delete;
    KMessageScpiError& operator=(const KMessageScpiError&) = delete;

    // Collects a fatal or ordinary error reply (each followed by two blanks); true when it
    // was collected, false when its code is ignored.
    bool Add(const char* reply);
    bool HasFatal() const;
    // Shows the collected ordinary errors (when there are any), clears them and returns how
    // many there were.
    int ShowWarnings();
    // Shows the collected fatal errors (when there are any) and clears them; true when shown.
    bool ShowFatal();
    // Forgets the collected ordinary errors without showing them.
    void DropWarnings();

    // Number of ordinary errors collected and not yet shown.
    int GetErrorCount() const;

    // The reply's leading integer; 0 when it does not begin with a number.
    static int ParseCode(const char* reply);
    static bool IsFatal(int code);
    static bool IsError(int code);

private:
    mutable std::mutex mutex_;
    int errorCount_ = 0;
    std::string errorTexts_;
    std::string fatalTexts_;
};
