#include "Scomdmy.h"

#include "Dlgsiodmy.h"
#include "Guicall.h"
#include "common/Fontsubst.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QPointer>

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>

namespace bramble {

namespace {

// On the GUI thread: the window of port `index`, shown, or null after the operator was told.
TFormDlgSioDmy* MakeWindow(int index)
{
    WatchApplication();
    // Callers other than the program never installed the stand-ins of the form's fonts.
    InstallFontSubstitutes();
    try {
        auto* window = new TFormDlgSioDmy();
        window->setWindowTitle(QString::asprintf("Ch%d Debug", index));
        window->show();
        return window;
    } catch (const std::exception&) {
        QMessageBox box(QMessageBox::Warning, QString::fromUtf8("◆　シリアル通信エラー　　　"),
                        QString::fromUtf8("開始エラー"), QMessageBox::Ok);
        box.exec();
        return nullptr;
    }
}

} // namespace

bool CSComDmy::Open(int index, const char*)
{
    if (window_.load() != nullptr) {
        return true;
    }
    // Without a QApplication there is neither a window nor a message box to show.
    if (!WidgetsAvailable() || GuiGone()) {
        return false;
    }
    TFormDlgSioDmy* window = nullptr;
    if (OnGuiThread()) {
        window = MakeWindow(index);
    } else {
        window = CallOnGui<TFormDlgSioDmy*>(QCoreApplication::instance(), [index](GuiCompletion<TFormDlgSioDmy*> done) {
                     done(MakeWindow(index));
                 }).value_or(nullptr);
    }
    window_.store(window);
    return window != nullptr;
}

void CSComDmy::Close()
{
    TFormDlgSioDmy* window = window_.exchange(nullptr);
    if (window == nullptr) {
        return;
    }
    // A window whose application was destroyed cannot be destroyed any more; the process is
    // ending.
    if (OnGuiThread()) {
        delete window;
    } else if (WidgetsAvailable()) {
        PostToGui(window, [window] { delete window; });
    }
}

void CSComDmy::AddTx(std::string text)
{
    TFormDlgSioDmy* window = window_.load();
    if (window == nullptr) {
        return;
    }
    if (OnGuiThread()) {
        window->AddTx(QString::fromStdString(text));
    } else if (WidgetsAvailable() && !GuiGone()) {
        PostToGui(window, [window, text = std::move(text)] { window->AddTx(QString::fromStdString(text)); });
    }
}

bool CSComDmy::Send(const char* text, int len)
{
    if (len < 0 || (text == nullptr && len > 0)) {
        return false;
    }
    // The window shows texts: each runs to its NUL, whatever length the caller gave.
    AddTx(text == nullptr ? std::string() : std::string(text));
    AddTx(SendTerminator());
    return true;
}

bool CSComDmy::SendN(const void* data, int len)
{
    if (len < 0 || (data == nullptr && len > 0)) {
        return false;
    }
    const char* text = static_cast<const char*>(data);
    AddTx(text == nullptr ? std::string() : std::string(text));
    return true;
}

int CSComDmy::ReadRawClear(char*, int)
{
    return 0;
}

DummyReply CSComDmy::Request(bool takeText)
{
    TFormDlgSioDmy* window = window_.load();
    if (window == nullptr || GuiGone()) {
        return {};
    }
    const std::string term = lineMode_.load() ? ReceiveTerminator() : std::string();
    if (!OnGuiThread()) {
        return CallOnGui<DummyReply>(window,
                                     [window, takeText, term](GuiCompletion<DummyReply> done) {
                                         window->RequestReply(takeText, term, done);
                                     })
            .value_or(DummyReply{});
    }
    // On the GUI thread the wait runs the event loop, so that the operator can answer and the
    // rest of the application stays live. The loop also ends when the application exits.
    std::optional<DummyReply> reply;
    QEventLoop loop;
    QPointer<TFormDlgSioDmy> alive(window);
    window->RequestReply(takeText, term, [&reply, &loop](DummyReply r) {
        reply = std::move(r);
        loop.quit();
    });
    if (!reply) {
        loop.exec();
    }
    // The loop ended by the application's exit: the window must not answer into this frame
    // later.
    if (!reply && !alive.isNull()) {
        alive->GiveUpWait();
    }
    return reply.value_or(DummyReply{});
}

int CSComDmy::RecvLen()
{
    return Request(false).length;
}

bool CSComDmy::ReadRaw(void* buf, int n, unsigned long* got)
{
    const DummyReply reply = Request(true);
    const int count = std::clamp(reply.length, 0, std::max(n, 0));
    char* out = static_cast<char*>(buf);
    if (out != nullptr) {
        const size_t copied = std::min(reply.text.size(), static_cast<size_t>(count));
        std::memcpy(out, reply.text.data(), copied);
        std::memset(out + copied, 0, static_cast<size_t>(count) - copied + 1);
    }
    if (got != nullptr) {
        *got = out != nullptr ? static_cast<unsigned long>(count) : 0;
    }
    return out != nullptr && count > 0;
}

void CSComDmy::SetLineMode(bool on)
{
    lineMode_.store(on);
}

void CSComDmy::SetName(const char* name)
{
    TFormDlgSioDmy* window = window_.load();
    if (window == nullptr || name == nullptr) {
        return;
    }
    const QString caption = QString::fromUtf8(name);
    if (OnGuiThread()) {
        window->setWindowTitle(caption);
    } else if (WidgetsAvailable() && !GuiGone()) {
        PostToGui(window, [window, caption] { window->setWindowTitle(caption); });
    }
}

} // namespace bramble
