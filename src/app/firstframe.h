#pragma once

#include <QObject>

#include <functional>

class QWidget;

// Runs a function once, after a top-level widget's first frame: its window
// has been mapped and the expose that mapped it has been painted. Work that
// need not be in that frame waits for it, so the window appears sooner.
class FirstFrame : public QObject
{
public:
    // The watch lives as long as the widget, or until it has run.
    static void then(QWidget *window, std::function<void()> function);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    FirstFrame(QWidget *window, std::function<void()> function);

    QWidget *const m_window;
    std::function<void()> m_function;
};
