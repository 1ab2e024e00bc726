#include "dfusim.h"

#include <QDir>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {

const QString kLibraryDirectory = QStringLiteral(RAVLO_DFUSIM_LIBRARY_DIR);

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

DfuSimScenario &DfuSimScenario::setFault(const QByteArray &fault)
{
    m_fault = fault;
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
    const auto set = [&environment](const QString &name, const QString &value) {
        if (value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, value);
    };
    set("RAVLO_DFUSIM_DEVICES_FILE", QDir(m_directory).filePath("devices"));
    set("RAVLO_DFUSIM_FLASH_DIR", m_directory);
    set("RAVLO_DFUSIM_FAULT", QString::fromLatin1(m_fault));
    set("RAVLO_DFUSIM_POLL_MS", m_pollTimeout ? QString::number(m_pollTimeout) : QString());
    QStringList path = environment.value("LD_LIBRARY_PATH").split(':', Qt::SkipEmptyParts);
    path.removeAll(kLibraryDirectory);
    set("LD_LIBRARY_PATH", (QStringList{kLibraryDirectory} + path).join(':'));
}

void DfuSimScenario::applyToThisProcess() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    applyTo(environment);
    for (const char *name : {"RAVLO_DFUSIM_DEVICES_FILE", "RAVLO_DFUSIM_FLASH_DIR",
                             "RAVLO_DFUSIM_FAULT", "RAVLO_DFUSIM_POLL_MS", "LD_LIBRARY_PATH"}) {
        const QString value = environment.value(QLatin1String(name));
        if (value.isEmpty())
            qunsetenv(name);
        else
            qputenv(name, value.toLocal8Bit());
    }
}

void DfuSimScenario::clearFromThisProcess()
{
    for (const char *name : {"RAVLO_DFUSIM_DEVICES_FILE", "RAVLO_DFUSIM_FLASH_DIR",
                             "RAVLO_DFUSIM_FAULT", "RAVLO_DFUSIM_POLL_MS"})
        qunsetenv(name);
    QStringList path = qEnvironmentVariable("LD_LIBRARY_PATH").split(':', Qt::SkipEmptyParts);
    path.removeAll(kLibraryDirectory);
    qputenv("LD_LIBRARY_PATH", path.join(':').toLocal8Bit());
}

namespace DfuSim {

QByteArray image(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

} // namespace DfuSim
