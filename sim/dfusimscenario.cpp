#include "dfusimscenario.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {
bool save(const QString &path, const QByteArray &contents)
{
    QSaveFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
           file.commit();
}
} // namespace

DfuSimScenario::DfuSimScenario(const QString &directory)
    : m_directory(directory)
{}

void DfuSimScenario::setDirectory(const QString &directory)
{
    m_directory = directory;
    writeDevices();
}

DfuSimScenario &DfuSimScenario::addDevice(const QString &vidPid)
{
    m_devices << vidPid;
    writeDevices();
    return *this;
}

void DfuSimScenario::writeDevices() const
{
    if (!m_directory.isEmpty())
        save(QDir(m_directory).filePath("devices"), m_devices.join(';').toLatin1());
}

DfuSimScenario &DfuSimScenario::setFault(Fault fault, int n)
{
    m_fault = fault;
    m_faultCount = n;
    return *this;
}

DfuSimScenario &DfuSimScenario::setPollTimeout(int milliseconds)
{
    m_pollTimeout = milliseconds;
    return *this;
}

bool DfuSimScenario::setFlash(const QByteArray &contents) const
{
    QDir directory(m_directory);
    for (const QString &written : directory.entryList({QStringLiteral("flash-*.bin")}))
        directory.remove(written);
    return save(directory.filePath("flash.bin"), contents);
}

QByteArray DfuSimScenario::flash(int index) const
{
    QFile file(QDir(m_directory).filePath(QStringLiteral("flash-1-%1.bin").arg(2 + index)));
    if (!file.exists())
        file.setFileName(QDir(m_directory).filePath("flash.bin"));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void DfuSimScenario::applyTo(QProcessEnvironment &environment) const
{
    const QString library = QStringLiteral(RAVLO_DFUSIM_LIBRARY_DIR);
    QStringList path = environment.value("LD_LIBRARY_PATH").split(':', Qt::SkipEmptyParts);
    path.removeAll(library);
    environment.insert("LD_LIBRARY_PATH", (QStringList{library} + path).join(':'));
    environment.insert("RAVLO_DFUSIM_DEVICES_FILE", QDir(m_directory).filePath("devices"));
    environment.insert("RAVLO_DFUSIM_FLASH_DIR", m_directory);
    // As RAVLO_DFUSIM_FAULT takes them, in the order of Fault.
    static const char *const names[] = {
        "",       "open-denied",  "block-error",   "stall",          "erase-error",
        "vanish", "leave-silent", "keeps-nothing", "read-protected", "vanish-reading"};
    static_assert(sizeof(names) / sizeof(*names) == int(Fault::VanishReading) + 1,
                  "a name for every fault");
    environment.insert(
        "RAVLO_DFUSIM_FAULT",
        m_fault == Fault::None
            ? QString()
            : QStringLiteral("%1:%2").arg(QLatin1String(names[int(m_fault)])).arg(m_faultCount));
    environment.insert("RAVLO_DFUSIM_POLL_MS", QString::number(m_pollTimeout));
}

void DfuSimScenario::applyToThisProcess() const
{
    QProcessEnvironment environment;
    environment.insert("LD_LIBRARY_PATH", qEnvironmentVariable("LD_LIBRARY_PATH"));
    applyTo(environment);
    for (const QString &name : environment.keys())
        qputenv(qPrintable(name), environment.value(name).toLocal8Bit());
}

QByteArray DfuSim::image(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}
