#pragma once
// Where the style draws a track bar's thumb, as the toolkit computes it for painting, and a
// turn of the mouse wheel over a control.

#include <QApplication>
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QWheelEvent>
#include <QWidget>

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

// One notch of the wheel (delta 120) up, or down with -120.
inline void Wheel(QWidget* target, int delta)
{
    const QPointF at(5, 5);
    QWheelEvent event(at, target->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(target, &event);
}

} // namespace slidertest
