#include "app/core/Formapp.h"

#include "ui_Formapp.h"

#include "app/core/Formlook.h"
#include "app/core/Kmodule.h"
#include "bramble/Bramble.h"

#include <QByteArray>
#include <QCloseEvent>
#include <QColor>
#include <QFont>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QResizeEvent>
#include <QShowEvent>

using namespace formlook;

namespace {

const QColor kSkyBlue(0xA6, 0xCA, 0xF0);

// Bramble keeps positions as 16-bit values.
short AsShort(int value)
{
    return static_cast<short>(value);
}

} // namespace

TFormApp::TFormApp(QWidget* owner, KModule* module)
    : QDialog(nullptr), baseUi_(std::make_unique<Ui::TFormApp>()), startUp_(owner), module_(module)
{
    baseUi_->setupUi(this);
    setObjectName(QString());
    // Single border with system menu and minimise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    SetPixelFont(this, QStringLiteral("Arial"), 16);
    SetPixelFont(baseUi_->LabelCaption, QStringLiteral("MS PGothic"), 21);
    Fill(baseUi_->LabelDmy, kSkyBlue);
    Fill(baseUi_->LabelCaption, kSkyBlue);
    // The module is not bound here: a derived window is not whole yet, so a module that
    // looks at what kind of window it drives would see only this base. Whoever makes the
    // window binds it once it is built (the window switch).
}

TFormApp::~TFormApp() = default;

void TFormApp::SetStatus(int status)
{
    status_ = status;
}

void TFormApp::Notify()
{
}

QLabel* TFormApp::LabelDmy() const
{
    return baseUi_->LabelDmy;
}

QLabel* TFormApp::LabelCaption() const
{
    return baseUi_->LabelCaption;
}

void TFormApp::FormClose()
{
    const QRect frame = frameGeometry();
    const QByteArray caption = windowTitle().toUtf8();
    _SetWinPos(AsShort(x()), AsShort(y()), AsShort(frame.width()), AsShort(frame.height()), caption.constData());
    // The field is cleared first, so that a second close finds no module.
    KModule* module = module_;
    module_ = nullptr;
    KModule::Release(module);
    status_ = 0;
}

void TFormApp::FormShow()
{
    short left = 0;
    short top = 0;
    short width = 0;
    short height = 0;
    const QByteArray caption = windowTitle().toUtf8();
    if (_GetWinPos(&left, &top, &width, &height, caption.constData()) == 1) {
        // The size stays the form's own.
        move(left, top);
    }
    if (startUp_ != nullptr) {
        startUp_->hide();
    }
}

void TFormApp::reject()
{
    // Shown modeless, the window is a form, not a dialog: Escape closes nothing.
    if (isModal()) {
        QDialog::reject();
    }
}

void TFormApp::DropDefaultButtons()
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->window() == this) {
            button->setDefault(false);
            button->setAutoDefault(false);
        }
    }
}

void TFormApp::closeEvent(QCloseEvent* event)
{
    FormClose();
    if (isModal()) {
        // Ends the modal run as Cancel.
        QDialog::closeEvent(event);
    } else {
        event->accept();
    }
}

void TFormApp::showEvent(QShowEvent* event)
{
    if (!isModal()) {
        // Before the dialog base looks for a button to make the default one (after this
        // event): a form's Enter stays with the control that has the focus.
        DropDefaultButtons();
    }
    // The dialog base places the window first; a stored position then wins.
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        // The window system restoring a minimised window is no show of the form.
        return;
    }
    if (!sizeFixed_) {
        setFixedSize(size());
        sizeFixed_ = true;
    }
    FormShow();
}

void TFormApp::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    baseUi_->LabelDmy->setGeometry(0, 0, width(), baseUi_->LabelDmy->height());
    baseUi_->LabelCaption->setGeometry(0, baseUi_->LabelCaption->y(), width(), baseUi_->LabelCaption->height());
}
