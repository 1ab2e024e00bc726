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
};

// The sentences are made when asked for, in the language installed then.

// Two sentences in a row, as the language writes them (a space in English).
QString sentences(const QString &first, const QString &second)
{
    return QCoreApplication::translate("Diagnosis", "%1 %2", "one sentence after another")
        .arg(first, second);
}

QString saveLog()
{
    return QCoreApplication::translate(
        "Diagnosis", "save the log (right-click the log, then \"Save log…\") and contact support");
}

QString dfuModeSteps()
{
    return QCoreApplication::translate(
        "Diagnosis",
        "Put the device into DFU mode: hold the \"1\" key, switch the device on, wait 2-3 seconds "
        "and release the key. Connect it with a data cable, not a charging-only cable, to a USB "
        "port on the computer itself rather than a hub; the question-mark button shows a picture "
        "of the steps.");
}

QString retry()
{
    return QCoreApplication::translate("Diagnosis", "If it happens again, %1.").arg(saveLog());
}

QString checkDevice()
{
    return QCoreApplication::translate(
               "Diagnosis", "Check that the connected device is a Ravlo device; if it is, %1.")
        .arg(saveLog());
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
    if (environment.platform == Platform::Windows)
        return QCoreApplication::translate(
            "Diagnosis", "Close other flashing tools and programs that use the device, then "
                         "disconnect and reconnect it and press Upgrade again.");
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
                environment.platform == Platform::Windows
                    ? QCoreApplication::translate(
                          "Diagnosis", "The Ravlo device is connected, but another program is "
                                       "using it.")
                    : QCoreApplication::translate(
                          "Diagnosis", "The Ravlo device is connected, but this user may not "
                                       "open it."),
                permissionAdvice(environment)};
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
                dfuModeSteps()};
    case Cause::OtherDeviceOnly:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "A USB device in DFU mode was found, but it is not a Ravlo "
                                 "device."),
                sentences(QCoreApplication::translate("Diagnosis", "Disconnect the other device."),
                          dfuModeSteps())};
    case Cause::SeveralDevices:
        return {cause,
                details.count > 1
                    ? QCoreApplication::translate("Diagnosis",
                                                  "%1 Ravlo devices in DFU mode were found.")
                          .arg(details.count)
                    : QCoreApplication::translate(
                          "Diagnosis", "More than one Ravlo device in DFU mode was found."),
                QCoreApplication::translate(
                    "Diagnosis", "Connect only the device to upgrade and press Upgrade again.")};
    case Cause::ImageTooLarge:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware image (%1 bytes) is larger than the device's "
                                 "flash memory (%2 bytes); nothing was written.")
                    .arg(details.imageSize)
                    .arg(details.flashSize),
                checkDevice()};
    case Cause::WrongImage:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware image does not fit this device's memory (wrong "
                                 "image or wrong device); nothing was written."),
                checkDevice()};
    case Cause::ConnectionLost:
        return {cause,
                details.phase == Phase::ReadBack
                    ? QCoreApplication::translate(
                          "Diagnosis", "The connection to the device was lost while the firmware "
                                       "was being read back, so it is not known whether the "
                                       "device keeps it.")
                    : QCoreApplication::translate(
                          "Diagnosis", "The connection to the device was lost while the "
                                       "firmware was being written; the device is not fully "
                                       "written."),
                QCoreApplication::translate(
                    "Diagnosis",
                    "It can still be upgraded: put it into DFU mode again and press Upgrade. If "
                    "it happens again, try another cable or another USB port on the computer.")};
    case Cause::DeviceRefused:
        return {
            cause,
            QCoreApplication::translate("Diagnosis",
                                        "The device reported an error while storing the firmware."),
            sentences(QCoreApplication::translate("Diagnosis", "Press Upgrade to try once more."),
                      retry())};
    case Cause::WriteRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device refused to erase or write its flash memory."),
                sentences(QCoreApplication::translate(
                              "Diagnosis", "The flash may be protected, or the connection "
                                           "unstable: try once more on a short cable plugged "
                                           "into the computer without a hub."),
                          retry())};
    case Cause::NotKept:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The device did not keep the firmware: what it gave back when "
                                 "it was read is not what was written."),
                sentences(QCoreApplication::translate(
                              "Diagnosis", "The device is still in DFU mode: press Upgrade to "
                                           "write it again."),
                          retry())};
    case Cause::ReadBackRefused:
        return {cause,
                QCoreApplication::translate(
                    "Diagnosis", "The firmware was written, but the device refused to be read "
                                 "back, so the write could not be checked. Devices with "
                                 "read-protected flash, and bootloaders that cannot read, do "
                                 "this."),
                sentences(QCoreApplication::translate(
                              "Diagnosis", "Switch the device off and on again: if it starts "
                                           "with the new firmware, the upgrade worked. If not, "
                                           "put it into DFU mode and press Upgrade again."),
                          retry())};
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
        return {
            cause,
            flash ? QCoreApplication::translate("Diagnosis",
                                                "dfu-util stopped unexpectedly while writing; the "
                                                "device may not be fully written.")
                  : QCoreApplication::translate(
                        "Diagnosis", "dfu-util stopped unexpectedly while looking for the "
                                     "device."),
            sentences(
                flash ? QCoreApplication::translate(
                            "Diagnosis", "Put the device into DFU mode again and press Upgrade.")
                      : QCoreApplication::translate("Diagnosis", "Press Upgrade to try again."),
                retry())};
    case Cause::ToolHung:
        return {cause,
                flash ? QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped responding while writing and was "
                                         "ended; the device may not be fully written.")
                      : QCoreApplication::translate(
                            "Diagnosis", "dfu-util stopped responding while looking for the "
                                         "device and was ended."),
                sentences(QCoreApplication::translate("Diagnosis",
                                                      "Disconnect the device, put it into DFU "
                                                      "mode again and press Upgrade."),
                          retry())};
    case Cause::Unknown:
        return {cause,
                QCoreApplication::translate("Diagnosis", "dfu-util failed with exit code %1.")
                    .arg(details.exitCode),
                sentences(QCoreApplication::translate("Diagnosis", "Press Upgrade to try again."),
                          retry())};
    }
    return {};
}

struct Rule
{
    const char *phrase;
    Cause cause;
};

// These name the cause whatever else the run printed.
const Rule kDecisive[] = {
    {"More than one DFU capable USB device found", Cause::SeveralDevices},
    {"is not writeable", Cause::WrongImage},
    {"can not be erased", Cause::WrongImage},
    {"Only DfuSe file version 1.1a is supported", Cause::WrongImage},
    {"not meant for raw download", Cause::WrongImage},
    {"does not match device", Cause::WrongImage},
    {"LIBUSB_ERROR_NO_DEVICE", Cause::ConnectionLost},
    {"Lost device after RESET?", Cause::ConnectionLost},
    // A stalled or failed erase is the flash refusing, not the cable.
    {"ERASE_PAGE", Cause::WriteRefused},
};

// Symptoms of a failing transfer, when neither a decisive line nor the
// device's status says more.
const Rule kTransfer[] = {
    {"error clear_status", Cause::DeviceRefused},
    {"Status is not OK", Cause::DeviceRefused},
    {"LIBUSB_ERROR_IO", Cause::ConnectionLost},
    {"LIBUSB_ERROR_PIPE", Cause::ConnectionLost},
    {"LIBUSB_ERROR_TIMEOUT", Cause::ConnectionLost},
    {"Error during", Cause::ConnectionLost},
    {"Failed to write whole chunk", Cause::ConnectionLost},
    {"error get_status", Cause::ConnectionLost},
    {"USB communication error", Cause::ConnectionLost},
    {"No DFU capable USB device available", Cause::NoDevice},
    {"Device still in Run-Time Mode", Cause::NoDevice},
};

template <size_t N>
std::optional<Cause> firstRule(const QString &output, const Rule (&rules)[N])
{
    for (const Rule &rule : rules) {
        if (output.contains(QLatin1String(rule.phrase)))
            return rule.cause;
    }
    return std::nullopt;
}

// A Ravlo device that the tool may not open. Lines about other identities
// are not ours to judge.
std::optional<Cause> openRefused(const QString &output, Platform platform)
{
    static const QRegularExpression refusal(
        QStringLiteral("Cannot (?:open DFU device ([0-9a-fA-F]{4}:[0-9a-fA-F]{4})|open device|"
                       "claim interface)([^\\r\\n]*)"));
    QRegularExpressionMatchIterator matches = refusal.globalMatch(output);
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        const QString identity = match.captured(1);
        if (!identity.isEmpty() && identity.compare(kRavloVidPid, Qt::CaseInsensitive) != 0)
            continue;
        const QString reason = match.captured(2);
        if (reason.contains(QLatin1String("LIBUSB_ERROR_ACCESS")) ||
            reason.contains(QLatin1String("LIBUSB_ERROR_BUSY")))
            return Cause::Permission;
        // Without a driver Windows gives NOT_SUPPORTED or NOT_FOUND; older
        // tools give no reason at all.
        return platform == Platform::Windows ? Cause::Driver : Cause::Permission;
    }
    return std::nullopt;
}

// The status of the device's last state report. A device found in dfuERROR
// at the start reports again after "Clearing status", so only a status that
// was never cleared counts.
std::optional<Cause> refusedStatus(const QString &output)
{
    static const QRegularExpression state(
        QStringLiteral("DFU state\\(\\d+\\) = \\S+, status\\((\\d+)\\)"));
    QRegularExpressionMatch last;
    QRegularExpressionMatchIterator matches = state.globalMatch(output);
    while (matches.hasNext())
        last = matches.next();
    if (!last.hasMatch())
        return std::nullopt;
    constexpr int kOk = 0;
    constexpr int kErrWrite = 3; // "Device is unable to write memory"
    const int status = last.captured(1).toInt();
    if (status == kOk)
        return std::nullopt;
    return status == kErrWrite ? Cause::WriteRefused : Cause::DeviceRefused;
}

// The loader's or libusb's refusal, which ends the tool before it does anything.
QString startFailure(const QString &output)
{
    static const QRegularExpression failure(QStringLiteral(
        "(?:error while loading shared libraries|unable to initialize libusb)[^\\r\\n]*"));
    return failure.match(output).captured(0);
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
    const QString &output = run.output;
    std::optional<Cause> cause = openRefused(output, environment.platform);
    if (!cause && run.phase == Phase::ReadBack && DfuOutput::readBackRefused(output))
        cause = Cause::ReadBackRefused;
    if (!cause)
        cause = firstRule(output, kDecisive);
    if (!cause)
        cause = refusedStatus(output);
    if (!cause)
        cause = firstRule(output, kTransfer);
    Details details;
    details.phase = run.phase;
    details.exitCode = run.exitCode;
    return make(cause.value_or(Cause::Unknown), environment, details);
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

Environment Environment::current()
{
#ifdef Q_OS_WIN
    return {Platform::Windows, false};
#else
    return {Platform::Linux, Diagnosis::udevRuleInstalled()};
#endif
}

Finding diagnose(const Run &run, const Environment &environment)
{
    if (run.processError)
        return toolFailure(run, environment);
    if (run.phase != Phase::Scan &&
        DfuOutput::verdict(run.phase == Phase::Flash ? FlashStep::Write : FlashStep::ReadBack,
                           run.exitCode, run.output) == DfuOutput::StepVerdict::Done)
        return {};
    if (run.exitCode != 0) {
        Details details;
        details.reason = startFailure(run.output);
        if (!details.reason.isEmpty())
            return make(Cause::ToolCannotStart, environment, details);
    }
    return run.phase == Phase::Scan ? readListing(run, environment) : readFlash(run, environment);
}

Finding diagnoseScan(const DfuScan &scan, const DeviceSelection &selection,
                     const Environment &environment)
{
    // A Ravlo device that the tool could not open is never written around.
    if (!scan.ravloProblems.isEmpty()) {
        const auto cause =
            openRefused(scan.ravloProblems.join(QLatin1Char('\n')), environment.platform);
        return make(cause.value_or(Cause::Unknown), environment);
    }
    const QList<DfuDevice> candidates = scan.candidates(selection);
    if (candidates.size() > 1)
        return severalDevices(int(candidates.size()));
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

Finding severalDevices(int count)
{
    Details details;
    details.count = count;
    return make(Cause::SeveralDevices, {}, details);
}

Finding imageTooLarge(qint64 imageSize, qint64 flashSize)
{
    Details details;
    details.imageSize = imageSize;
    details.flashSize = flashSize;
    return make(Cause::ImageTooLarge, {}, details);
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
