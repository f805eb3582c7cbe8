#include "common/Kfifo.h"

#include <cstring>
#include <new>

KFifo::~KFifo() = default;

KFifoFF::KFifoFF(int elementSize, int capacity) : KFifo(elementSize, capacity)
{
    // Without a buffer every put and get is refused, so the result needs no report here.
    Alloc();
}

KFifoFF::~KFifoFF()
{
    Free();
}

void KFifoFF::Clear()
{
    count_ = 0;
    readPosition_ = buffer_;
    writePosition_ = buffer_;
}

bool KFifoFF::Alloc()
{
    if (buffer_ == nullptr) {
        const long long bytes = static_cast<long long>(elementSize_) * capacity_;
        if (elementSize_ <= 0 || capacity_ <= 0 || bytes > kMaxBufferBytes) {
            Clear();
            return false;
        }
        buffer_ = new (std::nothrow) unsigned char[static_cast<size_t>(bytes)];
        if (buffer_ == nullptr) {
            Clear();
            return false;
        }
    }
    Clear();
    return true;
}

void KFifoFF::Free()
{
    delete[] buffer_;
    buffer_ = nullptr;
    Clear();
}

int KFifoFF::Put(const void* elements, int n)
{
    if (buffer_ == nullptr) {
        return -1;
    }
    if (n <= 0) {
        return 0;
    }
    if (elements == nullptr || n > GetFree()) {
        return -1;
    }
    const size_t bytes = static_cast<size_t>(n) * static_cast<size_t>(elementSize_);
    std::memcpy(writePosition_, elements, bytes);
    writePosition_ += bytes;
    count_ += n;
    return n;
}

int KFifoFF::Get(void* destination, int n)
{
    if (buffer_ == nullptr || count_ <= 0 || destination == nullptr || n < 0) {
        return -1;
    }
    const int k = n < count_ ? n : count_;
    const size_t size = static_cast<size_t>(elementSize_);
    const size_t taken = static_cast<size_t>(k) * size;
    auto* out = static_cast<unsigned char*>(destination);
    std::memcpy(out, readPosition_, taken);
    out[taken] = 0;
    const int rest = count_ - k;
    std::memmove(buffer_, buffer_ + taken, static_cast<size_t>(rest) * size);
    count_ = rest;
    readPosition_ = buffer_;
    writePosition_ = buffer_ + static_cast<size_t>(rest) * size;
    return k;
}
