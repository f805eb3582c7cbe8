#include "Hdcopy.h"

#include "GuiThread.h"
#include "Prnsetup.h"

#include <QApplication>
#include <QClipboard>
#include <QPixmap>
#include <QScreen>
#include <QString>
#include <QWidget>

#include <cstring>
#include <memory>
#include <new>

namespace bramble {

namespace {

// The hard copy of the print job in progress, from the call that begins it to the one that
// ends it.
std::unique_ptr<THdCopy> keptHardCopy;

} // namespace

bool THdCopy::CreateBitmap()
{
    bitmap_ = QImage();
    width_ = 0;
    height_ = 0;
    return true;
}

void THdCopy::FreeBitmap()
{
    bitmap_ = QImage();
}

bool THdCopy::SetRect(const QWidget* window)
{
    rect_ = window->frameGeometry();
    width_ = rect_.width();
    height_ = rect_.height();
    return !rect_.isEmpty();
}

bool THdCopy::Capture(const QWidget* window)
{
    // A window that is not on the screen has no picture there.
    QScreen* screen = window->screen();
    if (screen == nullptr || !window->isVisible() || window->isMinimized()) {
        return false;
    }
    const QPoint origin = rect_.topLeft() - screen->geometry().topLeft();
    const QPixmap pixmap = screen->grabWindow(0, origin.x(), origin.y(), rect_.width(), rect_.height());
    if (pixmap.isNull()) {
        return false;
    }
    bitmap_ = pixmap.toImage().convertToFormat(QImage::Format_RGB32);
    bitmap_.setDevicePixelRatio(1.0);
    // On a scaled screen the picture holds the screen's own pixels.
    width_ = bitmap_.width();
    height_ = bitmap_.height();
    return !bitmap_.isNull();
}

bool THdCopy::SaveToFile(const char* name) const
{
    return bitmap_.save(QString::fromLocal8Bit(name), "BMP");
}

void THdCopy::PrintBitmap(KPrinter& printer) const
{
    const PictureRect rect = LayoutPicture(MetricsOf(printer.Device()), width_, height_, placement);
    StretchBitmapToCanvas(printer.Canvas(), rect.left, rect.top, rect.left + rect.width, rect.top + rect.height,
                          bitmap_);
}

bool THdCopy::MakePicture(const QWidget* window)
{
    return CreateBitmap() && SetRect(window) && Capture(window);
}

bool THdCopy::ToClipboard(const QWidget* window)
{
    const bool ok = MakePicture(window);
    if (ok) {
        QGuiApplication::clipboard()->setImage(bitmap_);
    }
    FreeBitmap();
    return ok;
}

bool THdCopy::ToFile(const QWidget* window, const char* name)
{
    const bool ok = MakePicture(window) && SaveToFile(name);
    FreeBitmap();
    return ok;
}

bool THdCopy::ToPrinter(const QWidget* window, bool begin, bool end)
{
    KPrinter* printer = KPrinter::Instance();
    if (printer == nullptr) {
        return false;
    }
    const bool pictured = window != nullptr && MakePicture(window);
    // A document is begun only for a picture to put on it; one in progress is never ended
    // by a call that could not begin its own.
    const bool inJob = begin ? pictured && printer->BeginDoc() : printer->Printing();
    if (inJob && pictured) {
        PrintBitmap(*printer);
    }
    if (inJob && end) {
        printer->EndDoc();
    }
    FreeBitmap();
    return inJob && pictured;
}

QWidget* WindowOfHandle(void* handle)
{
    if (handle == nullptr || !OnWidgetThread()) {
        return nullptr;
    }
    // The handle is compared, never followed, until it is known to be a live widget.
    const QWidgetList widgets = QApplication::allWidgets();
    for (QWidget* widget : widgets) {
        if (widget == handle) {
            return widget->window();
        }
    }
    return nullptr;
}

int HardCopyToFile(void* handle, const char* name)
{
    QWidget* window = WindowOfHandle(handle);
    if (window == nullptr) {
        return 0;
    }
    std::unique_ptr<THdCopy> copy(new (std::nothrow) THdCopy(kPlaceCentre));
    if (!copy) {
        return 0;
    }
    bool ok = false;
    if (name == nullptr) {
        ok = copy->ToPrinter(window, true, true);
    } else if (std::strcmp(name, "CLIP") == 0) {
        ok = copy->ToClipboard(window);
    } else {
        ok = copy->ToFile(window, name);
    }
    return ok ? 1 : 0;
}

int HardCopyToPrinter(void* handle, int placement, bool begin, bool end)
{
    if (!OnWidgetThread()) {
        return 0;
    }
    std::unique_ptr<THdCopy> fresh;
    THdCopy* copy = keptHardCopy.get();
    if (begin) {
        fresh.reset(new (std::nothrow) THdCopy(placement));
        copy = fresh.get();
    }
    if (copy == nullptr) {
        return 0;
    }
    copy->placement = placement;
    // A window that is no live widget still lets the call end the job in progress.
    const bool ok = copy->ToPrinter(WindowOfHandle(handle), begin, end);
    KPrinter* printer = KPrinter::Instance();
    // Held exactly while a job is in progress; a begin refused for another job's sake leaves
    // that job's copy in place.
    if (printer == nullptr || !printer->Printing()) {
        keptHardCopy.reset();
    } else if (fresh && ok) {
        keptHardCopy = std::move(fresh);
    }
    return ok ? 1 : 0;
}

} // namespace bramble
