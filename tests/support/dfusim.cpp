#include "dfusim.h"

#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QSaveFile>

#include <iterator>

namespace {

const char kLdLibraryPath[] = "LD_LIBRARY_PATH";
const QLatin1String kDeviceList("devices");
const QLatin1String kFlash("flash.bin");

// RAVLO_DFUSIM_FAULT's names, in the order of DfuSimScenario::Fault.
const char *const kFaultNames[] = {"",           "open-denied", "start-in-error", "block-error",
                                   "stall",      "erase-error", "vanish",         "leave-silent",
                                   "leave-error"};
static_assert(std::size(kFaultNames) == size_t(DfuSimScenario::Fault::LeaveError) + 1,
              "a name for every fault");

QByteArray randomBytes(int size, quint32 seed)
{
    QRandomGenerator generator(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = static_cast<char>(generator.bounded(256));
    return bytes;
}

QList<QByteArray> pathEntries(const QByteArray &path)
{
    QList<QByteArray> entries = path.split(':');
    entries.removeAll(QFile::encodeName(DfuSimScenario::libraryDirectory()));
    entries.removeAll(QByteArray());
    return entries;
}

QByteArray withLibraryDirectory(const QByteArray &path)
{
    QList<QByteArray> entries = pathEntries(path);
    entries.prepend(QFile::encodeName(DfuSimScenario::libraryDirectory()));
    return entries.join(':');
}

} // namespace

DfuSimScenario::DfuSimScenario(const QString &directory)
    : m_directory(directory)
{}

void DfuSimScenario::setDirectory(const QString &directory)
{
    m_directory = directory;
    writeDeviceList();
}

DfuSimScenario &DfuSimScenario::addDevice(const QString &vidPid)
{
    m_devices << vidPid;
    writeDeviceList();
    return *this;
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

QString DfuSimScenario::filePath(const QString &name) const
{
    return m_directory.isEmpty() ? QString() : QDir(m_directory).filePath(name);
}

QByteArray DfuSimScenario::deviceList() const
{
    return m_devices.join(QLatin1Char(';')).toLatin1();
}

void DfuSimScenario::writeDeviceList() const
{
    if (m_directory.isEmpty())
        return;
    QSaveFile file(filePath(kDeviceList));
    if (!file.open(QIODevice::WriteOnly) || file.write(deviceList()) < 0 || !file.commit())
        qWarning("cannot write the simulated device list %s", qPrintable(file.fileName()));
}

bool DfuSimScenario::setFlash(const QByteArray &contents) const
{
    if (m_directory.isEmpty())
        return false;
    QDir directory(m_directory);
    for (const QString &written : directory.entryList({QStringLiteral("flash-*.bin")}))
        directory.remove(written);
    QSaveFile file(filePath(kFlash));
    return file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size() &&
           file.commit();
}

QByteArray DfuSimScenario::flash(int index) const
{
    // Named by the device's path, "1-<2+index>".
    QFile file(filePath(QStringLiteral("flash-1-%1.bin").arg(2 + index)));
    if (!file.exists())
        file.setFileName(filePath(kFlash));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QVector<DfuSimScenario::Setting> DfuSimScenario::settings() const
{
    QByteArray fault = kFaultNames[static_cast<int>(m_fault)];
    if (m_fault != Fault::None)
        fault += ':' + QByteArray::number(m_faultCount);
    const bool inFiles = !m_directory.isEmpty();
    return {
        {"RAVLO_DFUSIM_DEVICES", inFiles ? QByteArray() : deviceList()},
        {"RAVLO_DFUSIM_DEVICES_FILE", QFile::encodeName(filePath(kDeviceList))},
        {"RAVLO_DFUSIM_FAULT", fault},
        {"RAVLO_DFUSIM_POLL_MS", m_pollTimeout ? QByteArray::number(m_pollTimeout) : QByteArray()},
        {"RAVLO_DFUSIM_FLASH_DIR", QFile::encodeName(m_directory)},
    };
}

void DfuSimScenario::applyTo(QProcessEnvironment &environment) const
{
    for (const Setting &setting : settings()) {
        const QString name = QString::fromLatin1(setting.name);
        if (setting.value.isEmpty())
            environment.remove(name);
        else
            environment.insert(name, QFile::decodeName(setting.value));
    }
    const QString path = QString::fromLatin1(kLdLibraryPath);
    environment.insert(
        path, QFile::decodeName(withLibraryDirectory(QFile::encodeName(environment.value(path)))));
}

void DfuSimScenario::applyToThisProcess() const
{
    for (const Setting &setting : settings()) {
        if (setting.value.isEmpty())
            qunsetenv(setting.name);
        else
            qputenv(setting.name, setting.value);
    }
    qputenv(kLdLibraryPath, withLibraryDirectory(qgetenv(kLdLibraryPath)));
}

void DfuSimScenario::clearFromThisProcess()
{
    for (const Setting &setting : DfuSimScenario().settings())
        qunsetenv(setting.name);
    const QByteArray path = pathEntries(qgetenv(kLdLibraryPath)).join(':');
    if (path.isEmpty())
        qunsetenv(kLdLibraryPath);
    else
        qputenv(kLdLibraryPath, path);
}

QString DfuSimScenario::libraryDirectory()
{
    return QStringLiteral(RAVLO_DFUSIM_LIBRARY_DIR);
}

namespace DfuSim {

QByteArray previousFirmware()
{
    return randomBytes(kFlashSize, 20210226);
}

QByteArray image(int size, quint32 seed)
{
    return randomBytes(size, seed);
}

} // namespace DfuSim
