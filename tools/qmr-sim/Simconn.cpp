#include "Simconn.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace qmrsim {

void Connection::Attach(int fd)
{
    Detach();
    fd_ = fd;
    lastDone_ = Clock::now();
}

void Connection::Detach()
{
    fd_ = -1;
    input_.clear();
    lastWasCr_ = false;
    out_.clear();
    headScheduled_ = false;
    wantWrite_ = false;
}

bool Connection::ReadInput(const std::function<void(const std::string&)>& onLine)
{
    char buffer[4096];
    ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        return false;
    }
    for (ssize_t i = 0; i < n; ++i) {
        char ch = buffer[i];
        if (ch == '\n' && lastWasCr_) {
            lastWasCr_ = false; // the second half of a CR LF
            continue;
        }
        lastWasCr_ = ch == '\r';
        if (ch == '\n' || ch == '\r') {
            std::string line;
            line.swap(input_);
            if (!line.empty()) {
                onLine(line);
            }
            if (fd_ < 0) {
                return true; // the line closed this face
            }
        } else if (input_.size() < kMaxInputLine) {
            input_.push_back(ch);
        } else {
            input_.clear();
        }
    }
    return true;
}

void Connection::Enqueue(const ReplyPlan& plan, Clock::time_point now, Clock::duration delay)
{
    Chunk first;
    first.notBefore = plan.held ? Clock::time_point::max() : now + delay + plan.delay;
    if (plan.close != ReplyPlan::Close::None) {
        first.action = plan.close == ReplyPlan::Close::Fin     ? Action::Fin
                       : plan.close == ReplyPlan::Close::Reset ? Action::Reset
                                                               : Action::HangUp;
        out_.push_back(first);
        return;
    }
    if (plan.bytes.empty()) {
        return;
    }
    if (plan.splitAt == 0) {
        first.bytes = plan.bytes;
        out_.push_back(first);
        return;
    }
    first.bytes = plan.bytes.substr(0, plan.splitAt);
    Chunk second;
    second.bytes = plan.bytes.substr(plan.splitAt);
    second.notBefore = first.notBefore;
    second.afterPrevious = plan.splitGap;
    out_.push_back(first);
    out_.push_back(second);
}

void Connection::Release()
{
    const Clock::time_point now = Clock::now();
    for (Chunk& chunk : out_) {
        if (chunk.notBefore == Clock::time_point::max()) {
            chunk.notBefore = now;
        }
    }
    headScheduled_ = false;
}

Connection::Clock::time_point Connection::Pump(std::chrono::microseconds perByte,
                                               const std::function<void(Action)>& onClose)
{
    wantWrite_ = false;
    while (fd_ >= 0 && !out_.empty()) {
        Chunk& head = out_.front();
        Clock::time_point now = Clock::now();
        if (!headScheduled_) {
            headDue_ = std::max(head.notBefore, lastDone_ + head.afterPrevious);
            headScheduled_ = true;
        }
        if (now < headDue_) {
            return headDue_;
        }
        if (head.action != Action::Write) {
            Action action = head.action;
            out_.pop_front();
            headScheduled_ = false;
            onClose(action);
            continue;
        }
        size_t want = perByte.count() > 0 ? 1 : head.bytes.size() - head.written;
        ssize_t n = ::send(fd_, head.bytes.data() + head.written, want, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) {
            n = ::write(fd_, head.bytes.data() + head.written, want);
        }
        if (n < 0) {
            if (errno == EAGAIN || errno == EINTR) {
                wantWrite_ = true;
                return Clock::time_point::max();
            }
            out_.clear(); // nobody takes the bytes: the replies are lost
            return Clock::time_point::max();
        }
        if (head.written == 0) {
            head.firstWrite = now;
        }
        head.written += static_cast<size_t>(n);
        if (head.written < head.bytes.size()) {
            if (perByte.count() == 0) {
                wantWrite_ = true;
                return Clock::time_point::max();
            }
            // Byte k leaves k byte times after the first one, as on the serial line.
            headDue_ = head.firstWrite + perByte * static_cast<int64_t>(head.written);
            continue;
        }
        lastDone_ = Clock::now();
        out_.pop_front();
        headScheduled_ = false;
    }
    return Clock::time_point::max();
}

} // namespace qmrsim
