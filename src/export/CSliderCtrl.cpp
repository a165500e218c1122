#include "export/CSliderCtrl.h"

#include "document/CMorphTiming.h"

#include <QKeyEvent>

CSliderCtrl::CSliderCtrl() : QSlider(Qt::Horizontal)
{
    setTickPosition(QSlider::NoTicks);
    setSingleStep(1);
    setPageStep(CMorphTiming::kSliderMax / 5);
    setFocusPolicy(Qt::StrongFocus);
}

void CSliderCtrl::keyPressEvent(QKeyEvent* event)
{
    // QSlider moves up for Up and Page Up; the trackbar counts them as
    // steps towards its top, which is the minimum.
    SliderAction action = SliderNoAction;
    switch (event->key()) {
    case Qt::Key_Right:
    case Qt::Key_Down: action = SliderSingleStepAdd; break;
    case Qt::Key_Left:
    case Qt::Key_Up: action = SliderSingleStepSub; break;
    case Qt::Key_PageDown: action = SliderPageStepAdd; break;
    case Qt::Key_PageUp: action = SliderPageStepSub; break;
    case Qt::Key_Home: action = SliderToMinimum; break;
    case Qt::Key_End: action = SliderToMaximum; break;
    default: QSlider::keyPressEvent(event); return;
    }
    triggerAction(action);
    event->accept();
}
