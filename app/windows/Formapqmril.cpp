#include "app/windows/Formapqmril.h"

#include "app/instrument/Comdvqmr.h"
#include "app/instrument/Kchkerr.h"
#include "app/instrument/Kmdlqmr.h"
#include "app/windows/Framemod.h"
#include "app/windows/Framslid.h"
#include "app/windows/Frmsldfq.h"

#include "ui_Formapqmr.h"
#include "ui_Formapqmril.h"

#include <QAction>
#include <QEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>

namespace {

// The thumb along the range bar, and the spacing of the loss scale that puts its numbers over
// the range bar's values.
constexpr TFrameSlider::ScaleFit kLossScale{KFrameModuleDB::kBarLeft, KFrameModuleDB::kBarWidth, -0.5, 6.1};

// The range texts that an active slider shows in green.
QLabel* RangeMin(TFrameSlider* frame, bool loss)
{
    return loss ? frame->StaticTextMin2 : frame->StaticTextMin;
}

QLabel* RangeMax(TFrameSlider* frame, bool loss)
{
    return loss ? frame->StaticTextMax2 : frame->StaticTextMax;
}

} // namespace

TFormAppQmrIL::TFormAppQmrIL(QWidget* owner, KModuleQmr* module)
    : TFormAppQmr(owner, module), ui_(std::make_unique<Ui::TFormAppQmrIL>())
{
    using namespace sliderlook;
    area_ = new QWidget(this);
    ui_->setupUi(area_);
    area_->setGeometry(kAreaLeft, kAreaTop, area_->width(), area_->height());
    FrameSliderIL = ui_->FrameSliderIL;
    FrameSliderFrq = ui_->FrameSliderFrq;
    SpeedButtonSet = ui_->SpeedButtonSet;
    LabelMemori = ui_->LabelMemori;
    LabelCaption()->setText(QStringLiteral("QMR3400 - dB"));
    SetPixelSize(SpeedButtonSet, 16);
    SetPixelSize(LabelMemori, 13);

    // The loss slider: tenths of a dB on a 0 to 700 track bar, off until a range is known;
    // the instrument's range texts in place of the absolute ones; no x1000 step.
    FrameSliderIL->LabelName->setText(QStringLiteral(" Insertion Loss"));
    FrameSliderIL->LabelUnit->setText(QStringLiteral("dB"));
    FrameSliderIL->TrackBar->setRange(0, 700);
    FrameSliderIL->TrackBar->setEnabled(false);
    FrameSliderIL->LabelMemori->setText(QStringLiteral(
        "0            10            20            30            40            50           60            70 "));
    // The thumb follows the range bar: 0.0 dB at its left, 70.0 dB at its right end.
    FrameSliderIL->FitScale(kLossScale);
    FrameSliderIL->StaticTextMin->setVisible(false);
    FrameSliderIL->StaticTextMax->setVisible(false);
    FrameSliderIL->StaticTextMin2->setVisible(true);
    FrameSliderIL->StaticTextMax2->setVisible(true);
    FrameSliderIL->SpeedButtonD4->setVisible(false);
    FrameSliderIL->Shape2->setVisible(false);
    // The frequency slider: off until editing; its limits in green.
    FrameSliderFrq->setEnabled(false);
    FrameSliderFrq->StaticTextMin->setText(QStringLiteral("0.10"));
    FrameSliderFrq->StaticTextMax->setText(QStringLiteral("40.00"));
    SetColour(FrameSliderFrq->StaticTextMin, kGreen);
    SetColour(FrameSliderFrq->StaticTextMax, kGreen);

    SpeedButtonSet->installEventFilter(this);
    // A click that reaches the button comes from the keyboard (Space): the mouse press is
    // taken by the event filter. The button has toggled already; the editing follows it.
    connect(SpeedButtonSet, &QToolButton::clicked, this, &TFormAppQmrIL::FrequencySetChanged);

    // Creating.
    FrameSliderIL->EditNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    FrameSliderFrq->EditNum->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    if (CreateModels()) {
        frequencyModel_->SetModule(Module());
        lossModel_->SetModule(Module());
    }
}

TFormAppQmrIL::~TFormAppQmrIL()
{
    for (TFrameSlider* frame : {FrameSliderIL, static_cast<TFrameSlider*>(FrameSliderFrq)}) {
        frame->DropPending();
        frame->SetModel(nullptr);
    }
}

bool TFormAppQmrIL::CreateModels()
{
    if (frequencyModel_ != nullptr) {
        return true;
    }
    frequencyModel_ = std::make_unique<KFrameModuleFRQ>();
    frequencyModel_->SetFrame(FrameSliderFrq);
    FrameSliderFrq->SetModel(frequencyModel_.get());
    lossModel_ = std::make_unique<KFrameModuleDB>();
    lossModel_->SetFrame(FrameSliderIL);
    FrameSliderIL->SetModel(lossModel_.get());
    return true;
}

void TFormAppQmrIL::SetRange(int16_t max, int16_t min)
{
    lossModel_->SetRange(max, min);
    lossModel_->ShowRange();
    FrameSliderIL->TrackBar->setEnabled(true);
}

void TFormAppQmrIL::ShowValue(int16_t value)
{
    FrameSliderIL->ShowModelValue(value);
}

void TFormAppQmrIL::ShowFrequency(int16_t value)
{
    FrameSliderFrq->ShowModelValue(value);
}

void TFormAppQmrIL::ShowRemote(bool remote)
{
    using namespace sliderlook;
    if (remote) {
        return;
    }
    FrameSliderIL->ShapeRange->setVisible(false);
    FrameSliderFrq->ShapeRange->setVisible(false);
    for (QLabel* text : {FrameSliderIL->StaticTextMin2, FrameSliderIL->StaticTextMax2, FrameSliderFrq->StaticTextMin,
                         FrameSliderFrq->StaticTextMax}) {
        SetColour(text, kFace);
    }
    for (TFrameSlider* frame : {FrameSliderIL, static_cast<TFrameSlider*>(FrameSliderFrq)}) {
        frame->Shape1->SetColours(kGrey);
        SetColour(frame->EditNum, kGrey);
        SetFontColour(frame->EditNum, kGrey);
    }
}

// The loss slider is enabled by SetRange once the range is known.
void TFormAppQmrIL::EnableSlider(bool)
{
}

void TFormAppQmrIL::ColourSlider(TFrameSlider* frame, bool active)
{
    using namespace sliderlook;
    const bool loss = frame == FrameSliderIL;
    frame->Shape1->SetColours(active ? kBlack : kGrey);
    SetColour(frame->EditNum, active ? kBlack : kGrey);
    SetFontColour(frame->EditNum, kSkyBlue);
    SetColour(frame->LabelName, active ? kSkyBlue : kFace);
    SetColour(frame->LabelUnit, active ? kSkyBlue : kFace);
    SetColour(frame, kFace);
    frame->ShapeRange->setVisible(active);
    SetColour(RangeMin(frame, loss), active ? kGreen : kFace);
    SetColour(RangeMax(frame, loss), active ? kGreen : kFace);
}

void TFormAppQmrIL::SetFrequencyEditing(bool on)
{
    TFrameSlider* active = on ? static_cast<TFrameSlider*>(FrameSliderFrq) : FrameSliderIL;
    TFrameSlider* inactive = on ? FrameSliderIL : static_cast<TFrameSlider*>(FrameSliderFrq);
    // Editing again replaces a frequency that still waits to go out.
    if (on) {
        FrameSliderFrq->DropPending();
    }
    ColourSlider(active, true);
    inactive->setEnabled(true);
    ColourSlider(inactive, false);
    inactive->TrackBar->setEnabled(true);
    inactive->TrackBar->setFocus(Qt::OtherFocusReason);
    inactive->setEnabled(false);
    active->setEnabled(true);
    // Ending the editing sends the frequency; the loss slider has nothing to send.
    inactive->SendCurrent();
}

void TFormAppQmrIL::ReleaseFrequencySet()
{
    SpeedButtonSet->setChecked(false);
}

void TFormAppQmrIL::DropPendingValues()
{
    FrameSliderIL->DropPending();
    FrameSliderFrq->DropPending();
}

void TFormAppQmrIL::FormShow()
{
    TFormAppQmr::FormShow();
    FrameSliderFrq->SyncTrack();
    FrameSliderIL->SyncTrack();
    if (KModuleQmr* module = Module()) {
        module->SetBusyLamp(module->IsBusyForUpdate());
    }
    FrameSliderFrq->DisableControl(FrameSliderFrq);
    sliderlook::SetColour(FrameSliderFrq, sliderlook::kFace);
    ShowRemote(false);
}

void TFormAppQmrIL::FormClose()
{
    TFormAppQmr::FormClose();
    // The command module is gone with the close: the models must not reach it any more.
    if (frequencyModel_ != nullptr) {
        frequencyModel_->SetModule(nullptr);
        lossModel_->SetModule(nullptr);
    }
}

void TFormAppQmrIL::ActionDBExecute()
{
    ChangeMode(FrameSliderIL, &KModuleQmr::ModeToPP, 1);
}

void TFormAppQmrIL::ActionDBUpdate()
{
    ActionDB->setEnabled(ModeChangeAllowed() && !SpeedButtonSet->isChecked());
}

void TFormAppQmrIL::SpeedButtonSetMouseDown()
{
    SpeedButtonSet->setChecked(!SpeedButtonSet->isChecked());
    FrequencySetChanged();
}

void TFormAppQmrIL::FrequencySetChanged()
{
    SetFrequencyEditing(SpeedButtonSet->isChecked());
    KModuleQmr* module = Module();
    ShowRemote(module != nullptr && module->IsRemote());
}

void TFormAppQmrIL::FormDblClick()
{
    // The developer switch "/A" shows these controls; without it the gesture does nothing.
    if (Form().ButtonManual->isHidden() && Form().ButtonBusyChk->isHidden()) {
        return;
    }
    SpeedButtonSet->setChecked(!SpeedButtonSet->isChecked());
    SetFrequencyEditing(SpeedButtonSet->isChecked());
}

bool TFormAppQmrIL::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == SpeedButtonSet) {
        const QEvent::Type type = event->type();
        // The button toggles on the press, as a speed button does; its own click handling
        // would toggle it a second time on the release. The second press of a double click
        // comes as a press and then a double click: only the press toggles.
        if (type == QEvent::MouseButtonPress) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
                SpeedButtonSetMouseDown();
            }
            return true;
        }
        if (type == QEvent::MouseButtonRelease || type == QEvent::MouseButtonDblClick) {
            return true;
        }
    }
    return TFormAppQmr::eventFilter(watched, event);
}

void TFormAppQmrIL::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        FormDblClick();
    }
    TFormAppQmr::mouseDoubleClickEvent(event);
}
