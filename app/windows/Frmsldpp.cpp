#include "app/windows/Frmsldpp.h"

#include <QLabel>
#include <QSlider>

TFrameSliderPp::TFrameSliderPp(QWidget* parent) : TFrameSlider(parent)
{
    // What this frame's resource changes in the inherited one.
    LabelName->setText(QStringLiteral("  Dynamic Range"));
    LabelUnit->setText(QStringLiteral("%"));
    LabelUnit->setGeometry(689, LabelUnit->y(), 24, LabelUnit->height());
    TrackBar->setPageStep(10);
    TrackBar->setVisible(false);
    // 0 to 100 % along the range bar; the scale's uneven blanks allow no closer fit than a
    // thumb that ends one pixel short of the bar.
    FitScale(kScale);
    minimum_ = 0;
    maximum_ = 1000;
}

TFrameSliderPp::~TFrameSliderPp() = default;
