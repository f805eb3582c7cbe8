#include "Simfaults.h"

#include <algorithm>

namespace qmrsim {

namespace {

// Uses a fault up by one; gives false when it was already used up.
bool UseOnce(Fault& fault)
{
    if (fault.times == 0) {
        return false;
    }
    if (fault.times > 0) {
        --fault.times;
    }
    return true;
}

void DropUsedUp(std::vector<Fault>& faults)
{
    faults.erase(std::remove_if(faults.begin(), faults.end(), [](const Fault& f) { return f.times == 0; }),
                 faults.end());
}

Fault* FirstOf(std::vector<Fault>& faults, Fault::Kind kind, const std::string& line, bool hasReply)
{
    for (Fault& fault : faults) {
        if (fault.kind == kind && fault.times != 0 && FaultMatches(fault, line, hasReply)) {
            return &fault;
        }
    }
    return nullptr;
}

} // namespace

bool FaultMatches(const Fault& fault, const std::string& line, bool hasReply)
{
    if (fault.match.empty() || fault.match == "*") {
        return hasReply || fault.kind == Fault::Kind::Error;
    }
    if (fault.match.back() == '*') {
        size_t length = fault.match.size() - 1;
        return line.compare(0, length, fault.match, 0, length) == 0;
    }
    return line == fault.match;
}

std::vector<int> TakeErrorFaults(std::vector<Fault>& faults, const std::string& line)
{
    std::vector<int> codes;
    for (Fault& fault : faults) {
        if (fault.kind == Fault::Kind::Error && FaultMatches(fault, line, false) && UseOnce(fault)) {
            codes.push_back(fault.code);
        }
    }
    DropUsedUp(faults);
    return codes;
}

ReplyPlan PlanReply(std::vector<Fault>& faults, const std::string& line, std::optional<std::string> reply,
                    const std::string& terminator)
{
    ReplyPlan plan;
    // An override needs a match of its own: it may answer a line that has no reply.
    for (Fault& fault : faults) {
        if (fault.kind == Fault::Kind::Override && fault.times != 0 && !fault.match.empty() && fault.match != "*" &&
            FaultMatches(fault, line, reply.has_value())) {
            UseOnce(fault);
            reply = fault.text;
            break;
        }
    }
    const bool hasReply = reply.has_value();
    auto take = [&](Fault::Kind kind) -> Fault* {
        Fault* fault = FirstOf(faults, kind, line, hasReply);
        if (fault != nullptr) {
            UseOnce(*fault);
        }
        return fault;
    };
    if (take(Fault::Kind::Fin) != nullptr) {
        plan.close = ReplyPlan::Close::Fin;
    } else if (take(Fault::Kind::Reset) != nullptr) {
        plan.close = ReplyPlan::Close::Reset;
    } else if (take(Fault::Kind::HangUp) != nullptr) {
        plan.close = ReplyPlan::Close::HangUp;
    }
    if (plan.close != ReplyPlan::Close::None || !hasReply || take(Fault::Kind::Drop) != nullptr) {
        DropUsedUp(faults);
        return plan;
    }
    std::string text = *reply;
    if (Fault* f = take(Fault::Kind::Overlong); f != nullptr && f->size > text.size()) {
        text.append(f->size - text.size(), 'X');
    }
    plan.bytes = text + terminator;
    if (Fault* f = take(Fault::Kind::Glue)) {
        plan.bytes += f->text + terminator;
    }
    if (Fault* f = take(Fault::Kind::Split)) {
        size_t at = f->size == 0 ? plan.bytes.size() / 2 : f->size;
        if (at > 0 && at < plan.bytes.size()) {
            plan.splitAt = at;
            plan.splitGap = f->time;
        }
    }
    if (Fault* f = take(Fault::Kind::Delay)) {
        plan.delay = f->time;
    }
    plan.held = take(Fault::Kind::Hold) != nullptr;
    DropUsedUp(faults);
    return plan;
}

} // namespace qmrsim
