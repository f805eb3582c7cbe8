#include "app/windows/Frmsldfq.h"

#include "app/windows/Framemod.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QToolButton>

namespace {

const QColor kCheckBoxColour{0xC0, 0xDC, 0xC0};

void MoveTo(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(left, top, width, height);
}

void SetTop(QWidget* widget, int top)
{
    widget->move(widget->x(), top);
}

} // namespace

TFrameSliderFrq::TFrameSliderFrq(QWidget* parent) : TFrameSlider(parent)
{
    using namespace sliderlook;
    minimum_ = 10;
    maximum_ = 4000;
    // The MIN and MAX labels start from a limit: the first click on either jumps to it (a
    // remembered 0 would send the first MAX click down to the minimum).
    remembered_ = minimum_;

    // What this frame's resource changes in the inherited one: a lower frame.
    resize(width(), 109);
    MoveTo(PanelBack, 0, 0, width(), 109);
    SetColour(this, kSilver);
    LabelName->setText(QStringLiteral(" Frequency"));
    MoveTo(LabelName, LabelName->x(), LabelName->y(), LabelName->width(), 27);
    SetPixelSize(LabelName, 24);
    LabelUnit->setText(QStringLiteral("GHz"));
    MoveTo(LabelUnit, 675, LabelUnit->y(), 48, 27);
    SetPixelSize(LabelUnit, 24);
    MoveTo(SpeedButtonSet, SpeedButtonSet->x(), SpeedButtonSet->y(), SpeedButtonSet->width(), 27);
    SetPixelSize(SpeedButtonSet, 24);
    MoveTo(EditNum, EditNum->x(), 38, EditNum->width(), 54);
    SetPixelSize(EditNum, 53);
    MoveTo(TrackBar, TrackBar->x(), 64, TrackBar->width(), 28);
    TrackBar->setMinimum(10);
    TrackBar->setTickInterval(1000);
    SetTop(StaticTextMin, 38);
    MoveTo(StaticTextMax, 354, 38, StaticTextMax->width(), StaticTextMax->height());
    SetPixelSize(StaticTextMin, 21);
    SetPixelSize(StaticTextMax, 21);
    MoveTo(StaticTextMin2, 121, 38, StaticTextMin2->width(), StaticTextMin2->height());
    MoveTo(StaticTextMax2, 296, 38, StaticTextMax2->width(), StaticTextMax2->height());
    MoveTo(ShapeRange, 59, 62, 366, 32);
    MoveTo(LabelMemori, 145, 50, 195, 11);
    LabelMemori->setText(QStringLiteral("10                          20                           30"));
    // 0 to 40 GHz along the range bar; the scale's blanks narrowed so that the whole text fits
    // its width and each number stands over its thumb position.
    FitScale(kScale);
    MoveTo(SpeedButtonUp, SpeedButtonUp->x(), 39, SpeedButtonUp->width(), 26);
    MoveTo(SpeedButtonDn, SpeedButtonDn->x(), 65, SpeedButtonDn->width(), 26);
    for (QToolButton* button : {SpeedButtonD1, SpeedButtonD2, SpeedButtonD3, SpeedButtonD4}) {
        SetTop(button, 96);
    }
    SpeedButtonD4->setVisible(true);
    SetTop(CheckBoxSlider, 7);
    SetColour(CheckBoxSlider, kCheckBoxColour);
    // Outlines and bevels follow the controls they frame.
    MoveTo(Bevel1, 0, 28, Bevel1->width(), 2);
    MoveTo(Bevel2, 449, 36, 219, 58);
    MoveTo(Shape1, 666, 38, 7, 54);
    for (TSliderShape* outline : {Shape2, Shape3, Shape4, Shape5}) {
        SetTop(outline, 95);
    }
    MoveTo(Shape6, 681, 38, 44, 28);
    MoveTo(Shape7, 681, 64, 44, 28);
}

TFrameSliderFrq::~TFrameSliderFrq() = default;

void TFrameSliderFrq::SendCurrent()
{
    if (model_ == nullptr) {
        return;
    }
    const int16_t value = model_->GetValue();
    // The end of the editing is the newest target: a frequency that waits is replaced.
    DropPending();
    if (sending_) {
        // An earlier end of the editing still waits for the module further up: this one goes
        // out after it.
        Defer(value);
        return;
    }
    // The send waits for the module's running function, letting messages through.
    const uint32_t generation = generation_;
    sending_ = true;
    const bool sent = Apply(value);
    sending_ = false;
    // A refused frequency waits, unless the instrument has it already (the end of a connect
    // hands over the frequency just read, while the connect itself still holds the module),
    // or unless something newer came meanwhile. What the instrument has is what went out or
    // was reported last, not the device's frequency: a send that failed keeps its argument
    // there.
    if (!sent && generation == generation_ && value != lastApplied_) {
        Defer(value);
    }
}

bool TFrameSliderFrq::SendPending(int16_t value)
{
    return Apply(value);
}

int16_t TFrameSliderFrq::TrackSnap(int16_t value) const
{
    static constexpr int kSteps[4] = {1, 10, 100, 1000};
    const int down = StepButtonDown();
    int step = 1;
    if (down >= 0) {
        step = kSteps[down];
    } else {
        if (trackShift_) {
            step *= 10;
        }
        if (trackCtrl_) {
            step *= 100;
        }
    }
    if (step < 2) {
        return value;
    }
    return static_cast<int16_t>(((value + step / 2) / step) * step);
}

// Compared with the stored value: every gesture of this frame stores what it shows, so a
// move back to a value that another gesture replaced is taken again.
void TFrameSliderFrq::SetFromTrack(int16_t value)
{
    const int16_t v = model_->Clamp(TrackSnap(value));
    if (v == model_->GetValue()) {
        return;
    }
    model_->SetValue(v);
    TrackBar->setValue(v);
}

void TFrameSliderFrq::Take(long long value)
{
    model_->SetValue(model_->Clamp(value));
}

void TFrameSliderFrq::TrackBarChange()
{
    if (model_ == nullptr || model_->IsGuarded()) {
        return;
    }
    if (!CanControl()) {
        return;
    }
    SetFromTrack(static_cast<int16_t>(TrackBar->value()));
}

void TFrameSliderFrq::ApplicationEvents1Message()
{
    // The thumb comes to rest on the stored, step-rounded value.
    TrackBar->setValue(model_->GetValue());
}

bool TFrameSliderFrq::TrackBarKeyDown(int key, Qt::KeyboardModifiers modifiers)
{
    // The frequency frame's arrows only move the display: no connection test.
    if (model_ == nullptr) {
        return false;
    }
    return TrackArrowKey(key, modifiers);
}

void TFrameSliderFrq::StepTrack(int16_t direction)
{
    int step = direction;
    if (SpeedButtonD1->isChecked()) {
        step = direction;
    } else if (SpeedButtonD2->isChecked()) {
        step = direction * 10;
    } else if (SpeedButtonD3->isChecked()) {
        step = direction * 100;
    } else {
        if (trackShift_) {
            step *= 10;
        }
        if (trackCtrl_) {
            step *= 100;
        }
    }
    int value = TrackBar->value() + step;
    if (value > TrackBar->maximum()) {
        value = TrackBar->maximum();
    }
    if (value < TrackBar->minimum()) {
        value = TrackBar->minimum();
    }
    const bool was = model_->SetGuard(true);
    model_->SetValue(static_cast<int16_t>(value));
    model_->SetGuard(was);
}

void TFrameSliderFrq::SpeedButtonUpMouseUp()
{
    if (model_ != nullptr) {
        Take(static_cast<long long>(model_->TextToValue(EditNum->text())) + model_->CurrentStep());
    }
}

void TFrameSliderFrq::SpeedButtonDnMouseUp()
{
    if (model_ != nullptr) {
        Take(static_cast<long long>(model_->TextToValue(EditNum->text())) - model_->CurrentStep());
    }
}

void TFrameSliderFrq::FrameMouseWheelUp()
{
    if (model_ != nullptr) {
        Take(model_->StepUpOnce());
    }
}

void TFrameSliderFrq::FrameMouseWheelDown()
{
    if (model_ != nullptr) {
        Take(model_->StepDownOnce());
    }
}

bool TFrameSliderFrq::EditNumKeyPress(int character)
{
    // Not even while busy is the typed value left shown but unstored: Enter stores it and ends
    // the editing; a send that the busy module refuses waits.
    if (model_ == nullptr || character != kEnter || !CanControl()) {
        return false;
    }
    model_->SetValue(model_->Clamp(model_->TextToValue(EditNum->text())));
    // The command module ends the frequency editing, which sends the frequency.
    model_->OnSet();
    SelectAllText(EditNum);
    return true;
}

void TFrameSliderFrq::StepEdit(int16_t direction)
{
    const int16_t value =
        model_->Clamp(static_cast<long long>(model_->TextToValue(EditNum->text())) + direction * model_->CurrentStep());
    // The edit shows the snapped value it stores, as a thumb move would.
    const int16_t snapped = model_->Clamp(TrackSnap(value));
    SetFromTrack(snapped);
    model_->SetValue(snapped);
}

void TFrameSliderFrq::CommitEdit()
{
    Take(model_->TextToValue(EditNum->text()));
}

void TFrameSliderFrq::Label1Click()
{
    if (model_ != nullptr) {
        Take(LabelTarget(false));
    }
}

void TFrameSliderFrq::Label2Click()
{
    if (model_ != nullptr) {
        Take(LabelTarget(true));
    }
}
