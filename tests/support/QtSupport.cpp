#include "QtSupport.h"

#include <QApplication>
#include <QWidget>

namespace qmrtest {

QMessageBox* ShownMessageBox(const QString& text)
{
    for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (box != nullptr && box->isVisible() && box->text() == text) {
            return box;
        }
    }
    return nullptr;
}

} // namespace qmrtest
