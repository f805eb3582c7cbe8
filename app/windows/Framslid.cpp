#include "app/windows/Framslid.h"

#include "app/core/Formmesg.h"
#include "app/windows/Framemod.h"

#include "ui_Framslid.h"

#include <QApplication>
#include <QCheckBox>
#include <QEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

namespace {

// One warning per run of slider frames: every new frame arms it again.
bool gLocalWarningShown = false;

const char* const kStepButtonStyle = "QToolButton { background: #D4D0C8; border: 1px solid #808080; }"
                                     "QToolButton:checked { background: #00FFFF; border: 1px solid #000080; }";

} // namespace

// ---- the frame ----

TFrameSlider::TFrameSlider(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::TFrameSlider>())
{
    ui_->setupUi(this);
    BindControls();
    ApplyLook();

    TimerBusy = new QTimer(this);
    TimerBusy->setObjectName(QStringLiteral("TimerBusy"));
    TimerBusy->setInterval(kRetryMs);
    connect(TimerBusy, &QTimer::timeout, this, [this] { TimerBusyTimer(); });

    connect(TrackBar, &QSlider::valueChanged, this, [this] { TrackBarChange(); });
    for (QToolButton* button : {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4}) {
        connect(button, &QToolButton::toggled, this, [this, button](bool down) { StepButtonToggled(button, down); });
        connect(button, &QToolButton::clicked, this, [this] { SpeedButtonD1Click(); });
    }
    connect(Label1, &TClickLabel::clicked, this, [this] { Label1Click(); });
    connect(Label2, &TClickLabel::clicked, this, [this] { Label2Click(); });

    InstallHooks();

    gLocalWarningShown = false;
}

TFrameSlider::~TFrameSlider() = default;

void TFrameSlider::BindControls()
{
    PanelBack = ui_->PanelBack;
    LabelName = ui_->LabelName;
    LabelUnit = ui_->LabelUnit;
    EditNum = ui_->EditNum;
    TrackBar = ui_->TrackBar;
    SpeedButtonUp = ui_->SpeedButtonUp;
    SpeedButtonDn = ui_->SpeedButtonDn;
    SpeedButtonD1 = ui_->SpeedButtonD1;
    SpeedButtonD2 = ui_->SpeedButtonD2;
    SpeedButtonD3 = ui_->SpeedButtonD3;
    SpeedButtonD4 = ui_->SpeedButtonD4;
    Label1 = ui_->Label1;
    Label2 = ui_->Label2;
    StaticTextMin = ui_->StaticTextMin;
    StaticTextMax = ui_->StaticTextMax;
    StaticTextMin2 = ui_->StaticTextMin2;
    StaticTextMax2 = ui_->StaticTextMax2;
    ShapeRange = ui_->ShapeRange;
    LabelMemori = ui_->LabelMemori;
    Shape1 = ui_->Shape1;
    Shape2 = ui_->Shape2;
    Shape3 = ui_->Shape3;
    Shape4 = ui_->Shape4;
    Shape5 = ui_->Shape5;
    Shape6 = ui_->Shape6;
    Shape7 = ui_->Shape7;
    Bevel1 = ui_->Bevel1;
    Bevel2 = ui_->Bevel2;
    EditColor = ui_->EditColor;
    CheckBoxSlider = ui_->CheckBoxSlider;
    SpeedButtonSet = ui_->SpeedButtonSet;
}

// Colours and pixel font sizes of the frame's resource (the form file keeps families only).
void TFrameSlider::ApplyLook()
{
    using namespace sliderlook;
    SetColour(this, kFace);
    SetColour(PanelBack, kFace);
    SetPixelSize(this, 16);
    for (QLabel* label : {LabelName, LabelUnit}) {
        SetColour(label, kSkyBlue);
        SetPixelSize(label, 27);
    }
    SetColour(EditNum, kSkyBlue);
    SetFontColour(EditNum, kSkyBlue);
    SetPixelSize(EditNum, 80);
    SetPixelSize(Label1, 13);
    SetPixelSize(Label2, 13);
    for (QLabel* text : {StaticTextMin, StaticTextMax, StaticTextMin2, StaticTextMax2}) {
        SetPixelSize(text, 19);
    }
    SetPixelSize(LabelMemori, 11);
    ShapeRange->SetColours(kLime);
    Shape1->SetColours(kSkyBlue);
    for (TSliderShape* outline : {Shape2, Shape3, Shape4, Shape5, Shape6, Shape7}) {
        outline->SetPenColour(kGrey);
        outline->SetFilled(false);
    }
    for (QToolButton* button : {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4}) {
        button->setStyleSheet(QString::fromLatin1(kStepButtonStyle));
        button->setFocusPolicy(Qt::NoFocus);
    }
    SpeedButtonUp->setFocusPolicy(Qt::NoFocus);
    SpeedButtonDn->setFocusPolicy(Qt::NoFocus);
}

bool TFrameSlider::LocalWarningShown()
{
    return gLocalWarningShown;
}

// ---- operations for the windows and the command module ----

void TFrameSlider::ShowModelValue(int16_t value)
{
    if (model_ == nullptr) {
        return;
    }
    lastApplied_ = value;
    // A report tells what the instrument holds; it is no gesture. A value that the operator
    // made meanwhile stays shown and still goes out, unless the instrument holds it already.
    if (pending_ == value) {
        pending_ = -1;
        TimerBusy->stop();
    }
    if (pending_ < 0) {
        model_->SetValue(value);
    }
}

void TFrameSlider::SyncTrack()
{
    if (model_ == nullptr) {
        return;
    }
    const int position = TrackBar->value();
    if (position != lastApplied_) {
        lastApplied_ = static_cast<int16_t>(position);
        model_->SetValue(lastApplied_);
    }
}

void TFrameSlider::DisableControl(QWidget* control)
{
    sliderlook::SetColour(control, sliderlook::kFace);
    control->setEnabled(false);
}

void TFrameSlider::FitScale(const ScaleFit& fit)
{
    sliderlook::PlaceTrack(TrackBar, fit.firstCentre, fit.span);
    sliderlook::SetSpacing(LabelMemori, fit.letterSpacing, fit.gapSpacing);
}

void TFrameSlider::SendCurrent()
{
}

void TFrameSlider::DropPending()
{
    ++generation_;
    pending_ = -1;
    TimerBusy->stop();
}

int TFrameSlider::StepButtonDown() const
{
    const QToolButton* buttons[] = {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4};
    for (int i = 0; i < 4; ++i) {
        if (buttons[i]->isChecked()) {
            return i;
        }
    }
    return -1;
}

void TFrameSlider::SetStepButtonDown(int index)
{
    QToolButton* buttons[] = {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4};
    for (int i = 0; i < 4; ++i) {
        buttons[i]->setChecked(i == index);
    }
}

// At most one of the group is down; a click on the down one releases it (all up).
void TFrameSlider::StepButtonToggled(QToolButton* button, bool down)
{
    if (!down) {
        return;
    }
    for (QToolButton* other : {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4}) {
        if (other != button) {
            other->setChecked(false);
        }
    }
}

// ---- internal operations ----

bool TFrameSlider::CanControl()
{
    if (model_ != nullptr && model_->IsConnected()) {
        return true;
    }
    if (!gLocalWarningShown) {
        gLocalWarningShown = true;
        ShowWarningMsg(QStringLiteral("In local mode , you can not control QMR3400."),
                       QStringLiteral("Please push the [Connect] button."), 0);
    }
    return false;
}

void TFrameSlider::TakeGesture(int16_t value, bool resend)
{
    DropPending();
    target_ = value;
    gestureSincePress_ = true;
    model_->SetValue(value);
    if (value == lastApplied_ && !resend) {
        return;
    }
    // A busy module would wait for idle inside the send, running the message loop under this
    // gesture; the retry sends the value once the module is free instead.
    if (model_->IsBusy()) {
        Defer(value);
        return;
    }
    const uint32_t generation = generation_;
    if (!Apply(value) && generation == generation_) {
        Defer(value);
    }
}

// What went out is what the instrument holds: the next gesture compares with it.
bool TFrameSlider::Apply(int16_t value)
{
    if (!model_->SendValue(value)) {
        return false;
    }
    lastApplied_ = value;
    return true;
}

void TFrameSlider::Defer(int16_t value)
{
    model_->SetValue(value);
    // Only an open link is waited for: a value made without one (the MIN and MAX labels and the
    // track bar's release have no connection test) must not go out on the next link, however
    // soon it opens.
    if (!model_->IsConnected()) {
        pending_ = -1;
        return;
    }
    pending_ = value;
    TimerBusy->start();
}

bool TFrameSlider::SendPending(int16_t value)
{
    return value == lastApplied_ || Apply(value);
}

void TFrameSlider::TrackPressed()
{
    gestureSincePress_ = false;
}

int16_t TFrameSlider::RoundAndClamp(int16_t value) const
{
    return model_->Clamp(model_->RoundToStep(value));
}

void TFrameSlider::SelectAllText(QLineEdit* edit)
{
    edit->setSelection(0, static_cast<int>(edit->text().size()));
}

int16_t TFrameSlider::LabelTarget(bool toMaximum)
{
    int16_t target;
    if (remembered_ == minimum_ || remembered_ == maximum_) {
        remembered_ = static_cast<int16_t>(TrackBar->value());
        target = toMaximum ? maximum_ : minimum_;
    } else {
        target = remembered_;
        remembered_ = toMaximum ? maximum_ : minimum_;
    }
    return target;
}

// ---- handlers ----

void TFrameSlider::TimerBusyTimer()
{
    TimerBusy->stop();
    if (pending_ < 0 || model_ == nullptr) {
        return;
    }
    // A value that waited for a link that has gone must not reach the next one.
    if (!model_->IsConnected()) {
        pending_ = -1;
        return;
    }
    // The limits may have changed while it waited (the loss range follows the frequency).
    const int16_t value = model_->Clamp(pending_);
    if (value != pending_) {
        pending_ = value;
        model_->SetValue(value);
    }
    if (model_->IsBusy()) {
        TimerBusy->start();
        return;
    }
    const uint32_t generation = generation_;
    const bool done = SendPending(value);
    // A newer target or a drop during the send decides what waits.
    if (generation != generation_) {
        return;
    }
    if (done) {
        pending_ = -1;
    } else {
        TimerBusy->start();
    }
}

void TFrameSlider::TrackBarChange()
{
    // The model's own thumb moves are no gestures: they neither send nor warn.
    if (model_ == nullptr || model_->IsGuarded()) {
        return;
    }
    if (!CanControl()) {
        return;
    }
    TakeGesture(RoundAndClamp(static_cast<int16_t>(TrackBar->value())));
}

// The end of a drag: its newest target once more (a value that the instrument reported during
// the drag does not replace it); after a mere click, the model's value. The target was rounded
// when it was taken, but the range may have narrowed while the button was held (a new
// frequency): what goes out is limited to the range in force now.
void TFrameSlider::ApplicationEvents1Message()
{
    TakeGesture(model_->Clamp(gestureSincePress_ ? target_ : model_->GetValue()));
}

bool TFrameSlider::TrackBarKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (model_ == nullptr || !CanControl()) {
        return false;
    }
    return TrackArrowKey(key, modifiers);
}

bool TFrameSlider::TrackArrowKey(int key, Qt::KeyboardModifiers modifiers)
{
    trackShift_ = modifiers.testFlag(Qt::ShiftModifier);
    trackCtrl_ = modifiers.testFlag(Qt::ControlModifier);
    if (key == Qt::Key_Up || key == Qt::Key_Right) {
        StepTrack(+1);
        return true;
    }
    if (key == Qt::Key_Down || key == Qt::Key_Left) {
        StepTrack(-1);
        return true;
    }
    return false;
}

void TFrameSlider::StepTrack(int16_t direction)
{
    int step = SpeedButtonD2->isChecked() ? direction * 10 : direction;
    if (SpeedButtonD3->isChecked()) {
        step *= 100;
    }
    if (step == direction) {
        if (trackShift_) {
            step *= 10;
        }
        if (trackCtrl_) {
            step *= 100;
        }
    }
    const int16_t value = model_->Clamp(static_cast<long long>(TrackBar->value()) + step);
    const bool was = model_->SetGuard(true);
    TakeGesture(value);
    model_->SetGuard(was);
}

void TFrameSlider::EditNumEnter()
{
    SelectAllText(EditNum);
}

bool TFrameSlider::EditNumKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    if (model_ == nullptr || !CanControl()) {
        return false;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        model_->SetEditShift(true);
    }
    if (modifiers.testFlag(Qt::ControlModifier)) {
        model_->SetEditCtrl(true);
    }
    if (key == Qt::Key_Up) {
        StepEdit(+1);
        return true;
    }
    if (key == Qt::Key_Down) {
        StepEdit(-1);
        return true;
    }
    return false;
}

void TFrameSlider::StepEdit(int16_t direction)
{
    const long long sum =
        static_cast<long long>(model_->TextToValue(EditNum->text())) + direction * model_->CurrentStep();
    TakeGesture(model_->Clamp(sum));
}

bool TFrameSlider::EditNumKeyUp(int key, Qt::KeyboardModifiers modifiers)
{
    if (model_ == nullptr || !CanControl()) {
        return false;
    }
    if (!modifiers.testFlag(Qt::ShiftModifier)) {
        model_->SetEditShift(false);
    }
    if (!modifiers.testFlag(Qt::ControlModifier)) {
        model_->SetEditCtrl(false);
    }
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        CommitEdit();
        return true;
    }
    return false;
}

void TFrameSlider::CommitEdit()
{
    TakeGesture(model_->Clamp(model_->TextToValue(EditNum->text())));
}

bool TFrameSlider::EditNumKeyPress(int character)
{
    if (model_ == nullptr || character != kEnter || !CanControl()) {
        return false;
    }
    // Sent even when it went out last; while busy the typed value waits rather than stay shown
    // unsent.
    TakeGesture(model_->Clamp(model_->TextToValue(EditNum->text())), true);
    SelectAllText(EditNum);
    return true;
}

void TFrameSlider::EditNumMouseUp()
{
    SelectAllText(EditNum);
}

// The step buttons and the wheel: one step of the model, sent at once; nothing while busy.
void TFrameSlider::StepAndSend(bool up, bool guarded)
{
    if (model_ == nullptr || !CanControl() || model_->IsBusy()) {
        return;
    }
    const int16_t value = up ? model_->StepUpOnce() : model_->StepDownOnce();
    const bool was = guarded ? model_->SetGuard(true) : model_->IsGuarded();
    TakeGesture(value, true);
    model_->SetGuard(was);
}

void TFrameSlider::SpeedButtonUpMouseUp()
{
    StepAndSend(true, true);
}

void TFrameSlider::SpeedButtonDnMouseUp()
{
    StepAndSend(false, true);
}

void TFrameSlider::SpeedButtonD1Click()
{
    EditNum->setFocus(Qt::OtherFocusReason);
}

void TFrameSlider::LabelClick(bool toMaximum)
{
    if (model_ == nullptr) {
        return;
    }
    TakeGesture(model_->Clamp(LabelTarget(toMaximum)));
}

void TFrameSlider::Label1Click()
{
    LabelClick(false);
}

void TFrameSlider::Label2Click()
{
    LabelClick(true);
}

void TFrameSlider::FrameMouseWheelUp()
{
    StepAndSend(true, false);
}

void TFrameSlider::FrameMouseWheelDown()
{
    StepAndSend(false, false);
}
