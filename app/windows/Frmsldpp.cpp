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
    minimum_ = 0;
    maximum_ = 1000;
}

TFrameSliderPp::~TFrameSliderPp() = default;
