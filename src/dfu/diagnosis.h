#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

struct DeviceSelection;
struct DfuScan;

// What went wrong in a run of dfu-util, and what the user can do about it, in
// plain language (English, or its translation). The tool's own lines stay in
// the log for support; these sentences are what the user reads.
namespace Diagnosis {

enum class Cause
{
    None,            // nothing went wrong
    Permission,      // the device is there but may not be opened
    Driver,          // Windows: the device's DFU mode has no WinUSB driver
    NoDevice,        // no Ravlo device in DFU mode
    OtherDeviceOnly, // only DFU devices of other identities
    SeveralDevices,  // more than one Ravlo device in DFU mode
    ImageTooLarge,   // the image is larger than the device's flash
    WrongImage,      // the image does not fit the device's memory; nothing written
    ConnectionLost,  // the device went away or stopped answering
    DeviceRefused,   // the device reported an error for the data
    WriteRefused,    // the device refused to erase or write its flash
    NotKept,         // what the device gave back is not what was written
    ReadBackRefused, // written, but the device refused to be read back
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

// What the advice depends on besides the run.
struct Environment
{
    Platform platform = Platform::Linux;
    bool udevRuleInstalled = false; // Linux: some rule grants access to 0483:df11

    static Environment current();
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
// Cause::None. A scan is Cause::None when it lists exactly one Ravlo device.
Finding diagnose(const Run &run, const Environment &environment = Environment::current());

// Why a scan offers no one device to write: None when the selection admits
// exactly one Ravlo device in DFU mode and the tool could open every one.
Finding diagnoseScan(const DfuScan &scan, const DeviceSelection &selection,
                     const Environment &environment = Environment::current());

// The sentences for a cause the caller found itself.
Finding describe(Cause cause, const Environment &environment = Environment::current());
// A tool at path that cannot be used: missing, or there but not to be started.
Finding unusableTool(const QString &path, const Environment &environment = Environment::current());
Finding severalDevices(int count);
Finding imageTooLarge(qint64 imageSize, qint64 flashSize);

QStringList udevRuleDirectories();
// Whether a rules file in one of the directories names 0483 and df11 on a
// line that is not a comment.
bool udevRuleInstalled(const QStringList &directories = udevRuleDirectories());

} // namespace Diagnosis
