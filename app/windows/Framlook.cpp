#include "app/windows/Framlook.h"

#include <QFont>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionSlider>

// ---- colours ----

namespace sliderlook {

void SetColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(widget->backgroundRole(), colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QColor Colour(const QWidget* widget)
{
    return widget->palette().color(widget->backgroundRole());
}

void SetFontColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(widget->foregroundRole(), colour);
    widget->setPalette(palette);
}

QColor FontColour(const QWidget* widget)
{
    return widget->palette().color(widget->foregroundRole());
}

void SetPixelSize(QWidget* widget, int pixels)
{
    QFont font = widget->font();
    font.setPixelSize(pixels);
    widget->setFont(font);
}

void SetSpacing(QWidget* widget, qreal letters, qreal gaps)
{
    QFont font = widget->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, letters);
    font.setWordSpacing(gaps);
    widget->setFont(font);
}

namespace {

// The thumb's centre in the track bar for the lowest (0) or the highest (1) position.
int ThumbCentreAt(const QSlider* track, int position)
{
    QStyleOptionSlider option;
    option.initFrom(track);
    option.orientation = track->orientation();
    option.tickPosition = track->tickPosition();
    option.minimum = 0;
    option.maximum = 1;
    option.sliderPosition = position;
    option.sliderValue = position;
    option.subControls = QStyle::SC_SliderHandle;
    return track->style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, track).center().x();
}

} // namespace

void PlaceTrack(QSlider* track, int firstCentre, int span)
{
    const int inset = ThumbCentreAt(track, 0);
    const int outset = track->width() - ThumbCentreAt(track, 1);
    track->setGeometry(firstCentre - inset, track->y(), span + inset + outset, track->height());
}

} // namespace sliderlook

// ---- shape and clickable label ----

TSliderShape::TSliderShape(QWidget* parent) : QWidget(parent)
{
}

void TSliderShape::SetBrushColour(const QColor& colour)
{
    brush_ = colour;
    update();
}

void TSliderShape::SetPenColour(const QColor& colour)
{
    pen_ = colour;
    update();
}

void TSliderShape::SetFilled(bool filled)
{
    filled_ = filled;
    update();
}

void TSliderShape::SetColours(const QColor& colour)
{
    brush_ = colour;
    pen_ = colour;
    update();
}

void TSliderShape::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(pen_);
    if (filled_) {
        painter.setBrush(brush_);
    } else {
        painter.setBrush(Qt::NoBrush);
    }
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

TClickLabel::TClickLabel(QWidget* parent) : QLabel(parent)
{
}

void TClickLabel::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void TClickLabel::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click) {
        emit clicked();
    }
}
