#pragma once

#include <QList>
#include <QMessageBox>
#include <QObject>
#include <QQueue>
#include <QTimer>

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
        QString className;
        QString title;
        QString text;
        QString informativeText;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    };

    explicit ModalBoxes(QObject *parent = nullptr);

    // The next message box is answered with this button.
    void answerNext(QMessageBox::StandardButton button);

    QList<Seen> seen() const { return m_seen; }
    int count() const { return m_seen.size(); }
    // Titles of the boxes seen so far, in order; handy in QCOMPARE.
    QStringList titles() const;

private:
    void poll();
    void answer(QWidget *window);

    QTimer m_timer;
    QQueue<QMessageBox::StandardButton> m_answers;
    QList<Seen> m_seen;
    QList<QWidget *> m_handled;
};
