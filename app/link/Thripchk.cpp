#include "app/link/Thripchk.h"

#include "app/core/Formmesg.h"
#include "common/Kfile2.h"
#include "common/Kprocess.h"
#include "common/Vclfunc.h"
#include "platform/Folder.h"

#include <QByteArray>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <thread>

namespace {

constexpr const char* kScriptFile = "chkip.bat";
constexpr const char* kResultFile = "chkip.res";
constexpr const char* kAnsweredText = "ms TTL=";
constexpr int kLineLength = 160;

constexpr int kPollMs = 100;
constexpr int kBudgetMs = 10000;
// After the stop request the script gets this long to go before it is killed: a script that
// ignores the request must neither hold the GUI thread nor write a result file later.
constexpr int kEndGraceMs = 200;
// How soon the check thread sees the stop request while the script runs.
constexpr int kStopPollMs = 20;

const QString kTextFound = QStringLiteral("Found this IP device successfully.");
const QString kTextNotFound = QStringLiteral("Could not find this IP device.");
const QString kTextFailed = QStringLiteral("IP device search processing failed.");

// The working folder's script first, so that an operator's own one rules; then the one shipped
// beside the program, so that a program started from any folder finds it. Either runs in the
// working folder and leaves its result file there.
std::string FindScript()
{
    std::error_code error;
    if (std::filesystem::exists(kScriptFile, error)) {
        return kScriptFile;
    }
    const std::string folder = qmr::platform::ProgramFolder();
    if (!folder.empty()) {
        std::string shipped = folder + "/" + kScriptFile;
        if (std::filesystem::exists(shipped, error)) {
            return shipped;
        }
    }
    return kScriptFile;
}

} // namespace

bool IsDottedIpv4(const char* text, char* canonical)
{
    if (text == nullptr) {
        return false;
    }
    int values[4] = {};
    const char* p = text;
    for (int part = 0; part < 4; ++part) {
        int digits = 0;
        int value = 0;
        while (*p >= '0' && *p <= '9' && digits < 4) {
            value = value * 10 + (*p - '0');
            ++digits;
            ++p;
        }
        if (digits == 0 || digits > 3 || value > 255) {
            return false;
        }
        values[part] = value;
        if (part < 3) {
            if (*p != '.') {
                return false;
            }
            ++p;
        }
    }
    if (*p != '\0') {
        return false;
    }
    if (canonical != nullptr) {
        std::snprintf(canonical, KThreadIpCheck::kAddressLength + 1, "%d.%d.%d.%d", values[0], values[1], values[2],
                      values[3]);
    }
    return true;
}

bool FileContainsText(const char* fileName, const char* text)
{
    KTxtFile* file = OpenTxtFile(fileName, 0);
    if (file == nullptr) {
        return false;
    }
    bool found = false;
    char line[kLineLength + 1];
    while (true) {
        const int length = file->ReadLine(line, kLineLength);
        if (length < 0) {
            break;
        }
        if (length > 0 && std::strstr(line, text) != nullptr) {
            found = true;
            break;
        }
    }
    delete file;
    return found;
}

KThreadIpCheck::KThreadIpCheck(const char* address)
{
    StrCopyN(address_, address, kAddressLength);
    Start();
}

KThreadIpCheck::~KThreadIpCheck()
{
    StopAndWait();
}

void KThreadIpCheck::Execute()
{
    result_.store(Check());
}

int KThreadIpCheck::Check()
{
    // A result file from an earlier run must not decide this one.
    std::remove(kResultFile);

    // Only a plain address reaches the script, as its one argument.
    char canonical[kAddressLength + 1];
    if (!IsDottedIpv4(address_, canonical)) {
        return kIpCheckFailed;
    }

    // Started without waiting, so that a stop request can end a script that hangs: the
    // caller gives up after its budget and must not wait for the script beyond it. The
    // script is a file by its path (a folder name may hold blanks), so the desktop start
    // takes it directly.
    KProcess process;
    process.SetShowCommand(KProcess::kShowHidden);
    if (!process.ExecShell(FindScript().c_str(), canonical) || !process.HasProcess()) {
        return kIpCheckFailed;
    }
    while (!process.WaitEndFor(kStopPollMs)) {
        if (Terminated()) {
            process.End(kEndGraceMs);
            return kIpCheckPending;
        }
    }
    return FileContainsText(kResultFile, kAnsweredText) ? kIpCheckFound : kIpCheckNotFound;
}

int CheckIpDevice(const QString& address, bool showResult)
{
    const QByteArray text = address.left(KThreadIpCheck::kAddressLength).toLatin1();
    int result = kIpCheckFailed;
    KThreadIpCheck* thread = nullptr;
    try {
        thread = new (std::nothrow) KThreadIpCheck(text.constData());
    } catch (...) {
        thread = nullptr;
    }
    if (thread != nullptr) {
        // The budget is counted off in 100 ms sleeps and also ends at its time on the clock, so
        // that sleeps stretched by a loaded machine never lengthen the wait.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBudgetMs);
        for (int budget = kBudgetMs; thread->GetResult() == kIpCheckPending && budget > 0; budget -= kPollMs) {
            const auto left = deadline - std::chrono::steady_clock::now();
            if (left <= std::chrono::steady_clock::duration::zero()) {
                break;
            }
            std::this_thread::sleep_for(
                std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(kPollMs)));
        }
        result = thread->GetResult();
        // Ends a script still running; the result taken above stands.
        delete thread;
    }
    if (showResult) {
        switch (result) {
        case kIpCheckFound:
            ShowConfirmMsg(kTextFound, address);
            break;
        case kIpCheckNotFound:
            ShowErrorMsg(kTextNotFound, address);
            break;
        case kIpCheckFailed:
            ShowWarningMsg(kTextFailed, address);
            break;
        default:
            break;
        }
    }
    return result;
}
