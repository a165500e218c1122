#pragma once

#include <QSlider>

// The horizontal trackbar: no tick marks, line step 1, page step a fifth of
// the slider range CMorphTiming::kSliderMax (200). Right, Down and Page Down
// move towards the maximum, Left, Up and Page Up towards the minimum, Home
// and End to either end.
class CSliderCtrl : public QSlider
{
    Q_OBJECT

public:
    CSliderCtrl();

protected:
    void keyPressEvent(QKeyEvent* event) override;
};
