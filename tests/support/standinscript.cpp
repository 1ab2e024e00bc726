#include "standinscript.h"

#include "escape.h"
#include "toolslot.h"

#include <QFile>

namespace {

const char kScriptVariable[] = "RAVLO_STANDIN_SCRIPT";
const char kListScriptVariable[] = "RAVLO_STANDIN_LIST_SCRIPT";

QByteArray escaped(const QByteArray &text)
{
    return QByteArray::fromStdString(standin::escape(text.toStdString()));
}

} // namespace

StandInScript &StandInScript::add(const QByteArray &command, const QByteArray &argument)
{
    m_text += command;
    if (!argument.isEmpty())
        m_text += ' ' + argument;
    m_text += '\n';
    return *this;
}

StandInScript &StandInScript::out(const QByteArray &text)
{
    return add("out", escaped(text));
}

StandInScript &StandInScript::err(const QByteArray &text)
{
    return add("err", escaped(text));
}

StandInScript &StandInScript::replay(const QString &path, int chunkBytes, int delayMs)
{
    return add("replay", QByteArray::number(chunkBytes) + ' ' + QByteArray::number(delayMs) + ' ' +
                             escaped(QFile::encodeName(path)));
}

StandInScript &StandInScript::sleep(int milliseconds)
{
    return add("sleep", QByteArray::number(milliseconds));
}

StandInScript &StandInScript::record(const QString &path)
{
    return add("record", escaped(QFile::encodeName(path)));
}

StandInScript &StandInScript::exit(int code)
{
    return add("exit", QByteArray::number(code));
}

StandInScript &StandInScript::crash(const QByteArray &signalName)
{
    return add("signal", signalName);
}

StandInScript &StandInScript::hang()
{
    return add("hang", QByteArray());
}

bool StandInScript::save(const QString &path) const
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(m_text) == m_text.size();
}

namespace StandIn {

QString executable()
{
    return QStringLiteral(RAVLO_STANDIN_EXECUTABLE);
}

bool install()
{
    return ToolSlot::installExecutable(executable());
}

void useScript(const QString &scriptPath)
{
    qputenv(kScriptVariable, QFile::encodeName(scriptPath));
}

void useScript(QProcessEnvironment &environment, const QString &scriptPath)
{
    environment.insert(QString::fromLatin1(kScriptVariable), scriptPath);
}

void useListScript(const QString &scriptPath)
{
    qputenv(kListScriptVariable, QFile::encodeName(scriptPath));
}

void clearScript()
{
    qunsetenv(kScriptVariable);
    qunsetenv(kListScriptVariable);
}

Record readRecord(const QString &path)
{
    Record record;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return record;
    bool hasDirectory = false;
    for (const QByteArray &line : file.readAll().split('\n')) {
        if (line.isEmpty())
            continue;
        std::string value;
        if (!standin::unescape(line.mid(4).toStdString(), value))
            return record;
        const QString text = QFile::decodeName(QByteArray::fromStdString(value));
        if (line.startsWith("cwd ")) {
            record.workingDirectory = text;
            hasDirectory = true;
        } else if (line.startsWith("arg ")) {
            record.arguments << text;
        } else {
            return record;
        }
    }
    record.valid = hasDirectory;
    return record;
}

} // namespace StandIn
