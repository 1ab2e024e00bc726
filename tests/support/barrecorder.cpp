#include "barrecorder.h"

#include <QProgressBar>
#include <QtTest>

BarRecorder::BarRecorder(QProgressBar *bar)
    : m_bar(bar)
{
    connect(bar, &QProgressBar::valueChanged, this, [this](int value) {
        // The text still shows what belonged to the previous value.
        if (!m_steps.isEmpty())
            m_steps.last().text = m_bar->format();
        m_steps.append({value, QString()});
    });
}

QList<BarRecorder::Step> BarRecorder::steps() const
{
    QList<Step> steps = m_steps;
    if (!steps.isEmpty())
        steps.last().text = m_bar->format();
    return steps;
}

QList<BarRecorder::Step> BarRecorder::stepsAfter(const QString &text) const
{
    const QList<Step> steps = this->steps();
    for (int i = 0; i < steps.size(); ++i) {
        if (steps.at(i).text == text)
            return steps.mid(i + 1);
    }
    return {};
}

char *toString(const BarRecorder::Step &step)
{
    return QTest::toString(QStringLiteral("(%1, \"%2\")").arg(step.value).arg(step.text));
}
