#pragma once
// Shared by the printing tests: coloured windows to copy, answers to dialogs, rendered pages.

#include <QColor>
#include <QImage>
#include <QRect>
#include <QString>
#include <QWidget>

#include <functional>
#include <memory>

class QDialog;

namespace printtest {

// A shown, painted, frameless top-level window of one colour; null when it never showed.
std::unique_ptr<QWidget> ColouredWindow(const QColor& colour, const QRect& geometry);

// Answers the next modal dialog from a timer once it is up.
void WhenDialogUp(std::function<void(QDialog*)> answer);

// The first page of a PDF file rendered by pdftoppm at `dpi`; null when that fails.
QImage RenderPdf(const QString& file, int dpi);

// The bounding box of the pixels near `colour`; empty when there are none.
QRect AreaOf(const QImage& image, const QColor& colour);

} // namespace printtest
