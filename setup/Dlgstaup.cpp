#include "setup/Dlgstaup.h"

#include "common/Vclfunc.h"
#include "platform/Machine.h"
#include "ui_Dlgstaup.h"

#include <QByteArray>
#include <QColor>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QStyle>
#include <QTimer>

#include <cstring>
#include <string>

namespace {

constexpr int kStartDelayMs = 500;
const QColor kYellow(255, 255, 0);

} // namespace

TFormStartup::TFormStartup(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TFormStartup>())
{
    ui_->setupUi(this);
    // A fixed dialog frame: a title and a close box, nothing to resize or minimise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(24);
    ui_->Label1->setFont(font);

    bitness_ = GetBitness();
    const char* suffix = bitness_ == 32 ? "(32bit)" : bitness_ == 64 ? "(64bit)" : "(ERR)";
    ui_->Label1->setText(ui_->Label1->text() + QLatin1String(suffix));
    QPalette palette = ui_->Label1->palette();
    palette.setColor(QPalette::WindowText, kYellow);
    ui_->Label1->setPalette(palette);

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->availableGeometry()));
    }

    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(kStartDelayMs);
    // A coarse timer may fire up to 5 % early; the installer starts no sooner than promised.
    Timer1->setTimerType(Qt::PreciseTimer);
    connect(Timer1, &QTimer::timeout, this, &TFormStartup::Timer1Timer);
    Timer1->start();
}

TFormStartup::~TFormStartup() = default;

int TFormStartup::GetBitness()
{
    char identifier[kIdentifierRoom] = {};
    StrCopyN(identifier, qmr::platform::ProcessorIdentifier().c_str(), kIdentifierRoom - 1);
    int bitness = 0;
    if (std::strstr(identifier, "x86") != nullptr) {
        bitness = 32;
    }
    if (std::strstr(identifier, "64") != nullptr) {
        bitness = 64;
    }
    return bitness;
}

void TFormStartup::Timer1Timer()
{
    Timer1->stop();
    // The folder comes without a trailing separator, except the root itself.
    QString path = QCoreApplication::applicationDirPath();
    path += bitness_ == 32 ? QLatin1String("/32/Setup.exe") : QLatin1String("/64/Setup.exe");
    const QByteArray file = QFile::encodeName(path);
    ExecShell(installer_, file.constData(), file.constData());
    close();
}

bool ExecShell(KProcess& runner, const char* file, const char* parameters)
{
    // The parameters reach the installer whole, as one argument, blanks and all.
    return runner.ExecShellProgram(file, {std::string(parameters != nullptr ? parameters : "")});
}
