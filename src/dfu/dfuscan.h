#pragma once

#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>

// The USB identity a Ravlo device shows in DFU mode.
inline const QString kRavloVidPid = QStringLiteral("0483:df11");

// One device that `dfu-util -l` lists. The tool prints a line per alternate
// setting, for example
//   Found DFU: [0483:df11] ver=0200, devnum=5, cfg=1, intf=0, path="1-2", alt=0,
//   name="@Internal Flash  /0x08000000/04*016Kg,01*064Kg,07*128Kg", serial="3276386A3133"
// and those lines are folded into one device by its USB path: serials tell
// nothing apart, as many bootloaders report the same one on every board.
struct DfuDevice
{
    QString vidPid;       // as printed, e.g. "0483:df11"
    QString path;         // USB path, e.g. "1-2"; what -p selects
    QString serial;       // without quotes; empty when none was printed
    int devnum = -1;      // the bus address
    bool dfuMode = false; // "Found DFU:", not "Found Runtime:"
    QString flashLayout;  // the DfuSe name of alternate setting 0, the flash written

    // A device in DFU mode with the Ravlo identity.
    bool isRavlo() const;
    // Bytes of the memory that starts the layout, summed over its sectors
    // ("04*016Kg,01*064Kg" is 4 x 16 KiB + 64 KiB); 0 when there is no layout.
    qint64 flashSize() const;
    // "1-2" style key; the bus address where no path was printed.
    QString key() const;
};

// Which Ravlo devices a run may write: any, or only the one with a serial or
// at a USB path.
struct DeviceSelection
{
    QString serial;
    QString usbPath;

    bool admits(const DfuDevice &device) const;
    bool isAny() const { return serial.isEmpty() && usbPath.isEmpty(); }
};

// What one `dfu-util -l` said, read into devices.
struct DfuScan
{
    QList<DfuDevice> devices; // in listing order
    // Standard-error lines about the Ravlo identity (for example "Cannot open
    // DFU device 0483:df11 ... (LIBUSB_ERROR_ACCESS)"): they fail a scan.
    QStringList ravloProblems;
    // Everything else on standard error, such as a device of another identity
    // that cannot be opened: worth a debug line, never a failure.
    QStringList otherMessages;
    // The tool's raw output, for the diagnosis and the debug channel.
    QString listing;
    QString errors;

    // Standard output and standard error apart; given the same merged
    // output twice, the listing's lines are told from the errors by their form.
    static DfuScan parse(const QString &listing, const QString &errors);
    // The Ravlo devices in DFU mode that the selection admits, in listing order.
    QList<DfuDevice> candidates(const DeviceSelection &selection = {}) const;
    // The bus address a message names, as the tool's "Cannot open DFU device
    // 0483:df11 found on devnum 5 (LIBUSB_ERROR_ACCESS)" does; -1 when none.
    static int devnumIn(const QString &message);
};

Q_DECLARE_METATYPE(DfuScan)
