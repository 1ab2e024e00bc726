#include "modalboxes.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QPushButton>

ModalBoxes::ModalBoxes(QObject *parent)
    : QObject(parent)
{
    m_timer.setInterval(10);
    connect(&m_timer, &QTimer::timeout, this, &ModalBoxes::poll);
    m_timer.start();
}

void ModalBoxes::answerNext(QMessageBox::StandardButton button)
{
    m_answers.enqueue({button, {}});
}

void ModalBoxes::answerNextWhen(QMessageBox::StandardButton button, std::function<bool()> ready)
{
    m_answers.enqueue({button, std::move(ready)});
}

QStringList ModalBoxes::titles() const
{
    QStringList result;
    for (const Seen &s : m_seen)
        result << s.title;
    return result;
}

void ModalBoxes::poll()
{
    if (m_held && m_heldAnswer.ready()) {
        if (QAbstractButton *button = m_held->button(m_heldAnswer.button))
            button->click();
        m_held = nullptr;
    }
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        auto *dialog = qobject_cast<QDialog *>(window);
        if (!dialog || !dialog->isVisible() || !dialog->isModal())
            continue;
        // A dialog object can be reused for a later box only after it was
        // hidden; forget it once it is gone so a new box at the same address
        // is answered too.
        if (m_handled.contains(window))
            continue;
        m_handled.append(window);
        QPointer<QWidget> guard(window);
        connect(window, &QObject::destroyed, this, [this, window] { m_handled.removeAll(window); });
        answer(window);
        if (guard && !guard->isVisible())
            m_handled.removeAll(window);
    }
}

void ModalBoxes::answer(QWidget *window)
{
    auto *box = qobject_cast<QMessageBox *>(window);
    m_seen.append({window->windowTitle(), box ? box->text() : QString(),
                   box && box->defaultButton() ? box->standardButton(box->defaultButton())
                                               : QMessageBox::NoButton});
    if (!box) {
        static_cast<QDialog *>(window)->reject();
        return;
    }

    QAbstractButton *button = nullptr;
    if (!m_answers.isEmpty() && !m_held) {
        const Answer answer = m_answers.dequeue();
        if (answer.ready) {
            m_held = box;
            m_heldAnswer = answer;
            return;
        }
        button = box->button(answer.button);
    }
    if (!button)
        button = box->escapeButton();
    if (!button && box->buttons().size() == 1)
        button = box->buttons().constFirst();
    if (button)
        button->click();
    else
        box->reject();
}
