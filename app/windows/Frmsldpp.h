#pragma once
// The level slider of the percent window: the slider frame with its own captions ("Dynamic
// Range", "%"), a page step of 1.0 % and the track bar hidden until the window shows it. Its
// limits are the frame's own, 0 to 1000.

#include "app/windows/Framslid.h"

class TFrameSliderPp : public TFrameSlider {
    Q_OBJECT

public:
    explicit TFrameSliderPp(QWidget* parent = nullptr);
    ~TFrameSliderPp() override;
};
