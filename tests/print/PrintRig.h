#pragma once
// What the printing tests share: plain coloured windows to take pictures of, answers to the
// printer dialogs, and PDF pages rendered for a look at where the pictures landed.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QDialog;

namespace printtest {

// A shown, painted top-level window of one colour at `geometry`.
std::unique_ptr<QWidget> ColouredWindow(const QColor& colour, const QRect& geometry);

// Answers the next modal dialog from a timer once it is up.
void WhenDialogUp(std::function<void(QDialog*)> answer);

// In the print dialog that is up: the PDF printer, writing to `file`.
void ChoosePdf(QDialog* dialog, const QString& file);

// The first page of a PDF file rendered at `dpi` by pdftoppm; null when it cannot be had.
QImage RenderPdf(const QString& file, int dpi);

// The bounding box of the pixels near `colour`; empty when there are none.
QRect AreaOf(const QImage& image, const QColor& colour);

} // namespace printtest
