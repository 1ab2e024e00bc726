#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// The simulated DfuSe bus (sim/dfusim) as a program sets it up: which devices
// the real dfu-util finds, which fault they show, how slowly they answer. It
// lives in files of a directory that every run of the tool reads when it
// starts: the device list, rewritten on every change so that devices can be
// plugged in and out while the code under test runs, and each device's flash,
// which persists from one run to the next. A device plugged into port P sits
// at USB path "1-P" with serial 3276386A31<31+P>; every attach gets a bus
// address (devnum) of its own, as a real bus gives one. The tool finds the
// simulator through the environment, of one QProcess or of this process
// (whose children inherit it).
class DfuSimScenario
{
public:
    explicit DfuSimScenario(const QString &directory = QString());
    void setDirectory(const QString &directory);

    // A DfuSe bootloader plugged into the port after the highest in use (2
    // first): serial 3276386A3133 for the first device, 3276386A3134 for the
    // next...
    DfuSimScenario &addDevice(const QString &vidPid = QStringLiteral("0483:df11"));
    // A new board in the port: a new attach, with the flash setFlash() gave,
    // whatever a board before it there was written.
    DfuSimScenario &plug(int port, const QString &vidPid = QStringLiteral("0483:df11"));
    DfuSimScenario &unplug(int port);
    // What goes wrong on every device (sim/dfusim/libusb.cpp says how); the
    // fault hits the n-th request of its kind.
    enum class Fault
    {
        None,
        OpenDenied,
        BlockError,
        Stall,
        EraseError,
        Vanish,
        LeaveSilent,
        KeepsNothing,  // acknowledges every block and keeps none
        ReadProtected, // refuses to read its flash back
        VanishReading, // gone at the n-th block read back
    };
    DfuSimScenario &setFault(Fault fault, int n = 1);
    DfuSimScenario &setPollTimeout(int milliseconds);

    // The flash every device starts the next run with, whatever earlier runs wrote.
    bool setFlash(const QByteArray &contents) const;
    // The flash of the device at port 2+index as the last run that changed it left it.
    QByteArray flash(int index = 0) const;

    void applyTo(QProcessEnvironment &environment) const;
    void applyToThisProcess() const;

private:
    struct Attached
    {
        int port;
        int devnum;
        QString vidPid;
    };

    void writeDevices() const;
    QString flashFile(int port) const;

    QString m_directory;
    QList<Attached> m_devices;
    int m_attaches = 0; // so far, for the next bus address
    Fault m_fault = Fault::None;
    int m_faultCount = 1;
    int m_pollTimeout = 0;
};

namespace DfuSim {
constexpr int kFlashSize = 1024 * 1024;
// Bytes of the given size; seeds give different contents.
QByteArray image(int size, quint32 seed = 1);
// What the flash holds before the new firmware.
inline QByteArray previousFirmware()
{
    return image(kFlashSize, 20210226);
}
} // namespace DfuSim
