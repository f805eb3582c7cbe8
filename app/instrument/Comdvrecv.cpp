// The device's side of a reply: what it takes from the reply for itself, and how it hands the
// reply on to the command module that asked for it.
#include "app/instrument/Comdvqmr.h"

#include "app/core/Kmodule.h"
#include "app/instrument/Scpinum.h"

#include <cstring>
#include <mutex>

namespace {

void CopyBounded(char* field, std::size_t size, const char* text, std::size_t length)
{
    const std::size_t n = length < size - 1 ? length : size - 1;
    std::memcpy(field, text, n);
    field[n] = '\0';
}

} // namespace

void KComDeviceQmr::ParseIdn(const char* text)
{
    // "maker,model,serial,version": the serial number is the third field.
    const char* first = std::strchr(text, ',');
    const char* second = first != nullptr ? std::strchr(first + 1, ',') : nullptr;
    const char* third = second != nullptr ? std::strchr(second + 1, ',') : nullptr;
    std::lock_guard<std::mutex> lock(textMutex_);
    if (third == nullptr) {
        std::strcpy(serial_, "-");
        return;
    }
    CopyBounded(serial_, sizeof serial_, second + 1, static_cast<std::size_t>(third - second - 1));
}

void KComDeviceQmr::ParseReply(int state, const char* text)
{
    switch (state) {
    case csIDNQ:
        ParseIdn(text);
        break;
    case csPPQ:
        level_.store(scpinum::SaturateInt16(scpinum::ParseLeadingDecimal(text) * 10.0 + 0.5));
        break;
    case csILQ: {
        loss_.store(scpinum::SaturateInt16(static_cast<long long>(ParseInt(text))));
        if (const char* comma = std::strchr(text, ',')) {
            frequency_.store(scpinum::SaturateInt16(static_cast<long long>(ParseInt(comma + 1))));
        }
        break;
    }
    case csERRQ: {
        std::lock_guard<std::mutex> lock(textMutex_);
        CopyBounded(lastError_, sizeof lastError_, text, std::strlen(text));
        break;
    }
    case csKLOCQ:
        if (std::strcmp(text, "ON") == 0) {
            reportedKeyLock_.store(true);
        } else if (std::strcmp(text, "OFF") == 0) {
            reportedKeyLock_.store(false);
        }
        break;
    default:
        break;
    }
}

void KComDeviceQmr::OnReceive(char* text, int* count)
{
    // Every reply ends the wait of a listened query: one reply answers one query.
    listenedAwaited_.store(false);
    if (TakeSetAsideReply()) {
        // The answer to a window that has gone: it belongs to no command and to no listener.
        lastReplyClaimed_.store(true);
        return;
    }
    const int state = state_.load();
    lastReplyClaimed_.store(state != csIDLE);
    if ((state & kAnswered) != 0) {
        // The status poll's reply is in and its module has not yet chosen what follows: this
        // one answers nothing that was sent, and the poll stays pending.
        return;
    }
    if (state == csIDLE || CommandStateName(state)[0] == '\0') {
        // Nothing awaits this reply.
        ClearCommandState(state);
        return;
    }
    const char* reply = text != nullptr ? text : "";
    ParseReply(state, reply);

    // Flags and state are settled before the module sees the reply: the module may send its
    // next command at once, whose state must not be wiped afterwards. The status-byte poll's
    // state stays pending, answered; its module clears it or sends the poll's next command.
    if (state == csKLOCQ || state == csREM) {
        remote_.store(true);
    } else if (state == csLOCL) {
        remote_.store(false);
    }
    int expected = state;
    state_.compare_exchange_strong(expected, state == csREADSTB ? state | kAnswered : csIDLE);

    if (KModule* module = GetModule()) {
        module->OnReceive(state, count != nullptr ? *count : 0, reply);
    }
}
