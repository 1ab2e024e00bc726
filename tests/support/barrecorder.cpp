#include "barrecorder.h"

#include "engine/upgradeengine.h"

#include <QProgressBar>
#include <QtTest>

BarRecorder::BarRecorder(QProgressBar *bar)
    : m_bar(bar)
{
    // The bar's text has no signal: it is read when the next value comes.
    connect(bar, &QProgressBar::valueChanged, this,
            [this](int value) { onValue(value, m_bar->format()); });
}

BarRecorder::BarRecorder(UpgradeEngine *engine)
{
    connect(engine, &UpgradeEngine::barValue, this, [this](int value) {
        if (m_steps.isEmpty() || m_steps.last().value != value)
            onValue(value, m_steps.isEmpty() ? QString() : m_steps.last().text);
    });
    connect(engine, &UpgradeEngine::barText, this, [this](const QString &text) {
        if (!m_steps.isEmpty())
            m_steps.last().text = text;
    });
}

void BarRecorder::onValue(int value, const QString &previousText)
{
    if (!m_steps.isEmpty())
        m_steps.last().text = previousText;
    m_steps.append({value, QString()});
}

QList<BarRecorder::Step> BarRecorder::steps() const
{
    QList<Step> steps = m_steps;
    if (m_bar && !steps.isEmpty())
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
