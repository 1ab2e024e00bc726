#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// A scenario for the simulated DfuSe bus (tests/dfusim): which devices the
// real dfu-util finds, how they misbehave, and where their flash is kept. It
// reaches dfu-util through the environment, either of one QProcess or of this
// process, so that a dfu-util started later by the code under test inherits it.
//
// With a directory, the bus lives in files there, which each run of dfu-util
// reads when it starts: the device list, rewritten on every change so that
// devices can be plugged in while the code under test runs, and each device's
// flash, saved by the run that changed it, so that it persists from one run of
// the tool to the next like a real device's.
//
// Devices count from 0 in the order they are added. Device i sits at path
// "1-<2+i>" with devnum 5+i.
class DfuSimScenario
{
public:
    enum class Fault
    {
        None,
        OpenDenied,   // opening a device fails with LIBUSB_ERROR_ACCESS
        StartInError, // devices start in dfuERROR
        BlockError,   // data block n gets an error status (programming failed)
        Stall,        // download request n (erase, set address or data) is stalled
        EraseError,   // erase n gets an error status
        Vanish,       // the device is gone from data block n on
        LeaveSilent,  // no status answer after the leave request
        LeaveError    // the leave request is answered with dfuERROR
    };

    explicit DfuSimScenario(const QString &directory = QString());
    void setDirectory(const QString &directory);

    // A DfuSe bootloader with the simulator's serial (3276386A3133 for the
    // first device, then 3276386A3134, ...).
    DfuSimScenario &addDevice(const QString &vidPid = QStringLiteral("0483:df11"));
    // n counts from 1.
    DfuSimScenario &setFault(Fault fault, int n = 1);
    DfuSimScenario &setPollTimeout(int milliseconds);

    // The flash contents every device starts the next run with, whatever
    // earlier runs wrote (needs a directory).
    bool setFlash(const QByteArray &contents) const;
    // Device index's flash as the last run that changed it left it, else as
    // setFlash() gave it; empty without either.
    QByteArray flash(int index = 0) const;

    void applyTo(QProcessEnvironment &environment) const;
    void applyToThisProcess() const;
    // Removes any scenario and the simulator from this process's environment.
    static void clearFromThisProcess();

    static QString libraryDirectory();

private:
    struct Setting
    {
        const char *name;
        QByteArray value; // empty: unset
    };
    QVector<Setting> settings() const;
    QString filePath(const QString &name) const;
    QByteArray deviceList() const;
    void writeDeviceList() const;

    QString m_directory;
    QStringList m_devices; // entries of RAVLO_DFUSIM_DEVICES
    Fault m_fault = Fault::None;
    int m_faultCount = 1;
    int m_pollTimeout = 0;
};

namespace DfuSim {

constexpr int kFlashSize = 1024 * 1024;

// What the flash holds before the new firmware: 1 MiB of fixed pseudo-random
// bytes.
QByteArray previousFirmware();
// A firmware image of the given size; seeds give different contents.
QByteArray image(int size, quint32 seed = 1);

} // namespace DfuSim
