#pragma once
// The slow poll that watches the instrument while it is in remote mode: every interval it
// asks for the instrument's state (the base checker reads the error queue, the status-byte
// checker starts the command module's status-byte poll), but only while neither the command
// module nor the device is busy; otherwise it tries again two ticks later. The instrument
// window drives it from its error timer. GUI thread only.

class KComDeviceQmr;

// What the checker needs of the window's command module.
class KPollTarget {
public:
    virtual ~KPollTarget() = default;
    // A function runs, the module's busy flag is set, or its device is busy.
    virtual bool IsBusy() = 0;
    // Starts the status-byte poll ("*STB?"); true when it was sent.
    virtual bool ReadStatusByte() = 0;
};

class KCheckQmrError {
public:
    // countdown := interval x 1000 ms.
    explicit KCheckQmrError(int intervalSeconds);
    virtual ~KCheckQmrError();
    KCheckQmrError(const KCheckQmrError&) = delete;
    KCheckQmrError& operator=(const KCheckQmrError&) = delete;

    // Counts `elapsed` ms off; false while not due. When due: polls if it can (countdown back
    // to the interval), else countdown := 2 x elapsed; true either way.
    virtual bool Tick(int elapsed);
    // Neither the module nor the device is busy (and both are set).
    virtual bool CanPoll();

    // Keeps the next poll at least 1.2 s away.
    void RaiseCountdown();

    void SetDevice(KComDeviceQmr* device) { device_ = device; }
    void SetModule(KPollTarget* module) { module_ = module; }
    int Countdown() const { return countdown_; }
    int Interval() const { return interval_; }

protected:
    enum class Poll { ErrorQueue, StatusByte };
    bool TickWith(int elapsed, Poll poll);

    KComDeviceQmr* device_ = nullptr;
    KPollTarget* module_ = nullptr;
    int countdown_;
    int interval_;
};

class KCheckQmrErrorStb : public KCheckQmrError {
public:
    explicit KCheckQmrErrorStb(int intervalSeconds) : KCheckQmrError(intervalSeconds) {}
    ~KCheckQmrErrorStb() override;

    // The same rule; its poll is the module's status-byte poll.
    bool Tick(int elapsed) override;
};
