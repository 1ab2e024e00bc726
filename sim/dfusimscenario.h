#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QStringList>

// The simulated DfuSe bus (sim/dfusim) as a program sets it up: which devices
// the real dfu-util finds, which fault they show, how slowly they answer. It
// lives in files of a directory that every run of the tool reads when it
// starts: the device list, rewritten on every change so that devices can be
// plugged in while the code under test runs, and each device's flash, which
// persists from one run to the next. Device i sits at USB path "1-<2+i>".
// The tool finds the simulator through the environment, of one QProcess or
// of this process (whose children inherit it).
class DfuSimScenario
{
public:
    explicit DfuSimScenario(const QString &directory = QString());
    void setDirectory(const QString &directory);

    // A DfuSe bootloader with serial 3276386A3133 for the first device,
    // 3276386A3134 for the next...
    DfuSimScenario &addDevice(const QString &vidPid = QStringLiteral("0483:df11"));
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
    // Device index's flash as the last run that changed it left it.
    QByteArray flash(int index = 0) const;

    void applyTo(QProcessEnvironment &environment) const;
    void applyToThisProcess() const;

private:
    void writeDevices() const;

    QString m_directory;
    QStringList m_devices;
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
