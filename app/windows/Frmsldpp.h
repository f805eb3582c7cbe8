#pragma once
// The level slider of the percent window: the slider frame with its own captions ("Dynamic
// Range", "%"), a page step of 1.0 % and the track bar hidden until the window shows it. Its
// limits are the frame's own, 0 to 1000.

#include "app/windows/Framslid.h"

class TFrameSliderPp : public TFrameSlider {
    Q_OBJECT

public:
    // The thumb from 0.0 % at 76 to 100.0 % at 406, along the range bar, and the spacing of
    // the scale that puts its numbers over those thumb positions.
    static constexpr ScaleFit kScale{76, 330, -0.5, 4.05};

    explicit TFrameSliderPp(QWidget* parent = nullptr);
    ~TFrameSliderPp() override;
};
