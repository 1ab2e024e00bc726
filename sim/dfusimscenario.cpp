#include "dfusimscenario.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSaveFile>

#include <algorithm>

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
    int port = 1;
    for (const Attached &device : qAsConst(m_devices))
        port = std::max(port, device.port);
    return plug(port + 1, vidPid);
}

DfuSimScenario &DfuSimScenario::plug(int port, const QString &vidPid)
{
    unplug(port);
    // A host hands out addresses 1 to 127 in turn; the first device gets 5.
    const int devnum = 1 + (4 + m_attaches++) % 127;
    m_devices << Attached{port, devnum, vidPid};
    if (!m_directory.isEmpty())
        QFile::remove(flashFile(port));
    writeDevices();
    return *this;
}

DfuSimScenario &DfuSimScenario::unplug(int port)
{
    m_devices.erase(std::remove_if(m_devices.begin(), m_devices.end(),
                                   [port](const Attached &device) { return device.port == port; }),
                    m_devices.end());
    writeDevices();
    return *this;
}

void DfuSimScenario::writeDevices() const
{
    if (m_directory.isEmpty())
        return;
    QStringList entries;
    for (const Attached &device : m_devices)
        entries
            << QStringLiteral("%1@%2/%3").arg(device.vidPid).arg(device.port).arg(device.devnum);
    save(QDir(m_directory).filePath("devices"), entries.join(';').toLatin1());
}

QString DfuSimScenario::flashFile(int port) const
{
    return QDir(m_directory).filePath(QStringLiteral("flash-1-%1.bin").arg(port));
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
    QFile file(flashFile(2 + index));
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
