#include "app/windows/Formapqmrpp.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kchkerr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Framemod.h"
#include "app/windows/Frmsldpp.h"

#include "ui_Formapqmr.h"
#include "ui_Formapqmrpp.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

TFormAppQmrPp::TFormAppQmrPp(QWidget* owner, KModuleQmr* module)
    : TFormAppQmr(owner, module), ui_(std::make_unique<Ui::TFormAppQmrPp>())
{
    area_ = new QWidget(this);
    ui_->setupUi(area_);
    area_->setGeometry(kAreaLeft, kAreaTop, area_->width(), area_->height());
    FrameSliderPp = ui_->FrameSliderPp;
    LabelMemori = ui_->LabelMemori;
    LabelCaption()->setText(QStringLiteral("QMR3400 - %"));

    // The slider as this window shows it: track bar visible but off until remote, limits of
    // the level, black digits, no x1000 step.
    FrameSliderPp->TrackBar->setVisible(true);
    FrameSliderPp->TrackBar->setEnabled(false);
    FrameSliderPp->StaticTextMin->setText(QStringLiteral("0.0"));
    FrameSliderPp->StaticTextMax->setText(QStringLiteral("100.0"));
    sliderlook::SetColour(FrameSliderPp->EditNum, sliderlook::kBlack);
    FrameSliderPp->SpeedButtonD4->setVisible(false);
    FrameSliderPp->Shape2->setVisible(false);

    // Creating.
    FrameSliderPp->EditNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    CreateModels();
}

TFormAppQmrPp::~TFormAppQmrPp()
{
    if (FrameSliderPp != nullptr) {
        FrameSliderPp->DropPending();
        FrameSliderPp->SetModel(nullptr);
    }
}

bool TFormAppQmrPp::CreateModels()
{
    if (levelModel_ != nullptr) {
        return true;
    }
    levelModel_ = std::make_unique<KFrameModulePP>();
    levelModel_->SetFrame(FrameSliderPp);
    FrameSliderPp->SetModel(levelModel_.get());
    levelModel_->SetModule(Module());
    return true;
}

void TFormAppQmrPp::ShowValue(int16_t value)
{
    FrameSliderPp->ShowModelValue(value);
}

void TFormAppQmrPp::ShowRemote(bool remote)
{
    using namespace sliderlook;
    TFrameSlider* f = FrameSliderPp;
    if (remote) {
        f->Shape1->SetColours(kBlack);
        SetColour(f->EditNum, kBlack);
        SetFontColour(f->EditNum, kSkyBlue);
        return;
    }
    f->ShapeRange->setVisible(false);
    for (QLabel* text : {f->StaticTextMin2, f->StaticTextMax2, f->StaticTextMin, f->StaticTextMax}) {
        SetColour(text, kFace);
    }
    f->Shape1->SetColours(kFace);
    SetColour(f->EditNum, kGrey);
    SetFontColour(f->EditNum, kSkyBlue);
}

void TFormAppQmrPp::EnableSlider(bool on)
{
    using namespace sliderlook;
    TFrameSlider* f = FrameSliderPp;
    f->TrackBar->setEnabled(on);
    f->ShapeRange->setVisible(on);
    SetColour(f->StaticTextMin, on ? kGreen : kFace);
    SetColour(f->StaticTextMax, on ? kGreen : kFace);
}

void TFormAppQmrPp::DropPendingValues()
{
    FrameSliderPp->DropPending();
}

void TFormAppQmrPp::FormShow()
{
    TFormAppQmr::FormShow();
    FrameSliderPp->SyncTrack();
    if (KModuleQmr* module = Module()) {
        module->SetBusyLamp(module->IsBusyForUpdate());
    }
    ShowRemote(false);
}

void TFormAppQmrPp::FormClose()
{
    TFormAppQmr::FormClose();
    // The command module is gone with the close: the model must not reach it any more.
    if (levelModel_ != nullptr) {
        levelModel_->SetModule(nullptr);
    }
}

void TFormAppQmrPp::ActionDBExecute()
{
    ChangeMode(FrameSliderPp, &KModuleQmr::ModeToIL, 0);
}

void TFormAppQmrPp::ActionDBUpdate()
{
    ActionDB->setEnabled(ModeChangeAllowed());
}
