#include "app/instrument/Kmsgscpi.h"

#include "app/core/Formmesg.h"
#include "app/instrument/Scpinum.h"

#include <QString>

namespace {

std::mutex gInstanceMutex;
KMessageScpiError* gInstance = nullptr;

} // namespace

KMessageScpiError* KMessageScpiError::GetInstance()
{
    std::lock_guard<std::mutex> lock(gInstanceMutex);
    if (gInstance == nullptr) {
        gInstance = new KMessageScpiError();
    }
    return gInstance;
}

void KMessageScpiError::DeleteInstance()
{
    KMessageScpiError* instance = nullptr;
    {
        std::lock_guard<std::mutex> lock(gInstanceMutex);
        instance = gInstance;
        gInstance = nullptr;
    }
    delete instance;
}

int KMessageScpiError::ParseCode(const char* reply)
{
    return scpinum::ParseLeadingInt(reply);
}

bool KMessageScpiError::IsFatal(int code)
{
    return code == -365 || code == -315 || code == -240;
}

bool KMessageScpiError::IsError(int code)
{
    return code < 0 && code != -500 && code != -800 && !IsFatal(code);
}

bool KMessageScpiError::Add(const char* reply)
{
    if (reply == nullptr) {
        return false;
    }
    const int code = ParseCode(reply);
    std::lock_guard<std::mutex> lock(mutex_);
    if (IsFatal(code)) {
        fatalTexts_ += reply;
        fatalTexts_ += "  ";
        return true;
    }
    if (IsError(code)) {
        errorTexts_ += reply;
        errorTexts_ += "  ";
        ++errorCount_;
        return true;
    }
    return false;
}

bool KMessageScpiError::HasFatal() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !fatalTexts_.empty();
}

int KMessageScpiError::GetErrorCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return errorCount_;
}

int KMessageScpiError::ShowWarnings()
{
    int count = 0;
    std::string texts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        count = errorCount_;
        texts.swap(errorTexts_);
        errorCount_ = 0;
    }
    if (count == 1) {
        ShowWarningMsg(QStringLiteral("Warning: An error was found. "), QString::fromLatin1(texts.c_str()), 0);
    } else if (count > 1) {
        ShowWarningMsg(QStringLiteral("Warning: Several errors were found. "), QString::fromLatin1(texts.c_str()), 0);
    }
    return count;
}

void KMessageScpiError::DropWarnings()
{
    std::lock_guard<std::mutex> lock(mutex_);
    errorTexts_.clear();
    errorCount_ = 0;
}

bool KMessageScpiError::ShowFatal()
{
    std::string texts;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        texts.swap(fatalTexts_);
    }
    if (texts.empty()) {
        return false;
    }
    ShowErrorMsg(QStringLiteral("A fatal error was found!  Please restart QMR3400."),
                 QString::fromLatin1(texts.c_str()), 0);
    return true;
}
