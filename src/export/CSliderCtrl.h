#pragma once

#include <QSlider>

// The horizontal trackbar: no tick marks, line step 1, page step 200 (a fifth
// of the 0–1000 range it is given). Right, Down and Page Down move towards the
// maximum, Left, Up and Page Up towards the minimum, Home and End to either end.
class CSliderCtrl : public QSlider
{
    Q_OBJECT

public:
    CSliderCtrl();

    // Whether the position changes now as part of a run that goes on: a key
    // held down (its repeats) or the thumb dragged. The owner may then show
    // only the latest position once the waiting input has been handled.
    bool IsMovingOn() const { return m_bRepeating || isSliderDown(); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool m_bRepeating = false;
};
