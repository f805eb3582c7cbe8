#include "app/windows/Formapqmrmn.h"

#include "ui_Formapqmr.h"
#include "ui_Formapqmrmn.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

TFormAppQmrManual::TFormAppQmrManual(QWidget* owner, KModuleQmr* module)
    : TFormAppQmr(owner, module), ui_(std::make_unique<Ui::TFormAppQmrManual>())
{
    // A caption of its own, so that this window keeps a position of its own.
    setWindowTitle(QStringLiteral("FormAppQmrManual"));
    Ui::TFormAppQmr& form = Form();
    auto* commands = new QWidget(form.PanelDbg);
    ui_->setupUi(commands);
    commands->move(2, 0);
    BindCommandLabels();

    form.LabelDebug->setVisible(true);
    form.ButtonManual->setText(QStringLiteral("Control"));
    // This window is reached only with "/A" on the command line.
    form.ButtonManual->setVisible(true);
    for (QWidget* developer : {static_cast<QWidget*>(form.PanelDbg), static_cast<QWidget*>(form.EditCmd),
                               static_cast<QWidget*>(form.ButtonSend), static_cast<QWidget*>(form.MemoLog)}) {
        developer->setVisible(true);
    }
    form.ButtonMode->setVisible(false);
}

TFormAppQmrManual::~TFormAppQmrManual() = default;

void TFormAppQmrManual::ShowRemote(bool /*remote*/)
{
}

void TFormAppQmrManual::ButtonManualClick()
{
    // -1: the last of the dB and percent windows.
    SwitchWithLinkCode(-1);
}
