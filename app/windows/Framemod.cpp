#include "app/windows/Framemod.h"

#include "app/instrument/Kmdlqmr.h"
#include "app/instrument/Scpinum.h"
#include "app/windows/Framslid.h"
#include "bramble/Bramble.h"

#include <QAbstractButton>
#include <QByteArray>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>

#include <cmath>
#include <limits>
#include <string>

namespace {

// Integer text of a value in units of 10^-decimals, exact (no floating point on the way).
QString FixedText(int value, int decimals)
{
    const long long v = value;
    const long long magnitude = v < 0 ? -v : v;
    long long scale = 1;
    for (int i = 0; i < decimals; ++i) {
        scale *= 10;
    }
    QString fraction = QString::number(magnitude % scale);
    while (fraction.size() < decimals) {
        fraction.prepend(QLatin1Char('0'));
    }
    QString text = v < 0 ? QStringLiteral("-") : QString();
    text += QString::number(magnitude / scale);
    text += QLatin1Char('.');
    text += fraction;
    return text;
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

KFrameModule::KFrameModule(int16_t maximum, int16_t minimum) : maximum_(maximum), minimum_(minimum)
{
}

KFrameModule::~KFrameModule() = default;

QString KFrameModule::ValueToText(int16_t value) const
{
    return FixedText(value, 1);
}

int KFrameModule::TextToValue(const QString& text) const
{
    return ScaledToInt(LeadingNumber(text), 10.0);
}

double KFrameModule::LeadingNumber(const QString& text)
{
    // Only the plain decimal form counts: no "nan", "inf" or hexadecimal spellings, and the
    // decimal point is always '.', whatever the locale says.
    const QByteArray bytes = text.toLatin1();
    const char* p = bytes.constData();
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f') {
        ++p;
    }
    std::string number;
    if (*p == '+' || *p == '-') {
        number += *p++;
    }
    bool digits = false;
    while (IsDigit(*p)) {
        number += *p++;
        digits = true;
    }
    if (*p == '.') {
        number += *p++;
        while (IsDigit(*p)) {
            number += *p++;
            digits = true;
        }
    }
    if (!digits) {
        return 0.0;
    }
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        if (*q == '+' || *q == '-') {
            ++q;
        }
        if (IsDigit(*q)) {
            number += *p++;
            while (p < q) {
                number += *p++;
            }
            while (IsDigit(*p)) {
                number += *p++;
            }
        }
    }
    const double value = scpinum::ParseLeadingDecimal(number.c_str());
    return std::isnan(value) ? 0.0 : value;
}

int KFrameModule::ScaledToInt(double number, double unit)
{
    const double scaled = number * unit + 0.5;
    if (std::isnan(scaled)) {
        return 0;
    }
    if (scaled >= static_cast<double>(std::numeric_limits<int>::max())) {
        return std::numeric_limits<int>::max();
    }
    if (scaled <= static_cast<double>(std::numeric_limits<int>::min())) {
        return std::numeric_limits<int>::min();
    }
    return static_cast<int>(scaled);
}

int16_t KFrameModule::Clamp(long long value) const
{
    if (value < minimum_) {
        value = minimum_;
    }
    if (value > maximum_) {
        value = maximum_;
    }
    return static_cast<int16_t>(value);
}

void KFrameModule::SetValue(int16_t value)
{
    value_ = Clamp(value);
    ShowValue(value);
    ShowOnTrackBar(value);
}

void KFrameModule::SetRange(int16_t maximum, int16_t minimum)
{
    maximum_ = maximum;
    minimum_ = minimum;
}

void KFrameModule::StepUp(int16_t count, int mode)
{
    long long value = value_ + static_cast<long long>(count) * kStepTable[mode & 3];
    // Logged before the limit: the line tells what the operator asked for.
    char tag[] = "UP";
    _WriteNumLog(tag, static_cast<int>(value));
    if (value > maximum_) {
        value = maximum_;
    }
    SetValue(scpinum::SaturateInt16(value));
}

void KFrameModule::StepDown(int16_t count, int mode)
{
    long long value = value_ - static_cast<long long>(count) * kStepTable[mode & 3];
    if (value < minimum_) {
        value = minimum_;
    }
    SetValue(scpinum::SaturateInt16(value));
}

void KFrameModule::OnSet()
{
}

void KFrameModule::ShowRange()
{
    if (frame_ == nullptr) {
        return;
    }
    frame_->StaticTextMax->setText(ValueToText(maximum_));
    frame_->StaticTextMin->setText(ValueToText(minimum_));
}

void KFrameModule::ShowValue(int16_t value)
{
    if (frame_ != nullptr) {
        frame_->EditNum->setText(ValueToText(value));
    }
}

void KFrameModule::ShowOnTrackBar(int16_t value)
{
    MoveThumb(value, false);
}

void KFrameModule::MoveThumb(int16_t value, bool keepLimits)
{
    if (frame_ == nullptr) {
        return;
    }
    int16_t p = value;
    if (p < minimum_) {
        p = minimum_;
    } else if (p > maximum_) {
        p = maximum_;
    }
    QSlider* track = frame_->TrackBar;
    // A change of the limits may move the thumb too: that is the model's move as well.
    const bool was = SetGuard(true);
    if (!keepLimits) {
        // The track bar's minimum never exceeds its maximum on the way.
        if (track->minimum() < maximum_) {
            track->setMaximum(maximum_);
            track->setMinimum(minimum_);
        } else {
            track->setMinimum(minimum_);
            track->setMaximum(maximum_);
        }
    }
    track->setValue(p);
    SetGuard(was);
}

void KFrameModule::SetTrackBarEnabled(bool on)
{
    if (frame_ != nullptr) {
        frame_->TrackBar->setEnabled(on);
    }
}

bool KFrameModule::IsBusy() const
{
    return module_ != nullptr && (module_->IsDeviceBusy() || module_->IsBusy());
}

bool KFrameModule::IsConnected() const
{
    return module_ != nullptr && module_->IsConnected();
}

int KFrameModule::CurrentStepMode() const
{
    if (frame_ != nullptr) {
        const int down = frame_->StepButtonDown();
        if (down >= 0) {
            return down;
        }
    }
    if (editShift_ && editCtrl_) {
        return 3;
    }
    if (editCtrl_) {
        return 2;
    }
    return editShift_ ? 1 : 0;
}

int16_t KFrameModule::CurrentStep() const
{
    return kStepTable[CurrentStepMode()];
}

int16_t KFrameModule::RoundToStep(int16_t value) const
{
    const int s = CurrentStep();
    if (s < 2) {
        return value;
    }
    return scpinum::SaturateInt16(static_cast<long long>((value + s / 2) / s) * s);
}

int16_t KFrameModule::StepUpOnce()
{
    StepUp(1, CurrentStepMode());
    return value_;
}

int16_t KFrameModule::StepDownOnce()
{
    StepDown(1, CurrentStepMode());
    return value_;
}

// ---- level ----

KFrameModulePP::KFrameModulePP() : KFrameModule(1000, 0)
{
}

KFrameModulePP::~KFrameModulePP() = default;

bool KFrameModulePP::SendValue(int16_t value)
{
    return module_ != nullptr && module_->SetLevel(value, true);
}

// ---- frequency ----

KFrameModuleFRQ::KFrameModuleFRQ() : KFrameModule(4000, 10)
{
}

KFrameModuleFRQ::~KFrameModuleFRQ() = default;

QString KFrameModuleFRQ::ValueToText(int16_t value) const
{
    return FixedText(value, 2);
}

int KFrameModuleFRQ::TextToValue(const QString& text) const
{
    return ScaledToInt(LeadingNumber(text), 100.0);
}

bool KFrameModuleFRQ::SendValue(int16_t value)
{
    return module_ != nullptr && module_->SetFrequency(value);
}

void KFrameModuleFRQ::OnSet()
{
    if (module_ != nullptr) {
        module_->OnFrequencySet();
    }
}

// ---- insertion loss ----

KFrameModuleDB::KFrameModuleDB() : KFrameModule(700, 0)
{
    absMaximum_ = 700;
    absMinimum_ = 0;
}

KFrameModuleDB::~KFrameModuleDB() = default;

void KFrameModuleDB::SetRange(int16_t maximum, int16_t minimum)
{
    maximum_ = maximum > absMaximum_ ? absMaximum_ : maximum;
    minimum_ = minimum < absMinimum_ ? absMinimum_ : minimum;
    ShowOnTrackBar(value_);
}

bool KFrameModuleDB::SendValue(int16_t value)
{
    return module_ != nullptr && module_->SetIL(value, true);
}

int16_t KFrameModuleDB::BarPixels(int16_t value) const
{
    if (absMaximum_ == 0) {
        return 0;
    }
    const double pixels = static_cast<double>(value) * barWidth_ / absMaximum_ + 0.5;
    return scpinum::SaturateInt16(pixels);
}

void KFrameModuleDB::ShowOnTrackBar(int16_t value)
{
    // The dB track bar keeps its own 0 to 700: the range bar shows the instrument's range.
    MoveThumb(value, true);
    if (frame_ == nullptr) {
        return;
    }
    const int left = barLeft_ + BarPixels(minimum_);
    const int width = BarPixels(maximum_) - BarPixels(minimum_) + 1;
    QWidget* bar = frame_->ShapeRange;
    bar->setGeometry(left, bar->y(), width, bar->height());
}

void KFrameModuleDB::ShowRange()
{
    if (frame_ == nullptr) {
        return;
    }
    frame_->StaticTextMax->setText(ValueToText(absMaximum_));
    frame_->StaticTextMin->setText(ValueToText(absMinimum_));
    frame_->StaticTextMax2->setText(ValueToText(maximum_));
    frame_->StaticTextMin2->setText(ValueToText(minimum_));
    sliderlook::SetColour(frame_->StaticTextMax2, sliderlook::kGreen);
    sliderlook::SetColour(frame_->StaticTextMin2, sliderlook::kGreen);
    frame_->ShapeRange->setVisible(true);
}
