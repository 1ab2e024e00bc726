#include "diagnosis.h"

#include "dfuoutput.h"
#include "dfuscan.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace Diagnosis {

namespace {

// What the sentences of some causes name besides the cause.
struct Details
{
    Phase phase = Phase::Flash;
    int count = 0;
    QString reason;
    int exitCode = 0;
    qint64 imageSize = 0;
    qint64 flashSize = 0;
    QList<DfuDevice> devices; // what the scan saw
    QString usbPath;          // the device the program named
};

// The sentences are made when asked for, in the language installed then.

// Two sentences in a row, as the language writes them (a space in English).
QString sentences(const QString &first, const QString &second)
{
    if (second.isEmpty())
        return first;
    return QCoreApplication::translate("Diagnosis", "%1 %2", "one sentence after another")
        .arg(first, second);
}

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

Finding make(Cause cause, const Environment &environment, const Details &details = {})
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

// What a message of the tool says about how its run ended; the first rule
// whose phrase a message holds decides.
enum class Ending
{
    StartFailure, // the loader or libusb stopped the tool before it did anything
    OpenRefused,  // the device could not be opened or claimed: the libusb error says why
    NoDevice,     // nothing to open: a refusal before it says why, if there is one
    SeveralDevices,
    WrongImage,   // the image does not fit the device's memory; nothing written
    Usage,        // the tool did not take its command
    ImageFile,    // the tool could not read or write a file
    StatusLost,   // a status request failed: the answer was lost on the link
    Transfer,     // a request failed: the device's status says why, else the link broke
    Refused,      // the device's status says why, else it refused
    EraseRefused, // the device's status says why, else it refused to erase
    LinkLost,     // the device went away
};

struct Rule
{
    const char *phrase;
    Ending ending;
};

const Rule kEndings[] = {
    {"error while loading shared libraries", Ending::StartFailure},
    {"unable to initialize libusb", Ending::StartFailure},
    {"Cannot open DFU device", Ending::OpenRefused},
    {"Cannot open device", Ending::OpenRefused},
    {"Cannot claim interface", Ending::OpenRefused},
    {"Cannot set alternate interface", Ending::OpenRefused},
    {"Cannot set configuration", Ending::OpenRefused},
    {"No DFU capable USB device available", Ending::NoDevice},
    {"Device still in Run-Time Mode", Ending::NoDevice},
    {"Device is not in DFU mode", Ending::NoDevice},
    {"More than one DFU capable USB device found", Ending::SeveralDevices},
    {"is not writeable", Ending::WrongImage},
    {"can not be erased", Ending::WrongImage},
    {"is not readable", Ending::WrongImage},
    {"not meant for raw download", Ending::WrongImage},
    {"Only DfuSe file version", Ending::WrongImage},
    {"for raw binary download", Ending::WrongImage},
    {"does not match device", Ending::WrongImage},
    {"Invalid dfuse", Ending::Usage},
    {"Something went wrong with the argument", Ending::Usage},
    {"No digits were found", Ending::Usage},
    {"Transfer size must be specified", Ending::Usage},
    {"Unsupported mode", Ending::Usage},
    {"without USB path support", Ending::Usage},
    {"Usage: dfu-util", Ending::Usage},
    {"Cannot open file", Ending::ImageFile},
    {"Corrupt DfuSe file", Ending::ImageFile},
    {"File too small", Ending::ImageFile},
    {"No valid DfuSe signature", Ending::ImageFile},
    {"No valid target signature", Ending::ImageFile},
    {"format revision", Ending::ImageFile},
    {"get_status", Ending::StatusLost},
    {"unable to read DFU status", Ending::StatusLost},
    {"Lost device after RESET", Ending::LinkLost},
    {"error resetting", Ending::LinkLost},
    {"libusb_control_transfer returned", Ending::Transfer},
    {"libusb_control_msg returned", Ending::Transfer},
    {"Error during", Ending::Transfer},
    {"Error sending", Ending::Transfer},
    {"Failed to write whole chunk", Ending::Transfer},
    {"USB communication error", Ending::Transfer},
    {"can't send DFU_ABORT", Ending::Transfer},
    {"ERASE_PAGE not correctly executed", Ending::EraseRefused},
    {"MASS_ERASE not correctly executed", Ending::EraseRefused},
    {"not correctly executed", Ending::Refused},
    {"Wrong state after command", Ending::Refused},
    {"Device stuck after special command", Ending::Refused},
    {"Status is not OK", Ending::Refused},
    {"error clear_status", Ending::Refused},
    {"Failed to enter idle state", Ending::Refused},
};

// A message of the tool without the program name its errors begin with. The
// Windows builds print theirs bare.
QString bare(const QString &message)
{
    static const QRegularExpression name(QStringLiteral("^dfu-util(?:\\.exe)?: "));
    return QString(message).remove(name);
}

std::optional<Ending> endingOf(const QString &message)
{
    for (const Rule &rule : kEndings) {
        if (message.contains(QLatin1String(rule.phrase))) {
            // A device of another identity that cannot be opened is not this run's.
            static const QRegularExpression other(
                QStringLiteral("Cannot open DFU device ([0-9a-fA-F]{4}:[0-9a-fA-F]{4})"));
            const QString identity = other.match(message).captured(1);
            if (!identity.isEmpty() && identity.compare(kRavloVidPid, Qt::CaseInsensitive) != 0)
                return std::nullopt;
            return rule.ending;
        }
    }
    return std::nullopt;
}

// The libusb error a message names, "LIBUSB_ERROR_ACCESS" or empty.
QString libusbError(const QString &message)
{
    static const QRegularExpression name(QStringLiteral("LIBUSB_ERROR_[A-Z_]+"));
    return name.match(message).captured(0);
}

// Why a Ravlo device could not be opened, by the libusb error; older tools
// name none.
Cause openCause(const QString &message, Platform platform)
{
    const QString error = libusbError(message);
    const bool windows = platform == Platform::Windows;
    if (error == QLatin1String("LIBUSB_ERROR_ACCESS"))
        return windows ? Cause::InUse : Cause::Permission;
    if (error == QLatin1String("LIBUSB_ERROR_BUSY"))
        return Cause::InUse;
    // A Windows device without WinUSB, or one that came back after a reset
    // without a driver for its new identity.
    if (error == QLatin1String("LIBUSB_ERROR_NOT_SUPPORTED") ||
        error == QLatin1String("LIBUSB_ERROR_NOT_FOUND"))
        return windows ? Cause::Driver : Cause::ConnectionLost;
    if (!error.isEmpty())
        return Cause::ConnectionLost;
    return windows ? Cause::Driver : Cause::Permission;
}

// What the device's DFU status names (USB DFU 1.1's errXXX codes).
std::optional<Cause> statusCause(int status)
{
    switch (status) {
    case 0: // OK
        return std::nullopt;
    case 1: // errTARGET
    case 8: // errADDRESS
        return Cause::AddressRefused;
    case 3: // errWRITE
    case 4: // errERASE
    case 5: // errCHECK_ERASED
    case 6: // errPROG
        return Cause::WriteRefused;
    case 7: // errVERIFY
        return Cause::VerifyFailed;
    case 11: // errVENDOR: an STM32 reports its flash's read protection so
        return Cause::Protected;
    case 12: // errUSBR
    case 13: // errPOR
        return Cause::ConnectionLost;
    default:
        return Cause::DeviceRefused;
    }
}

// The status of the device's last state report before message index end,
// "DFU state(10) = dfuERROR, status(6) = ..." (older tools: "state(10) = ...");
// a status that was cleared since counts for nothing.
std::optional<Cause> reportedStatus(const QStringList &messages, int end)
{
    static const QRegularExpression state(
        QStringLiteral("state\\(\\d+\\) = \\S+, status\\((\\d+)\\)"));
    static const QRegularExpression notOk(QStringLiteral("Status is not OK: (\\d+)"));
    for (int i = end; i >= 0; --i) {
        const QString &message = messages.at(i);
        if (message.contains(QLatin1String("Clearing status")))
            return std::nullopt;
        QRegularExpressionMatch match = state.match(message);
        if (!match.hasMatch())
            match = notOk.match(message);
        if (match.hasMatch())
            return statusCause(match.captured(1).toInt());
    }
    return std::nullopt;
}

// What the message that ended a flash means, with what came before it.
Cause endingCause(Ending ending, const QStringList &messages, int at, Platform platform)
{
    const QString &message = messages.at(at);
    switch (ending) {
    case Ending::StartFailure:
        return Cause::ToolCannotStart;
    case Ending::OpenRefused:
        return openCause(message, platform);
    case Ending::NoDevice:
        // The device was there, but the tool could not open it.
        for (int i = at - 1; i >= 0; --i) {
            if (endingOf(messages.at(i)) == Ending::OpenRefused)
                return openCause(messages.at(i), platform);
        }
        return Cause::NoDevice;
    case Ending::SeveralDevices:
        return Cause::SeveralInterfaces;
    case Ending::WrongImage:
        return Cause::WrongImage;
    case Ending::Usage:
        return Cause::ToolUsage;
    case Ending::ImageFile:
        return Cause::ImageFile;
    case Ending::StatusLost:
    case Ending::LinkLost:
        return Cause::ConnectionLost;
    case Ending::Transfer:
        return reportedStatus(messages, at).value_or(Cause::ConnectionLost);
    case Ending::Refused:
        return reportedStatus(messages, at).value_or(Cause::DeviceRefused);
    case Ending::EraseRefused:
        return reportedStatus(messages, at).value_or(Cause::WriteRefused);
    }
    return Cause::Unknown;
}

// The message that ended the run: the last one a rule knows, reading back
// from the end, so a probe's complaint early on does not hide what broke a
// write later. -1 when there is none.
int endingAt(const QStringList &messages)
{
    for (int i = int(messages.size()) - 1; i >= 0; --i) {
        if (endingOf(messages.at(i)))
            return i;
    }
    return -1;
}

QStringList bareMessages(const QString &output)
{
    QStringList messages = DfuOutput::messages(output);
    for (QString &message : messages)
        message = bare(message);
    return messages;
}

Finding toolFailure(const Run &run, const Environment &environment)
{
    Details details;
    details.phase = run.phase;
    switch (*run.processError) {
    case QProcess::FailedToStart:
        if (run.errorString.contains(QLatin1String("No such file"), Qt::CaseInsensitive) ||
            run.errorString.contains(QLatin1String("cannot find the file"), Qt::CaseInsensitive))
            return make(Cause::ToolMissing, environment);
        // "execvp: Permission denied", "Process failed to start: Access is denied."
        details.reason = run.errorString.section(QStringLiteral(": "), -1);
        return make(Cause::ToolCannotStart, environment, details);
    case QProcess::Timedout:
        return make(Cause::ToolHung, environment, details);
    default:
        return make(Cause::ToolCrashed, environment, details);
    }
}

Finding readListing(const Run &run, const Environment &environment)
{
    const QStringList messages = bareMessages(run.output);
    const int at = endingAt(messages);
    if (at >= 0 && endingOf(messages.at(at)) == Ending::StartFailure) {
        Details details;
        details.reason = messages.at(at);
        return make(Cause::ToolCannotStart, environment, details);
    }
    const Finding finding = diagnoseScan(DfuScan::parse(run.output, run.output), {}, environment);
    const bool nothingFound =
        finding.cause == Cause::NoDevice || finding.cause == Cause::OtherDeviceOnly;
    if (!nothingFound || run.exitCode == 0)
        return finding;
    Details details;
    details.exitCode = run.exitCode;
    return make(Cause::Unknown, environment, details);
}

Finding readFlash(const Run &run, const Environment &environment)
{
    const QStringList messages = bareMessages(run.output);
    const int at = endingAt(messages);
    Details details;
    details.phase = run.phase;
    details.exitCode = run.exitCode;
    details.devices = run.seen;
    details.usbPath = run.usbPath;
    // A read-back the device stalled: written, but not to be proven.
    if (run.phase == Phase::ReadBack && DfuOutput::readBackRefused(run.output))
        return make(Cause::ReadBackRefused, environment, details);
    if (at >= 0) {
        const std::optional<Ending> ending = endingOf(messages.at(at));
        details.reason = messages.at(at);
        return make(endingCause(*ending, messages, at, environment.platform), environment, details);
    }
    // No message ended it: a failed step told only by the device's status,
    // or by " failed!" alone.
    if (const auto status = reportedStatus(messages, int(messages.size()) - 1))
        return make(*status, environment, details);
    return make(run.exitCode == 0 ? Cause::FailedStep : Cause::Unknown, environment, details);
}

bool namesTarget(const QString &line)
{
    const QString rule = line.trimmed();
    return !rule.startsWith(QLatin1Char('#')) &&
           rule.contains(QLatin1String("0483"), Qt::CaseInsensitive) &&
           rule.contains(QLatin1String("df11"), Qt::CaseInsensitive);
}

} // namespace

QString Finding::inOneLine() const
{
    return sentences(what, advice);
}

namespace {
// Set once, before anything is diagnosed.
FrontEnd g_frontEnd = FrontEnd::Window;
} // namespace

Environment Environment::current()
{
#ifdef Q_OS_WIN
    return {Platform::Windows, false, g_frontEnd};
#else
    return {Platform::Linux, Diagnosis::udevRuleInstalled(), g_frontEnd};
#endif
}

void Environment::setFrontEnd(FrontEnd frontEnd)
{
    g_frontEnd = frontEnd;
}

Finding diagnose(const Run &run, const Environment &environment)
{
    if (run.processError)
        return toolFailure(run, environment);
    if (run.phase != Phase::Scan &&
        DfuOutput::verdict(run.phase == Phase::Flash ? FlashStep::Write : FlashStep::ReadBack,
                           run.exitCode, run.output) == DfuOutput::StepVerdict::Done)
        return {};
    return run.phase == Phase::Scan ? readListing(run, environment) : readFlash(run, environment);
}

QString endingMessage(const QString &output)
{
    const QStringList messages = bareMessages(output);
    const int at = endingAt(messages);
    return at < 0 ? QString() : messages.at(at);
}

Finding diagnoseScan(const DfuScan &scan, const DeviceSelection &selection,
                     const Environment &environment)
{
    // Devices that the tool could not open and that may be Ravlo devices: of
    // the Ravlo identity, or of none named (older tools).
    QStringList refusals;
    for (const QString &message : scan.ravloProblems + scan.otherMessages) {
        if (endingOf(bare(message)) == Ending::OpenRefused)
            refusals << bare(message);
    }
    const QList<DfuDevice> candidates = scan.candidates(selection);
    if (!refusals.isEmpty() && candidates.isEmpty())
        return make(openCause(refusals.first(), environment.platform), environment);
    // Which of two devices the tool cannot tell apart without opening them
    // both: never guessed.
    if (!refusals.isEmpty() && selection.isAny())
        return make(Cause::SecondUnopenable, environment);
    if (candidates.size() > 1)
        return severalDevices(int(candidates.size()), environment);
    if (candidates.size() == 1)
        return {};
    // A Ravlo device in run-time mode is one not yet in DFU mode.
    const bool others = selection.isAny() &&
                        std::any_of(scan.devices.begin(), scan.devices.end(),
                                    [](const DfuDevice &d) { return d.vidPid != kRavloVidPid; });
    return make(others ? Cause::OtherDeviceOnly : Cause::NoDevice, environment);
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

QStringList udevRuleDirectories()
{
    return {QStringLiteral("/etc/udev/rules.d"), QStringLiteral("/run/udev/rules.d"),
            QStringLiteral("/lib/udev/rules.d"), QStringLiteral("/usr/lib/udev/rules.d")};
}

bool udevRuleInstalled(const QStringList &directories)
{
    // A file of the same name in an earlier directory replaces a later one
    // (a link to /dev/null masks it).
    QSet<QString> seen;
    for (const QString &directory : directories) {
        const QDir dir(directory);
        const QStringList names =
            dir.entryList({QStringLiteral("*.rules")}, QDir::Files | QDir::System);
        for (const QString &name : names) {
            if (seen.contains(name))
                continue;
            seen.insert(name);
            QFile file(dir.filePath(name));
            if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
                continue;
            while (!file.atEnd()) {
                if (namesTarget(QString::fromUtf8(file.readLine())))
                    return true;
            }
        }
    }
    return false;
}

} // namespace Diagnosis
