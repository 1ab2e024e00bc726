#include "findings.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace Diagnosis {

// Two sentences in a row, as the language writes them (a space in English).
QString sentences(const QString &first, const QString &second)
{
    if (second.isEmpty())
        return first;
    return QCoreApplication::translate("Diagnosis", "%1 %2", "one sentence after another")
        .arg(first, second);
}

namespace {

// The window's sentence speaks of its buttons and its log, the command
// line's of running the command again and of its output.
QString byFrontEnd(const Environment &environment, const QString &window,
                   const QString &commandLine)
{
    return environment.frontEnd == FrontEnd::CommandLine ? commandLine : window;
}

QString saveLog(const Environment &environment)
{
    return byFrontEnd(
        environment,
        QCoreApplication::translate(
            "Diagnosis",
            "save the log (right-click the log, then \"Save log…\") and contact support"),
        QCoreApplication::translate("Diagnosis", "keep the program's output and contact support"));
}

QString dfuModeSteps(const Environment &environment)
{
    return byFrontEnd(
        environment,
        QCoreApplication::translate(
            "Diagnosis",
            "Put the device into DFU mode: hold the \"1\" key, switch the device on, wait 2-3 "
            "seconds and release the key. Connect it with a data cable, not a charging-only cable, "
            "to a USB port on the computer itself rather than a hub; the question-mark button "
            "shows a picture of the steps."),
        QCoreApplication::translate(
            "Diagnosis",
            "Put the device into DFU mode: hold the \"1\" key, switch the device on, wait 2-3 "
            "seconds and release the key. Connect it with a data cable, not a charging-only cable, "
            "to a USB port on the computer itself rather than a hub."));
}

QString retry(const Environment &environment)
{
    return QCoreApplication::translate("Diagnosis", "If it happens again, %1.")
        .arg(saveLog(environment));
}

QString checkDevice(const Environment &environment)
{
    return QCoreApplication::translate(
               "Diagnosis", "Check that the connected device is a Ravlo device; if it is, %1.")
        .arg(saveLog(environment));
}

QString tryAgain(const Environment &environment)
{
    return byFrontEnd(environment,
                      QCoreApplication::translate("Diagnosis", "Press Upgrade to try again."),
                      QCoreApplication::translate("Diagnosis", "Run the command again."));
}

QString againInDfuMode(const Environment &environment)
{
    return byFrontEnd(environment,
                      QCoreApplication::translate(
                          "Diagnosis", "Put the device into DFU mode again and press Upgrade."),
                      QCoreApplication::translate(
                          "Diagnosis", "Put the device into DFU mode again and run the command "
                                       "again."));
}

// "0483:df11 at 1-2, 8087:0a2b at 1-7", or nothing when no scan came first.
QString seenDevices(const QList<DfuDevice> &devices)
{
    if (devices.isEmpty())
        return QString();
    QStringList seen;
    for (const DfuDevice &device : devices)
        seen << QCoreApplication::translate("Diagnosis", "%1 at %2", "a device at a USB path")
                    .arg(device.vidPid, device.key());
    return QCoreApplication::translate("Diagnosis", "The scan before it saw: %1.")
        .arg(seen.join(QStringLiteral(", ")));
}

QString reinstallAdvice(Platform platform)
{
    return platform == Platform::Windows
               ? QCoreApplication::translate("Diagnosis", "Reinstall the program.")
               : QCoreApplication::translate("Diagnosis",
                                             "Reinstall the program, or install dfu-util with "
                                             "\"sudo apt install dfu-util\".");
}

QString permissionAdvice(const Environment &environment)
{
    if (environment.udevRuleInstalled)
        return QCoreApplication::translate(
            "Diagnosis",
            "A udev rule for the device is installed; it gives access to the user logged in "
            "at the computer itself. Disconnect and reconnect the device, and run the program "
            "in a session at the computer itself rather than over a remote connection.");
    return QCoreApplication::translate(
        "Diagnosis",
        "Install the udev rule 70-ravlo-dfu.rules that comes with the program (\"sudo cp "
        "70-ravlo-dfu.rules /etc/udev/rules.d/\", then \"sudo udevadm control "
        "--reload-rules\"), or Debian's dfu-util package, which brings such a rule (\"sudo apt "
        "install dfu-util\"); then disconnect and reconnect the device.");
}

} // namespace

Finding make(Cause cause, const Environment &environment, const Details &details)
{
    // The tool talks to the device in every phase but the scan.
    const bool flash = details.phase != Phase::Scan;
    switch (cause) {
    case Cause::None:
        return {};
    case Cause::Permission:
        return {cause,
                QCoreApplication::translate("Diagnosis", "The Ravlo device is connected, but "
                                                         "this user may not open it."),
                permissionAdvice(environment)};
    case Cause::InUse:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The Ravlo device is connected, but another program is using it."),
                byFrontEnd(environment,
                           QCoreApplication::translate(
                               "Diagnosis", "Close other flashing tools and programs that use the "
                                            "device, then disconnect and reconnect it and press "
                                            "Upgrade again."),
                           QCoreApplication::translate(
                               "Diagnosis", "Close other flashing tools and programs that use the "
                                            "device, then disconnect and reconnect it and run the "
                                            "command again."))};
    case Cause::Driver:
        return {cause,
                QCoreApplication::translate("Diagnosis",
                                            "The Ravlo device is connected, but the WinUSB driver "
                                            "for its DFU mode is not installed."),
                QCoreApplication::translate(
                    "Diagnosis",
                    "Install the driver that comes with the program (right-click ravlo-dfu.inf "
                    "in the program's folder and choose Install, or run \"pnputil /add-driver "
                    "ravlo-dfu.inf /install\" as administrator), then disconnect and reconnect "
                    "the device.")};
    case Cause::NoDevice:
        return {cause,
                QCoreApplication::translate("Diagnosis", "No Ravlo device in DFU mode was found."),
                dfuModeSteps(environment)};
    case Cause::OtherDeviceOnly:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "A USB device in DFU mode was found, but it is not a Ravlo "
                                 "device."),
                sentences(QCoreApplication::translate("Diagnosis", "Disconnect the other device."),
                          dfuModeSteps(environment))};
    case Cause::SeveralDevices:
        return {cause,
                details.count > 1
                    ? QCoreApplication::translate("Diagnosis",
                                                  "%1 Ravlo devices in DFU mode were found.")
                          .arg(details.count)
                    : QCoreApplication::translate(
                          "Diagnosis", "More than one Ravlo device in DFU mode was found."),
                byFrontEnd(environment,
                           QCoreApplication::translate("Diagnosis", "Connect only the device to "
                                                                    "upgrade and press Upgrade "
                                                                    "again."),
                           QCoreApplication::translate(
                               "Diagnosis", "Name the device to upgrade with --serial, or "
                                            "upgrade them all with --all; or connect only the "
                                            "device to upgrade and run the command again."))};
    case Cause::SecondUnopenable:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "Besides the Ravlo device to upgrade, another one in DFU mode is "
                                 "connected that dfu-util cannot open; nothing was written."),
                byFrontEnd(environment,
                           QCoreApplication::translate("Diagnosis",
                                                       "Disconnect the Ravlo devices you do not "
                                                       "want to upgrade and press Upgrade again."),
                           QCoreApplication::translate(
                               "Diagnosis", "Name the device to upgrade with --serial, or "
                                            "disconnect the Ravlo devices you do not want to "
                                            "upgrade and run the command again."))};
    case Cause::SeveralInterfaces:
        return {cause,
                sentences(QCoreApplication::translate(
                              "Diagnosis", "dfu-util found more than one DFU device, although "
                                           "the program named its device by its USB path (%1).")
                              .arg(details.usbPath),
                          seenDevices(details.devices)),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "If another device that updates itself over "
                                                      "USB is plugged in (a sound card, a webcam, "
                                                      "a tool), disconnect it and press Upgrade "
                                                      "again."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "If another device that updates itself over "
                                                      "USB is plugged in (a sound card, a webcam, "
                                                      "a tool), disconnect it and run the command "
                                                      "again.")),
                          QCoreApplication::translate(
                              "Diagnosis", "Devices built into the computer, such as its "
                                           "Bluetooth or Wi-Fi, cannot be disconnected: if only "
                                           "those are left, %1.")
                              .arg(saveLog(environment)))};
    case Cause::ImageTooLarge:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware image (%1 bytes) is larger than the device's "
                                 "flash memory (%2 bytes); nothing was written.")
                    .arg(details.imageSize)
                    .arg(details.flashSize),
                checkDevice(environment)};
    case Cause::WrongImage:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware image does not fit this device's memory (wrong "
                                 "image or wrong device); nothing was written."),
                checkDevice(environment)};
    case Cause::ConnectionLost:
        return {cause,
                details.phase == Phase::ReadBack
                    ? QCoreApplication::translate(
                          "Diagnosis", "The connection to the device was lost while the firmware "
                                       "was being read back, so it is not known whether the "
                                       "device keeps it.")
                    : QCoreApplication::translate("Diagnosis",
                                                  "The USB connection to the device broke off; "
                                                  "the device may not be fully written."),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "It can still be upgraded: put it into DFU "
                                                      "mode again and press Upgrade."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "It can still be upgraded: put it into DFU "
                                                      "mode again and run the command again.")),
                          QCoreApplication::translate(
                              "Diagnosis",
                              "A USB link breaks off through the cable, the port, a hub or the "
                              "power: use another data cable on a port of the computer itself, "
                              "without a hub. A laptop running on its charger can break the "
                              "link through a poor ground; try it on battery."))};
    case Cause::DeviceRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device reported an error while storing the firmware."),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate("Diagnosis",
                                                                 "Press Upgrade to try once more."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "Run the command again to try once more.")),
                          retry(environment))};
    case Cause::WriteRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device refused to erase or write its flash memory."),
                sentences(QCoreApplication::translate(
                              "Diagnosis", "The flash may be protected, or the connection "
                                           "unstable: try once more on a short cable plugged "
                                           "into the computer without a hub."),
                          retry(environment))};
    case Cause::VerifyFailed:
        return {cause,
                QCoreApplication::translate("Diagnosis", "The device found that the firmware it "
                                                         "had written was wrong."),
                sentences(againInDfuMode(environment), retry(environment))};
    case Cause::AddressRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device refused the memory address the firmware is written "
                                 "to: the image is not meant for this device."),
                checkDevice(environment)};
    case Cause::Protected:
        return {cause,
                QCoreApplication::translate("Diagnosis", "The device's flash memory is "
                                                         "read-protected, so it refuses to be "
                                                         "written."),
                QCoreApplication::translate("Diagnosis", "Lifting the protection erases the whole "
                                                         "device; %1.")
                    .arg(saveLog(environment))};
    case Cause::ToolUsage:
        return {cause,
                QCoreApplication::translate("Diagnosis", "dfu-util did not accept the command "
                                                         "the program gave it (%1).")
                    .arg(details.reason),
                sentences(reinstallAdvice(environment.platform), retry(environment))};
    case Cause::ImageFile:
        return {cause,
                QCoreApplication::translate("Diagnosis", "dfu-util could not read or write a "
                                                         "file of the upgrade (%1).")
                    .arg(details.reason),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "Make sure the temporary folder has room "
                                                      "and may be written, then press Upgrade "
                                                      "again."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "Make sure the temporary folder has room "
                                                      "and may be written, then run the command "
                                                      "again.")),
                          retry(environment))};
    case Cause::FailedStep:
        return {cause,
                QCoreApplication::translate("Diagnosis",
                                            "dfu-util reported a failed step but ended as if it "
                                            "had succeeded; the device may not be fully written."),
                sentences(againInDfuMode(environment), retry(environment))};
    case Cause::NotKept:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device did not keep the firmware: what it gave back when "
                                 "it was read is not what was written."),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "The device is still in DFU mode: press "
                                                      "Upgrade to write it again."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "The device is still in DFU mode: run the "
                                                      "command again to write it again.")),
                          retry(environment))};
    case Cause::ReadBackRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware was written, but the device refused to be read "
                                 "back, so the write could not be checked. Devices with "
                                 "read-protected flash, and bootloaders that cannot read, do "
                                 "this."),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "Switch the device off and on again: if it "
                                                      "starts with the new firmware, the upgrade "
                                                      "worked. If not, put it into DFU mode and "
                                                      "press Upgrade again."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "Switch the device off and on again: if it "
                                                      "starts with the new firmware, the upgrade "
                                                      "worked. If not, put it into DFU mode and "
                                                      "run the command again.")),
                          retry(environment))};
    case Cause::ToolMissing:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "dfu-util, the tool that writes the firmware, was not found."),
                reinstallAdvice(environment.platform)};
    case Cause::ToolCannotStart:
        return {cause,
                details.reason.isEmpty()
                    ? QCoreApplication::translate(
                          "Diagnosis", "dfu-util, the tool that writes the firmware, could not "
                                       "be started.")
                    : QCoreApplication::translate(
                          "Diagnosis", "dfu-util, the tool that writes the firmware, could not "
                                       "be started (%1).")
                          .arg(details.reason),
                reinstallAdvice(environment.platform)};
    case Cause::ToolCrashed:
        return {cause,
                flash ? QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped unexpectedly while writing; the "
                                         "device may not be fully written.")
                      : QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped unexpectedly while looking for the "
                                         "device."),
                sentences(flash ? againInDfuMode(environment) : tryAgain(environment),
                          retry(environment))};
    case Cause::ToolHung:
        return {cause,
                flash ? QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped responding while writing and was "
                                         "ended; the device may not be fully written.")
                      : QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped responding while looking for the "
                                         "device and was ended."),
                sentences(byFrontEnd(environment,
                                     QCoreApplication::translate(
                                         "Diagnosis", "Disconnect the device, put it into DFU "
                                                      "mode again and press Upgrade."),
                                     QCoreApplication::translate(
                                         "Diagnosis", "Disconnect the device, put it into DFU "
                                                      "mode again and run the command again.")),
                          retry(environment))};
    case Cause::Unknown:
        return {cause,
                QCoreApplication::translate("Diagnosis", "dfu-util failed with exit code %1.")
                    .arg(details.exitCode),
                sentences(tryAgain(environment), retry(environment))};
    }
    return {};
}

QString Finding::inOneLine() const
{
    return sentences(what, advice);
}

Finding describe(Cause cause, const Environment &environment)
{
    return make(cause, environment);
}

Finding unusableTool(const QString &path, const Environment &environment)
{
    return make(QFileInfo::exists(path) ? Cause::ToolCannotStart : Cause::ToolMissing, environment);
}

Finding severalDevices(int count, const Environment &environment)
{
    Details details;
    details.count = count;
    return make(Cause::SeveralDevices, environment, details);
}

Finding imageTooLarge(qint64 imageSize, qint64 flashSize, const Environment &environment)
{
    Details details;
    details.imageSize = imageSize;
    details.flashSize = flashSize;
    return make(Cause::ImageTooLarge, environment, details);
}

} // namespace Diagnosis
