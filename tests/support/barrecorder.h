#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>

class QProgressBar;

// Records what a progress bar showed: one step per value, with the last text
// the bar showed while it held that value. The code under test sets the value
// first and then the text, and only the value has a signal, so a step's text
// is taken when the next value arrives (or when the steps are read).
//
//   BarRecorder recorder(harness.bar());
//   ... run ...
//   QCOMPARE(recorder.steps().last(), (BarRecorder::Step{0, "Ready"}));
class BarRecorder : public QObject
{
    Q_OBJECT
public:
    struct Step
    {
        int value = 0;
        QString text;

        bool operator==(const Step &other) const
        {
            return value == other.value && text == other.text;
        }
    };

    explicit BarRecorder(QProgressBar *bar);

    QList<Step> steps() const;
    // The steps after the first one with this text; empty when none has it.
    QList<Step> stepsAfter(const QString &text) const;

private:
    QProgressBar *m_bar;
    QList<Step> m_steps;
};

Q_DECLARE_METATYPE(BarRecorder::Step)

// For QCOMPARE's messages.
char *toString(const BarRecorder::Step &step);
