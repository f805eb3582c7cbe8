#pragma once
// The looks shared by the slider frames and the windows that hold them: their colours, the
// pixel font sizes of their forms, the painted rectangle that stands for a shape and the label
// that reports a click.

#include <QColor>
#include <QLabel>
#include <QWidget>

class QMouseEvent;
class QPaintEvent;
class QSlider;

// Colours of the slider frames and of the windows that hold them.
namespace sliderlook {
inline const QColor kFace{0xD4, 0xD0, 0xC8}; // the button face of the frames and windows
inline const QColor kSkyBlue{0xA6, 0xCA, 0xF0};
inline const QColor kGrey{0xA0, 0xA0, 0xA4};
inline const QColor kBlack{0x00, 0x00, 0x00};
inline const QColor kGreen{0x66, 0xFF, 0x66};
inline const QColor kLime{0x00, 0xFF, 0x00};
inline const QColor kSilver{0xC0, 0xC0, 0xC0};

// The widget's background (its background role: the base of an edit, the window of a label).
void SetColour(QWidget* widget, const QColor& colour);
QColor Colour(const QWidget* widget);
// The widget's text colour (its foreground role).
void SetFontColour(QWidget* widget, const QColor& colour);
QColor FontColour(const QWidget* widget);
// Font size in pixels (the forms give character heights in pixels).
void SetPixelSize(QWidget* widget, int pixels);
// Pixels added to (or, when negative, taken from) every character of the widget's font and to
// every run of blanks.
void SetSpacing(QWidget* widget, qreal letters, qreal gaps);
// Gives the track bar the left and width at which the thumb's centre stands at `firstCentre`
// (in its parent) for the minimum and `span` pixels further right for the maximum. The style
// decides how far in from the track bar's ends the thumb's centre can go.
void PlaceTrack(QSlider* track, int firstCentre, int span);
} // namespace sliderlook

// A rectangle drawn with a pen (outline) and, when filled, a brush.
class TSliderShape : public QWidget {
    Q_OBJECT

public:
    explicit TSliderShape(QWidget* parent = nullptr);

    void SetBrushColour(const QColor& colour);
    void SetPenColour(const QColor& colour);
    void SetFilled(bool filled);
    // Brush and pen alike.
    void SetColours(const QColor& colour);
    QColor BrushColour() const { return brush_; }
    QColor PenColour() const { return pen_; }
    bool IsFilled() const { return filled_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor brush_{Qt::white};
    QColor pen_{Qt::black};
    bool filled_ = true;
};

// A label that reports a click (left button pressed and released over it).
class TClickLabel : public QLabel {
    Q_OBJECT

public:
    explicit TClickLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    bool pressed_ = false;
};
