#pragma once

#include <QList>
#include <QMetaType>
#include <QObject>
#include <QPointer>
#include <QString>

class QProgressBar;
class UpgradeEngine;

// Records what a progress bar showed, or what an engine told its bar to show:
// one step per value, with the last text shown while the bar held that value.
// The value comes first and then the text, so a step's text is the last one
// before the next value (or before the steps are read).
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
    explicit BarRecorder(UpgradeEngine *engine);

    QList<Step> steps() const;
    // The steps after the first one with this text; empty when none has it.
    QList<Step> stepsAfter(const QString &text) const;

private:
    void onValue(int value, const QString &previousText);

    QPointer<QProgressBar> m_bar;
    QList<Step> m_steps;
};

Q_DECLARE_METATYPE(BarRecorder::Step)

// For QCOMPARE's messages.
char *toString(const BarRecorder::Step &step);
