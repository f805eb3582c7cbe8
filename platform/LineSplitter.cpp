#include "LineSplitter.h"

namespace qmr::platform {

bool LineSplitter::Take(const std::string& terminator, std::string& line)
{
    if (pending_.empty()) {
        return false;
    }
    if (terminator.empty()) {
        line.swap(pending_);
        pending_.clear();
        return true;
    }
    std::size_t at = pending_.find(terminator);
    if (at == std::string::npos) {
        return false;
    }
    line.assign(pending_, 0, at);
    pending_.erase(0, at + terminator.size());
    if (terminator == "\n" && !line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

bool LineSplitter::Feed(const char* bytes, std::size_t count, const std::string& terminator, std::string& line)
{
    pending_.append(bytes, count);
    if (Take(terminator, line)) {
        return true;
    }
    if (pending_.size() > maxPending_) {
        pending_.clear();
    }
    return false;
}

} // namespace qmr::platform
