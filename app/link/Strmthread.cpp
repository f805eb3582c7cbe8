#include "Strmthread.h"

#include "Com232.h"
#include "Kstream.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>

namespace {

std::mutex gLostMutex;
std::function<void()> gLostHandler;

void RequestLocalState()
{
    std::function<void()> handler;
    {
        std::lock_guard<std::mutex> lock(gLostMutex);
        handler = gLostHandler;
    }
    if (handler) {
        handler();
    }
}

} // namespace

void SetLinkLostHandler(std::function<void()> handler)
{
    std::lock_guard<std::mutex> lock(gLostMutex);
    gLostHandler = std::move(handler);
}

TThreadStream::TThreadStream(KStreamCom* owner) : owner_(owner)
{
    Start();
}

TThreadStream::~TThreadStream()
{
    SetStop();
    StopAndWait();
}

void TThreadStream::SetStop()
{
    Terminate();
    flagsChanged_.Set();
}

void TThreadStream::StartRecv()
{
    start_.store(true);
    flagsChanged_.Set();
}

bool TThreadStream::WaitRunning(int timeoutMs)
{
    if (state_.load() > 0) {
        return true;
    }
    running_.Wait(std::chrono::milliseconds(timeoutMs));
    return state_.load() > 0;
}

void TThreadStream::Execute()
{
    state_.store(1);
    running_.Set();

    // Before the start the flags are looked at every 100 ms at the latest; a change of
    // either wakes the wait at once.
    while (!Terminated()) {
        flagsChanged_.Wait(std::chrono::milliseconds(100));
        if (start_.load()) {
            break;
        }
    }

    bool lost = false;
    while (!Terminated()) {
        try {
            std::string line;
            try {
                line = owner_->ReadLine();
            } catch (...) {
                // A failed read leaves a link that can no longer receive: end, and have the
                // window go local as for a lost link (no notice: nothing reported the loss).
                lost = true;
                Terminate();
                break;
            }
            if (line.empty()) {
                continue;
            }
            if (line == kLinkDisconnected) {
                lost = true;
                Terminate();
                break;
            }
            if (LineCallback callback = callback_.load()) {
                int length = static_cast<int>(line.size());
                callback(line.data(), &length);
            }
        } catch (...) {
            // Whatever a callback raised: the reader goes on.
        }
    }

    state_.store(2);
    if (lost) {
        linkLost_.store(true);
        RequestLocalState();
    }
}
