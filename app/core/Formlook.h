#pragma once
// The looks the program's windows share: the colours of what is on, off and lit, a filled
// background, and fonts sized in pixels as the forms give them.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QString>
#include <QWidget>

namespace formlook {

inline const QColor kAqua{0x00, 0xFF, 0xFF};   // what is on
inline const QColor kNavy{0x00, 0x00, 0x80};   // what is off
inline const QColor kYellow{0xFF, 0xFF, 0x00}; // a lit lamp
inline const QColor kRed{0xFF, 0x00, 0x00};
inline const QColor kGrey{0x80, 0x80, 0x80};

// Paints the widget's whole background in the colour.
inline void Fill(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

inline void SetPixelFont(QWidget* widget, const QString& family, int pixels)
{
    QFont font(family);
    font.setPixelSize(pixels);
    widget->setFont(font);
}

} // namespace formlook
