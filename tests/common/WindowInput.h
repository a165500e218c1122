#pragma once

#include <QApplication>
#include <QEvent>
#include <QObject>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>

// Mouse input through the window system, as a user's arrives, rather than
// sent straight to a widget: a right click there is followed by a
// context-menu event that travels up the widgets until one takes it.
inline void WindowClick(QWidget* widget, Qt::MouseButton button, const QPoint& pos)
{
    QWidget* top = widget->window();
    const QPoint at = widget->mapTo(top, pos);
    QTest::mousePress(top->windowHandle(), button, {}, at);
    QTest::mouseRelease(top->windowHandle(), button, {}, at);
}

// Counts the popups that open while it lives and closes each at once, so a
// test that opens one by mistake goes on and can say so.
class PopupWatch
{
public:
    PopupWatch()
    {
        m_timer.setInterval(0);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            if (QWidget* popup = QApplication::activePopupWidget()) {
                ++count;
                popup->close();
            }
        });
        m_timer.start();
    }

    int count = 0;

private:
    QTimer m_timer;
};

// Counts the events of one type that reach a widget.
class EventCounter : public QObject
{
public:
    EventCounter(QWidget* widget, QEvent::Type type) : m_type(type) { widget->installEventFilter(this); }

    int count = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == m_type)
            ++count;
        return false;
    }

private:
    QEvent::Type m_type;
};
