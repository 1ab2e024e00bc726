#include "modalboxes.h"

#include <QApplication>
#include <QPushButton>

ModalBoxes::ModalBoxes()
{
    connect(&m_timer, &QTimer::timeout, this, &ModalBoxes::poll);
    m_timer.start(10);
}

void ModalBoxes::answerNext(QMessageBox::StandardButton button, std::function<bool()> ready)
{
    m_answers.enqueue({button, std::move(ready)});
}

QStringList ModalBoxes::titles() const
{
    QStringList result;
    for (const Seen &seen : m_seen)
        result << seen.title;
    return result;
}

void ModalBoxes::poll()
{
    if (m_held && m_heldAnswer.ready()) {
        if (QAbstractButton *button = m_held->button(m_heldAnswer.button))
            button->click();
        m_held = nullptr;
    }
    for (QWidget *window : QApplication::topLevelWidgets()) {
        auto *dialog = qobject_cast<QDialog *>(window);
        if (dialog && dialog->isVisible() && dialog->isModal() && dialog != m_held)
            answer(dialog);
    }
}

void ModalBoxes::answer(QDialog *dialog)
{
    auto *box = qobject_cast<QMessageBox *>(dialog);
    m_seen.append({dialog->windowTitle(), box ? box->text() : QString(),
                   box && box->defaultButton() ? box->standardButton(box->defaultButton())
                                               : QMessageBox::NoButton});
    if (!box) {
        dialog->reject();
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
