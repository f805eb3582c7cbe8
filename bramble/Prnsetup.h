#pragma once
// The printer of the library's printing: its metrics, the page layout of a hard copy, the
// stretch of a picture onto the page, and the two dialogs that choose and set up the printer.

#include <QPainter>
#include <QPrinter>
#include <QWidget>

#include <memory>

class QImage;

namespace Ui {
class TFormPrinterSetup;
}

namespace bramble {

// What the layout needs to know of a printer, in its dots: pixels per inch, the offsets of the
// printable area (where drawing coordinates start) and the physical page size.
struct PrinterMetrics {
    int logPixelsX = 0;
    int logPixelsY = 0;
    int physicalOffsetX = 0;
    int physicalOffsetY = 0;
    int physicalWidth = 0;
    int physicalHeight = 0;
};

// A picture's place on the page, in printer dots from the printable area's corner.
struct PictureRect {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
};

// Vertical places of a picture on the page; any other value is centred.
enum Placement : int { kPlaceTop = 0, kPlaceCentre = 1, kPlaceBottom = 2 };

// The metrics of a printer from its resolution and its page layout.
PrinterMetrics MetricsOf(const QPrinter& printer);

// Where a picture of width x height pixels goes: 20 mm margins, scaled to fit (a portrait page
// leaves room for three pictures), centred across, at the placement's height.
PictureRect LayoutPicture(const PrinterMetrics& metrics, int width, int height, int placement);

// Draws the whole image stretched into the rectangle, pixels copied without smoothing.
void StretchBitmapToCanvas(QPainter& canvas, int left, int top, int right, int bottom, const QImage& image);

// The printer that the dialogs choose and set up and that hard copies print on, with the one
// document in progress. It belongs to the GUI application and ends with it, before its
// windows and its platform are gone.
class KPrinter {
public:
    // The application's printer; null without a widget application or off its GUI thread.
    static KPrinter* Instance();

    ~KPrinter();
    KPrinter(const KPrinter&) = delete;
    KPrinter& operator=(const KPrinter&) = delete;

    QPrinter& Device() { return printer_; }

    // Whether there is somewhere to print: a system printer, or a PDF file named.
    bool Ready() const;
    // Begins a document; false when the printer is not ready or a document is in progress.
    bool BeginDoc();
    bool Printing() const { return painter_.isActive(); }
    // The page being printed; valid while Printing().
    QPainter& Canvas() { return painter_; }
    // Ends the document in progress, which sends its page to the printer.
    void EndDoc();

private:
    KPrinter() = default;
    static void Release();

    QPrinter printer_{QPrinter::HighResolution};
    QPainter painter_; // after the printer: destroyed, and so ended, first
};

// The holder of the two dialogs. Never shown by the library; its small tool window shows the
// current printer with buttons that run the same dialogs.
class TFormPrinterSetup : public QWidget {
public:
    explicit TFormPrinterSetup(QWidget* owner = nullptr);
    ~TFormPrinterSetup() override;

    // Run the print dialog or the page setup dialog on the current printer; true for OK, whose
    // choice then holds for later printing.
    bool ExecuteSelect();
    bool ExecuteSetup();

    void SpeedButtonSelectClick();
    void SpeedButtonSetupClick();

private:
    template <typename Dialog>
    bool Execute();
    void ShowPrinterName();

    std::unique_ptr<Ui::TFormPrinterSetup> ui_;
};

// `_PrinterSelect` and `_PrinterSetup`: 1 when the dialog was closed with OK. Refused (0, no
// dialog) without a widget application, off its GUI thread and while a document is in
// progress, since the printer cannot change then.
int RunPrinterSelect();
int RunPrinterSetup();

} // namespace bramble
