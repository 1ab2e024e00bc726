#pragma once

#include "dfuscan.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

// What went wrong in a run of dfu-util, and what the user can do about it, in
// plain language (English, or its translation). The tool's own lines stay in
// the log for support; these sentences are what the user reads.
namespace Diagnosis {

enum class Cause
{
    None,              // nothing went wrong
    Permission,        // Linux: the device is there but this user may not open it
    InUse,             // another program holds the device
    Driver,            // Windows: the device's DFU mode has no WinUSB driver
    NoDevice,          // no Ravlo device in DFU mode
    OtherDeviceOnly,   // only DFU devices of other identities
    SeveralDevices,    // more than one Ravlo device in DFU mode
    SecondUnopenable,  // one Ravlo device, and another the tool cannot open
    SeveralInterfaces, // the tool saw more than one DFU interface for the device named
    ImageTooLarge,     // the image is larger than the device's flash
    WrongImage,        // the image does not fit the device's memory; nothing written
    ConnectionLost,    // the USB link broke: a transfer or a status request failed
    DeviceRefused,     // the device reported an error for the data
    WriteRefused,      // the device refused to erase or write its flash
    VerifyFailed,      // the device found what it wrote wrong
    AddressRefused,    // the device refused the address written to
    Protected,         // the device's flash is read-protected
    ToolUsage,         // the tool did not take its command
    ImageFile,         // the tool could not read or write a file of the run
    FailedStep,        // the tool said a step failed, yet exited with 0
    NotKept,           // what the device gave back is not what was written
    ReadBackRefused,   // written, but the device refused to be read back
    ToolMissing,
    ToolCannotStart,
    ToolCrashed,
    ToolHung,
    Unknown, // failed, and the output names no reason
};

enum class Phase
{
    Scan,     // dfu-util -l
    Flash,    // dfu-util ... -D image
    ReadBack, // dfu-util ... -U file, after the write
};

enum class Platform
{
    Linux,
    Windows,
};

// Who shows the advice, and so what the user does to try again.
enum class FrontEnd
{
    Window,      // presses Upgrade
    CommandLine, // runs the command again
};

// What the advice depends on besides the run.
struct Environment
{
    Platform platform = Platform::Linux;
    bool udevRuleInstalled = false; // Linux: some rule grants access to 0483:df11
    FrontEnd frontEnd = FrontEnd::Window;

    // This computer, and the front end the program said it is.
    static Environment current();
    // Once, at the start of a program that is not the window.
    static void setFrontEnd(FrontEnd frontEnd);
};

// One ended run of the tool.
struct Run
{
    Phase phase = Phase::Flash;
    QString output; // standard output and standard error merged, as printed
    int exitCode = 0;
    // Set when QProcess reported an error: FailedToStart, Crashed, or
    // Timedout when the caller's time limit ended the run.
    std::optional<QProcess::ProcessError> processError;
    QString errorString; // QProcess::errorString(): why a start failed
    // A flash: the devices the scan before it saw, and the USB path it named.
    QList<DfuDevice> seen;
    QString usbPath;
};

struct Finding
{
    Cause cause = Cause::None;
    QString what;   // what happened; empty for None
    QString advice; // what to do next; empty for None

    // What happened and what to do, one after the other in a line.
    QString inOneLine() const;
};

// A flash or a read-back whose step is done (DfuOutput::verdict) is
// Cause::None; a failed one is read by the message that ended it, not by the
// first error it printed. A scan is Cause::None when it lists exactly one
// Ravlo device.
Finding diagnose(const Run &run, const Environment &environment = Environment::current());
// The tool's own words for why a run ended, without its name: the message
// that ended it; empty when there is none.
QString endingMessage(const QString &output);

// Why a scan offers no one device to write: None when the selection admits
// exactly one Ravlo device in DFU mode and the tool could open every one.
Finding diagnoseScan(const DfuScan &scan, const DeviceSelection &selection,
                     const Environment &environment = Environment::current());

// The sentences for a cause the caller found itself.
Finding describe(Cause cause, const Environment &environment = Environment::current());
// A tool at path that cannot be used: missing, or there but not to be started.
Finding unusableTool(const QString &path, const Environment &environment = Environment::current());
Finding severalDevices(int count, const Environment &environment = Environment::current());
Finding imageTooLarge(qint64 imageSize, qint64 flashSize,
                      const Environment &environment = Environment::current());

QStringList udevRuleDirectories();
// Whether a rules file in one of the directories names 0483 and df11 on a
// line that is not a comment.
bool udevRuleInstalled(const QStringList &directories = udevRuleDirectories());

} // namespace Diagnosis
