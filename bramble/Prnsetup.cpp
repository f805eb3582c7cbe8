#include "Prnsetup.h"

#include "Bramble.h"
#include "GuiThread.h"
#include "ui_Prnsetup.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImage>
#include <QPageSetupDialog>
#include <QPrintDialog>
#include <QRect>

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace bramble {

namespace {

// Cuts towards zero; values beyond an int (absurd metrics) stop at its ends.
int Trunc(double value)
{
    if (!(value > std::numeric_limits<int>::min())) {
        return std::isnan(value) ? 0 : std::numeric_limits<int>::min();
    }
    return value < std::numeric_limits<int>::max() ? static_cast<int>(value) : std::numeric_limits<int>::max();
}

constexpr double kInchesPerMillimetre = 0.0393700787;
constexpr double kMarginMillimetres = 20.0;
// On a portrait page each picture gets a third of the height, less a gap.
constexpr double kThirdShare = 0.93;

} // namespace

PrinterMetrics MetricsOf(const QPrinter& printer)
{
    // Drawing starts at the printable area's corner, as on a printer whose device context
    // cannot reach the paper's edges.
    const QRectF paper = printer.paperRect(QPrinter::DevicePixel);
    const QRectF page = printer.pageRect(QPrinter::DevicePixel);
    PrinterMetrics metrics;
    metrics.logPixelsX = printer.logicalDpiX();
    metrics.logPixelsY = printer.logicalDpiY();
    metrics.physicalOffsetX = qRound(page.left() - paper.left());
    metrics.physicalOffsetY = qRound(page.top() - paper.top());
    metrics.physicalWidth = qRound(paper.width());
    metrics.physicalHeight = qRound(paper.height());
    return metrics;
}

PictureRect LayoutPicture(const PrinterMetrics& m, int width, int height, int placement)
{
    const double dpmmX = m.logPixelsX * kInchesPerMillimetre;
    const double dpmmY = m.logPixelsY * kInchesPerMillimetre;
    const double marginX = std::max(0.0, kMarginMillimetres * dpmmX - 2.0 * m.physicalOffsetX);
    const double marginY = std::max(0.0, kMarginMillimetres * dpmmY - 2.0 * m.physicalOffsetY);
    const double pageW = static_cast<double>(m.physicalWidth) - 2.0 * m.physicalOffsetX;
    const double pageH = static_cast<double>(m.physicalHeight) - 2.0 * m.physicalOffsetY;
    const int areaW = Trunc(pageW - 2.0 * marginX);
    const int areaH = Trunc(pageH - 2.0 * marginY);
    const double targetH = areaW < areaH ? (areaH / 3) * kThirdShare : areaH;

    const double sx = width > 0 ? areaW / static_cast<double>(width) : 1.0;
    const double sy = height > 0 ? targetH / height : 1.0;
    const double scale = sx > sy ? sy : sx;

    PictureRect rect;
    rect.width = Trunc(width * scale);
    rect.height = Trunc(height * scale);
    // The free room is halved in whole dots, rounding towards zero.
    const auto half = [](int area, int size) { return static_cast<double>((static_cast<long long>(area) - size) / 2); };
    rect.left = Trunc(marginX + half(areaW, rect.width));
    switch (placement) {
    case kPlaceTop:
        rect.top = Trunc(marginY);
        break;
    case kPlaceBottom:
        rect.top = Trunc(marginY + areaH - rect.height);
        break;
    default:
        rect.top = Trunc(marginY + half(areaH, rect.height));
        break;
    }
    return rect;
}

void StretchBitmapToCanvas(QPainter& canvas, int left, int top, int right, int bottom, const QImage& image)
{
    if (image.isNull() || right <= left || bottom <= top) {
        return;
    }
    canvas.save();
    // Whole pixels repeated or dropped, never blended.
    canvas.setRenderHint(QPainter::SmoothPixmapTransform, false);
    canvas.drawImage(QRect(left, top, right - left, bottom - top), image);
    canvas.restore();
}

namespace {

// Used and released on the GUI thread only.
KPrinter* currentPrinter = nullptr;

} // namespace

KPrinter* KPrinter::Instance()
{
    if (!OnWidgetThread()) {
        return nullptr;
    }
    if (currentPrinter == nullptr) {
        currentPrinter = new KPrinter;
        qAddPostRoutine(&KPrinter::Release);
    }
    return currentPrinter;
}

void KPrinter::Release()
{
    // A document still open is ended, so that its page is not lost.
    delete std::exchange(currentPrinter, nullptr);
}

KPrinter::~KPrinter()
{
    EndDoc();
}

bool KPrinter::Ready() const
{
    // A PDF printer without a file, or a system printer without a name, would fail its first
    // page and stay unusable: such a printer counts as none.
    if (printer_.outputFormat() == QPrinter::PdfFormat) {
        return !printer_.outputFileName().isEmpty();
    }
    return !printer_.printerName().isEmpty() && printer_.isValid();
}

bool KPrinter::BeginDoc()
{
    if (Printing() || !Ready()) {
        return false;
    }
    return painter_.begin(&printer_);
}

void KPrinter::EndDoc()
{
    if (painter_.isActive()) {
        painter_.end();
    }
}

TFormPrinterSetup::TFormPrinterSetup(QWidget* owner) : QWidget(owner), ui_(std::make_unique<Ui::TFormPrinterSetup>())
{
    ui_->setupUi(this);
    setWindowFlag(Qt::Tool);
    connect(ui_->SpeedButtonSelect, &QToolButton::clicked, this, &TFormPrinterSetup::SpeedButtonSelectClick);
    connect(ui_->SpeedButtonSetup, &QToolButton::clicked, this, &TFormPrinterSetup::SpeedButtonSetupClick);
    ShowPrinterName();
}

TFormPrinterSetup::~TFormPrinterSetup() = default;

template <typename Dialog>
bool TFormPrinterSetup::Execute()
{
    // The printer cannot change while a document is in progress: its dialog would report OK
    // for a choice that does not hold.
    KPrinter* printer = KPrinter::Instance();
    if (printer == nullptr || printer->Printing()) {
        return false;
    }
    Dialog dialog(&printer->Device(), this);
    const bool ok = dialog.exec() == QDialog::Accepted;
    ShowPrinterName();
    return ok;
}

bool TFormPrinterSetup::ExecuteSelect()
{
    return Execute<QPrintDialog>();
}

bool TFormPrinterSetup::ExecuteSetup()
{
    return Execute<QPageSetupDialog>();
}

void TFormPrinterSetup::SpeedButtonSelectClick()
{
    ExecuteSelect();
}

void TFormPrinterSetup::SpeedButtonSetupClick()
{
    ExecuteSetup();
}

void TFormPrinterSetup::ShowPrinterName()
{
    KPrinter* printer = KPrinter::Instance();
    if (printer == nullptr) {
        return;
    }
    const QPrinter& device = printer->Device();
    ui_->EditPrinter->setText(device.outputFormat() == QPrinter::PdfFormat
                                  ? QFileInfo(device.outputFileName()).fileName()
                                  : device.printerName());
}

namespace {

// Runs one dialog on a hidden holder form that `_FormPrinterSetup` names meanwhile.
int RunOnHolder(bool (TFormPrinterSetup::*execute)())
{
    if (!OnWidgetThread()) {
        return 0;
    }
    TFormPrinterSetup form;
    // A dialog may be asked for from within another one's event loop: the outer one's holder
    // is named again when the inner one ends.
    TFormPrinterSetup* const outer = _FormPrinterSetup;
    _FormPrinterSetup = &form;
    const bool ok = (form.*execute)();
    _FormPrinterSetup = outer;
    return ok ? 1 : 0;
}

} // namespace

int RunPrinterSelect()
{
    return RunOnHolder(&TFormPrinterSetup::ExecuteSelect);
}

int RunPrinterSetup()
{
    return RunOnHolder(&TFormPrinterSetup::ExecuteSetup);
}

} // namespace bramble
