#pragma once
// First-in first-out queue of fixed-size elements with a fixed capacity. KFifoFF keeps the
// waiting elements at the front of one buffer allocated once; a get moves the rest forward.
// The queue takes no lock: its user holds one around every put, count and get.

class KFifo {
public:
    KFifo(int elementSize, int capacity) : elementSize_(elementSize), capacity_(capacity) {}
    virtual ~KFifo();
    KFifo(const KFifo&) = delete;
    KFifo& operator=(const KFifo&) = delete;

    virtual void Clear() = 0;
    // Stores n elements, all or nothing: n, 0 for n <= 0, -1 when they do not fit or there
    // is no buffer.
    virtual int Put(const void* elements, int n) = 0;
    // Takes at most n elements into destination (which holds n x element size + 1 bytes) and
    // writes a zero byte behind them: the number taken, or -1 when the queue is empty or has
    // no buffer.
    virtual int Get(void* destination, int n) = 0;
    virtual int GetCount() = 0;
    virtual int GetFree() = 0;
    virtual bool Alloc() = 0;
    virtual void Free() = 0;

protected:
    int elementSize_;
    int capacity_;
    unsigned char* buffer_ = nullptr;
};

class KFifoFF : public KFifo {
public:
    // The buffer is allocated at once; the queue has none when the allocation failed or when
    // element size x capacity is not within 1 .. kMaxBufferBytes.
    KFifoFF(int elementSize, int capacity);
    ~KFifoFF() override;

    static constexpr int kMaxBufferBytes = 32767;

    void Clear() override;
    int Put(const void* elements, int n) override;
    int Get(void* destination, int n) override;
    int GetCount() override { return count_; }
    int GetFree() override { return capacity_ - count_; }
    bool Alloc() override;
    void Free() override;

    bool HasBuffer() const { return buffer_ != nullptr; }

private:
    unsigned char* readPosition_ = nullptr;  // always the start of the buffer
    unsigned char* writePosition_ = nullptr; // start + count x element size
    int count_ = 0;
};
