#include "console.h"

#include "cli/resultnames.h"

#include <QJsonDocument>
#include <QMetaEnum>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace {

template <typename Enum>
QString enumName(Enum value)
{
    return QString::fromLatin1(QMetaEnum::fromType<Enum>().valueToKey(int(value)));
}

QString runStageName(RunProgress::Stage stage)
{
    static const char *const names[] = {"scan",  "download",  "verify", "connect", "erase",
                                        "write", "read-back", "leave",  "done"};
    static_assert(sizeof(names) / sizeof(*names) == int(RunProgress::Stage::Done) + 1,
                  "a name for every stage");
    return QString::fromLatin1(names[int(stage)]);
}

} // namespace

Console::Mode Console::detect(bool json)
{
    if (json)
        return Mode::Json;
    return isatty(fileno(stdout)) ? Mode::Terminal : Mode::Plain;
}

Console::Console(Mode mode)
    : m_mode(mode)
    , m_out(stdout)
    , m_err(stderr)
{}

QString Console::label(const QString &device)
{
    return device.isEmpty() ? QString() : QStringLiteral("[%1] ").arg(device);
}

void Console::report(const QString &line, const QJsonObject &object)
{
    if (m_mode != Mode::Json)
        printLine(m_out, line);
    else if (!object.isEmpty())
        emitJson(object);
}

void Console::phase(const QString &device, UpgradeEngine::Phase phase)
{
    if (m_mode == Mode::Json)
        emitJson({{"event", "phase"}, {"device", device}, {"phase", enumName(phase)}});
}

void Console::progress(const QString &device, const RunProgress &progress)
{
    switch (m_mode) {
    case Mode::Json:
        emitJson({{"event", "progress"},
                  {"device", device},
                  {"stage", runStageName(progress.stage)},
                  {"percent", progress.percent},
                  {"value", progress.value},
                  {"text", progress.text}});
        return;
    case Mode::Terminal:
        m_progress[device] = label(device) + progress.text;
        redraw();
        return;
    case Mode::Plain: {
        // A line for every stage and every tenth of it, and for a new text
        // that is no step further.
        const auto printed = m_printed.constFind(device);
        const bool further = printed == m_printed.constEnd() || printed->stage != progress.stage ||
                             printed->percent / 10 != progress.percent / 10;
        const bool news = printed != m_printed.constEnd() && printed->percent == progress.percent &&
                          printed->text != progress.text;
        if (!further && !news)
            return;
        m_printed[device] = progress;
        printLine(m_out, label(device) + progress.text);
        return;
    }
    }
}

void Console::log(const QString &device, UpgradeEngine::Level level, const QString &text)
{
    if (m_mode == Mode::Json) {
        emitJson({{"event", "log"},
                  {"device", device},
                  {"level", enumName(level).toLower()},
                  {"text", text}});
        return;
    }
    printLine(level == UpgradeEngine::Level::Error ? m_err : m_out, label(device) + text);
}

void Console::upgraded(const QString &device, bool verified)
{
    using ResultName::Verdict;
    result(device,
           {{"verdict", ResultName::verdict(verified ? Verdict::Verified : Verdict::Written)}},
           {verified ? tr("upgraded") : tr("upgraded, not verified (--no-verify)")}, true);
}

void Console::unproven(const QString &device, const Diagnosis::Finding &finding)
{
    result(device,
           {{"verdict", ResultName::verdict(ResultName::Verdict::Unproven)},
            {"cause", ResultName::cause(finding.cause)},
            {"what", finding.what},
            {"advice", finding.advice}},
           {tr("written, not verified: %1").arg(finding.what), finding.advice}, false);
}

void Console::failed(const QString &device, const UpgradeFailure &failure)
{
    const Diagnosis::Finding &finding = failure.finding;
    QStringList lines = {tr("not upgraded: %1").arg(failure.reason)};
    if (finding.cause != Diagnosis::Cause::None)
        lines << finding.inOneLine();
    result(device,
           {{"verdict", ResultName::verdict(ResultName::Verdict::Failed)},
            {"stage", ResultName::stage(failure.stage)},
            {"reason", failure.reason},
            {"cause", ResultName::cause(finding.cause)},
            {"what", finding.what},
            {"advice", finding.advice}},
           lines, false);
}

void Console::result(const QString &device, QJsonObject object, const QStringList &lines, bool ok)
{
    m_progress.remove(device);
    object.insert("event", "result");
    object.insert("device", device);
    object.insert("ok", ok);
    if (m_mode == Mode::Json)
        emitJson(object);
    // With --json a success is its event alone; a diagnosis is printed in every mode.
    if (!ok || m_mode != Mode::Json) {
        QStringList labelled;
        for (const QString &line : lines)
            labelled << label(device) + line;
        printLine(ok ? m_out : m_err, labelled.join(QLatin1Char('\n')));
    }
    redraw();
}

void Console::note(const QString &text)
{
    report(text, {{"event", "note"}, {"text", text}});
}

void Console::endProgress(const QString &device)
{
    if (m_progress.remove(device) > 0)
        redraw();
}

void Console::summary(int upgraded, int unproven, int failed)
{
    report(
        tr("%1 upgraded, %2 written but not verified, %3 failed")
            .arg(upgraded)
            .arg(unproven)
            .arg(failed),
        {{"event", "summary"}, {"upgraded", upgraded}, {"unproven", unproven}, {"failed", failed}});
}

void Console::emitJson(QJsonObject object)
{
    if (object.value("device").toString().isEmpty())
        object.remove("device");
    m_out << QJsonDocument(object).toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}

void Console::printLine(QTextStream &stream, const QString &line)
{
    if (m_mode == Mode::Terminal && m_drawn > 0) {
        // Up to the first progress line and clear from there down.
        m_out << "\x1b[" << m_drawn << "F\x1b[J";
        m_out.flush();
        m_drawn = 0;
    }
    stream << line << '\n';
    stream.flush();
    if (m_mode == Mode::Terminal)
        redraw();
}

void Console::redraw()
{
    if (m_mode != Mode::Terminal)
        return;
    if (m_drawn > 0)
        m_out << "\x1b[" << m_drawn << 'F';
    for (const QString &line : m_progress)
        m_out << "\x1b[2K" << line << '\n';
    if (m_drawn > m_progress.size())
        m_out << "\x1b[J";
    m_drawn = int(m_progress.size());
    m_out.flush();
}
