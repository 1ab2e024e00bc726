#include "diagnosis.h"

#include "dfuoutput.h"
#include "dfuscan.h"
#include "findings.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace Diagnosis {

namespace {

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
