#include "Stdfunc.h"

#include "GuiThread.h"
#include "platform/Tone.h"

#include <QByteArray>
#include <QClipboard>
#include <QGuiApplication>
#include <QString>

#include <algorithm>
#include <cstring>
#include <initializer_list>

namespace bramble {

namespace {

struct Tone {
    unsigned frequencyHz;
    unsigned durationMs;
};

// 30000 Hz lies above hearing: the middle tones are 50 ms pauses.
void PlayTones(std::initializer_list<Tone> tones)
{
    for (const Tone& tone : tones) {
        qmr::platform::PlayTone(tone.frequencyHz, tone.durationMs);
    }
}

QClipboard* Clipboard()
{
    return OnGuiThread() ? QGuiApplication::clipboard() : nullptr;
}

} // namespace

void PlayErBeep()
{
    PlayTones({{1000, 50}, {30000, 50}, {400, 150}});
}

void PlayOkBeep()
{
    PlayTones({{2000, 50}});
}

void PlayAlBeep()
{
    PlayTones({{2000, 50}, {30000, 50}, {2000, 50}});
}

void SetClipboardText(const char* text)
{
    QClipboard* clipboard = Clipboard();
    if (clipboard != nullptr && text != nullptr) {
        clipboard->setText(QString::fromLocal8Bit(text));
    }
}

void GetClipboardText(char* buffer, unsigned length)
{
    if (buffer == nullptr) {
        return;
    }
    QClipboard* clipboard = Clipboard();
    const QByteArray text = clipboard != nullptr ? clipboard->text().toLocal8Bit() : QByteArray();
    // Cut after byte `length`, also inside a character of several bytes.
    const size_t copied = std::min<size_t>(static_cast<size_t>(text.size()), length);
    std::memcpy(buffer, text.constData(), copied);
    std::memset(buffer + copied, 0, static_cast<size_t>(length) - copied + 1);
}

} // namespace bramble
