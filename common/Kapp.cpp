#include "common/Kapp.h"

#include <QMessageBox>

#include <exception>
#include <utility>

QString KApplication::caption_;

KApplication::KApplication(int& argc, char** argv, QString caption) : QApplication(argc, argv)
{
    caption_ = std::move(caption);
}

bool KApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        ShowCurrentException();
    }
    return false;
}

void KApplication::ShowCurrentException()
{
    try {
        throw;
    } catch (const std::exception& error) {
        ShowException(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        ShowException(QString());
    }
}

void KApplication::ShowException(const QString& text)
{
    QMessageBox::critical(nullptr, caption_, text);
}
