#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QQueue>
#include <QTimer>

#include <functional>

// Answers the modal boxes and dialogs that the code under test opens, and
// records what they said. It watches from a timer, so it also serves boxes
// opened inside a constructor or inside another nested event loop.
//
// Without a queued answer a message box is closed with its escape button (or
// its only button) and any other dialog is rejected.
class ModalBoxes : public QObject
{
    Q_OBJECT
public:
    struct Seen
    {
        QString title;
        QString text;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    ModalBoxes();
    // The next message box is answered with this button, once ready() holds;
    // boxes opened meanwhile are answered as usual.
    void answerNext(QMessageBox::StandardButton button, std::function<bool()> ready = {});

    QList<Seen> seen() const { return m_seen; }
    int count() const { return m_seen.size(); }
    QStringList titles() const;

private:
    struct Answer
    {
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        std::function<bool()> ready;
    };

    void poll();
    void answer(QDialog *dialog);

    QTimer m_timer;
    QQueue<Answer> m_answers;
    QPointer<QMessageBox> m_held; // a box waiting for its answer's condition
    Answer m_heldAnswer;
    QList<Seen> m_seen;
};
