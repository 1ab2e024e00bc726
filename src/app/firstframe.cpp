#include "firstframe.h"

#include <QTimer>
#include <QWidget>
#include <QWindow>

void FirstFrame::then(QWidget *window, std::function<void()> function)
{
    new FirstFrame(window, std::move(function));
}

FirstFrame::FirstFrame(QWidget *window, std::function<void()> function)
    : QObject(window)
    , m_window(window)
    , m_function(std::move(function))
{
    // The native window exists from the first show on.
    window->installEventFilter(this);
}

bool FirstFrame::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_window && event->type() == QEvent::Show && m_window->windowHandle()) {
        m_window->removeEventFilter(this);
        m_window->windowHandle()->installEventFilter(this);
    } else if (watched != m_window && event->type() == QEvent::Expose &&
               static_cast<QWindow *>(watched)->isExposed()) {
        watched->removeEventFilter(this);
        // The expose is painted when its handling returns; a zero timer
        // started now runs after that.
        QTimer::singleShot(0, this, [this] {
            m_function();
            deleteLater();
        });
    }
    return false;
}
