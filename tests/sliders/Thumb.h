#pragma once
// Where the style draws a track bar's thumb, as the toolkit computes it for painting.

#include <QPoint>
#include <QRect>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

namespace slidertest {

// The thumb at the track bar's present position, in the track bar.
inline QRect ThumbRect(const QSlider* track)
{
    QStyleOptionSlider option;
    option.initFrom(track);
    option.orientation = track->orientation();
    option.minimum = track->minimum();
    option.maximum = track->maximum();
    option.sliderPosition = track->sliderPosition();
    option.sliderValue = track->value();
    option.tickPosition = track->tickPosition();
    option.subControls = QStyle::SC_SliderHandle;
    return track->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, track);
}

inline QPoint ThumbCentre(const QSlider* track)
{
    return ThumbRect(track).center();
}

} // namespace slidertest
