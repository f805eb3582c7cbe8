#pragma once
// The dummy port: a serial port without hardware whose traffic goes through a window of its
// own. The operator sees every text that the caller sends and supplies each reply, by hand or
// automatically after a delay. It is used through the same twelve operations as a real port.

#include "Scom.h"

#include <atomic>
#include <string>

namespace bramble {

class TFormDlgSioDmy;
struct DummyReply;

class CSComDmy : public CSCom {
public:
    CSComDmy() = default;
    // Frees the object only: the window goes with Close.
    ~CSComDmy() override = default;

    // Makes and shows the window "Ch<index> Debug" (the settings are not used); false when
    // no window can be made, as in a program without a QApplication.
    bool Open(int index, const char* settings) override;
    void Close() override;
    // The text (at most len bytes, up to its NUL) and then the send terminator, each as a
    // line of the window's memo. Always true for valid arguments.
    bool Send(const char* text, int len) override;
    bool SendN(const void* data, int len) override;
    // Nothing is read and the line buffer stays: 0.
    int ReadRawClear(char* buf, int n) override;
    // Waits for the reply as the window says and gives its length.
    int RecvLen() override;
    // Waits for the reply and copies at most n of its bytes (NULs fill a shorter text).
    bool ReadRaw(void* buf, int n, unsigned long* got) override;
    // On: replies end with the port's receive terminator; off: with nothing.
    void SetLineMode(bool on) override;
    // The window's caption.
    void SetName(const char* name) override;

private:
    DummyReply Request(bool takeText);
    void AddTx(std::string text);

    // Set and read by the caller's threads, used on the GUI thread through queued calls.
    std::atomic<TFormDlgSioDmy*> window_{nullptr};
    std::atomic<bool> lineMode_{false};
};

} // namespace bramble
