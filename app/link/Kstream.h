#pragma once
// The stream between one transport and the communication thread: KStream is the abstract
// stream, KStreamCom its one implementation. KStreamCom owns the transport, runs a reader
// thread that puts each received line's bytes into the process-wide receive FIFO RxFifo,
// and lets the communication thread take bytes from it and the GUI thread write.

#include <memory>
#include <string>

class KCom;
class TThreadStream;

// The receive FIFO of the process (at most one exists). One lock covers every put, count and
// take, so the reader thread and the communication thread may use it at the same time;
// create and delete run while neither of them does.
bool RxFifoCreate(int capacity);
void RxFifoDelete();
// The reader's line callback: puts the line's bytes (all or nothing: a line that does not
// fit in the free space is lost), then wakes the communication thread.
void RxFifoPutCallback(char* data, int* length);
// Takes up to n bytes into buffer (which holds n + 1 bytes; a zero byte follows them): their
// count, or 0 when there were none.
int RxFifoGet(char* buffer, int n);
int RxFifoCount();

class KStream {
public:
    explicit KStream(int id) : id_(id) {}
    virtual ~KStream() = default;
    KStream(const KStream&) = delete;
    KStream& operator=(const KStream&) = delete;

    virtual std::string ReadLine() = 0;
    virtual int Read(char* buffer, int n) = 0;
    virtual int Write(const char* data, int length) = 0;
    virtual int GetRxCount() = 0;
    virtual bool IsReady() = 0;
    virtual std::string GetName() { return "KStream"; }
    virtual bool IsPresent() = 0;
    virtual void StartRecv() = 0;
    virtual bool Open() = 0;
    virtual void Close() = 0;

    // Keeps at most the first 2 characters of the text as the line terminator.
    void SetTerminator(const char* text);
    const char* Terminator() const { return terminator_; }

protected:
    int id_;
    char terminator_[3] = {};
};

class KStreamCom : public KStream {
public:
    static constexpr int kRxFifoCapacity = 160;
    static constexpr int kLineReadTimeoutMs = 80;

    // Takes the opened transport and opens the stream (FIFO and reader thread); Opened tells
    // whether that worked.
    KStreamCom(int id, KCom* transport);
    ~KStreamCom() override;

    std::string ReadLine() override;
    int Read(char* buffer, int n) override;
    // Sends data up to its zero byte: 1 when the transport sent it all, 0 when it did not.
    int Write(const char* data, int length) override;
    int GetRxCount() override { return RxFifoCount(); }
    bool IsReady() override { return true; }
    std::string GetName() override;
    bool IsPresent() override;
    void StartRecv() override;
    bool Open() override;
    void Close() override;

    bool Opened() const { return opened_; }

private:
    std::unique_ptr<TThreadStream> reader_;
    std::unique_ptr<KCom> transport_;
    bool opened_ = false;
};
