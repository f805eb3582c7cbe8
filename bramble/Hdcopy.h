#pragma once
// The hard copy of a window: its picture as the screen shows it, frame and title bar included,
// put on the clipboard, saved as a bitmap file or printed.

#include <QImage>
#include <QRect>

class QWidget;

namespace bramble {

class KPrinter;

// One hard copy; its bitmap lives for one capture only.
class THdCopy {
public:
    explicit THdCopy(int placement) : placement(placement) {}

    bool CreateBitmap();
    void FreeBitmap();
    // Takes the size of the window's frame on the screen.
    bool SetRect(const QWidget* window);
    // Copies what the screen shows under the window's frame, covering windows included.
    bool Capture(const QWidget* window);
    bool SaveToFile(const char* name) const;
    // Lays the bitmap out on the page being printed and draws it there.
    void PrintBitmap(KPrinter& printer) const;

    bool ToClipboard(const QWidget* window);
    bool ToFile(const QWidget* window, const char* name);
    // Prints the window's picture; `begin` first begins a document, `end` ends the one in
    // progress, which sends its page to the printer (also when this picture could not be had,
    // so that the pictures already on the page are not lost).
    bool ToPrinter(const QWidget* window, bool begin, bool end);

    int placement;

private:
    bool MakePicture(const QWidget* window);

    QImage bitmap_;
    QRect rect_; // the frame on the screen
    int width_ = 0;
    int height_ = 0;
};

// The top-level window of a handle that names a live widget of the running application; null
// for anything else, without a widget application or off its GUI thread.
QWidget* WindowOfHandle(void* handle);

// `_HdCopyToFile` and `_HdCopyToPrn`: 1 when the picture was made and delivered.
int HardCopyToFile(void* handle, const char* name);
int HardCopyToPrinter(void* handle, int placement, bool begin, bool end);

} // namespace bramble
