#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
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

    explicit ModalBoxes(QObject *parent = nullptr);

    // The next message box is answered with this button.
    void answerNext(QMessageBox::StandardButton button);
    // The same, but the box stays open until ready() holds; boxes opened
    // meanwhile are answered as usual.
    void answerNextWhen(QMessageBox::StandardButton button, std::function<bool()> ready);

    QList<Seen> seen() const { return m_seen; }
    int count() const { return m_seen.size(); }
    // Titles of the boxes seen so far, in order; handy in QCOMPARE.
    QStringList titles() const;

private:
    void poll();
    void answer(QWidget *window);

    struct Answer
    {
        QMessageBox::StandardButton button = QMessageBox::NoButton;
        std::function<bool()> ready;
    };

    QTimer m_timer;
    QQueue<Answer> m_answers;
    // A box waiting for its answer's condition.
    QPointer<QMessageBox> m_held;
    Answer m_heldAnswer;
    QList<Seen> m_seen;
    QList<QWidget *> m_handled;
};
