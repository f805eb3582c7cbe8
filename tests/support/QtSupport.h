#pragma once
// Helpers shared by the tests that run with a QApplication.

#include <QMessageBox>
#include <QString>

namespace qmrtest {

// The visible message box among the top-level windows that shows `text`, or nullptr.
QMessageBox* ShownMessageBox(const QString& text);

} // namespace qmrtest
