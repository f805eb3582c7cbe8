#include "app/instrument/Kchkerr.h"

#include "app/instrument/Comdvqmr.h"

KCheckQmrError::KCheckQmrError(int intervalSeconds) : countdown_(intervalSeconds * 1000), interval_(intervalSeconds)
{
}

KCheckQmrError::~KCheckQmrError() = default;

bool KCheckQmrError::CanPoll()
{
    if (module_ == nullptr || device_ == nullptr) {
        return false;
    }
    return !module_->IsBusy() && !device_->IsBusy();
}

void KCheckQmrError::RaiseCountdown()
{
    if (countdown_ < 1200) {
        countdown_ = 1200;
    }
}

bool KCheckQmrError::Tick(int elapsed)
{
    return TickWith(elapsed, Poll::ErrorQueue);
}

bool KCheckQmrError::TickWith(int elapsed, Poll poll)
{
    countdown_ -= elapsed;
    if (countdown_ > 0) {
        return false;
    }
    if (CanPoll()) {
        if (poll == Poll::StatusByte) {
            module_->ReadStatusByte();
        } else {
            device_->ReadError();
        }
        countdown_ = interval_ * 1000;
    } else {
        countdown_ = 2 * elapsed;
    }
    return true;
}

KCheckQmrErrorStb::~KCheckQmrErrorStb() = default;

bool KCheckQmrErrorStb::Tick(int elapsed)
{
    return TickWith(elapsed, Poll::StatusByte);
}
