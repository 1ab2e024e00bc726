#include "resultnames.h"

#include <algorithm>
#include <iterator>

namespace ResultName {

QString verdict(Verdict verdict)
{
    static const char *const names[] = {"verified", "written", "unproven", "failed", "refused"};
    return QString::fromLatin1(names[int(verdict)]);
}

QString stage(UpgradeFailure::Stage stage)
{
    static const char *const names[] = {"scan",   "manifest", "download",
                                        "verify", "flash",    "read-back"};
    return QString::fromLatin1(names[int(stage)]);
}

QString cause(Diagnosis::Cause cause)
{
    static const char *const names[] = {"none",
                                        "permission",
                                        "in-use",
                                        "driver",
                                        "no-device",
                                        "other-device-only",
                                        "several",
                                        "second-unopenable",
                                        "several-interfaces",
                                        "image-too-large",
                                        "wrong-image",
                                        "connection",
                                        "device-refused",
                                        "write-refused",
                                        "verify-failed",
                                        "address-refused",
                                        "protected",
                                        "tool-usage",
                                        "image-file",
                                        "failed-step",
                                        "not-kept",
                                        "read-back-refused",
                                        "tool-missing",
                                        "tool-cannot-start",
                                        "tool-crashed",
                                        "tool-hung",
                                        "unknown"};
    static_assert(sizeof(names) / sizeof(*names) == int(Diagnosis::Cause::Unknown) + 1,
                  "a name for every cause");
    return QString::fromLatin1(names[int(cause)]);
}

Verdict failure(const UpgradeFailure &failure)
{
    using Cause = Diagnosis::Cause;
    // What stops the tool before it sends the device a block.
    static const Cause kBeforeWriting[] = {
        Cause::Permission,       Cause::InUse,          Cause::Driver,
        Cause::NoDevice,         Cause::SeveralDevices, Cause::SeveralInterfaces,
        Cause::SecondUnopenable, Cause::ImageTooLarge,  Cause::WrongImage,
        Cause::ToolUsage,        Cause::ImageFile,      Cause::ToolMissing,
        Cause::ToolCannotStart};
    bool nothingWritten = false;
    switch (failure.stage) {
    case UpgradeFailure::Stage::Scan:
    case UpgradeFailure::Stage::Manifest:
    case UpgradeFailure::Stage::Download:
    case UpgradeFailure::Stage::Verify:
        nothingWritten = true;
        break;
    case UpgradeFailure::Stage::Flash:
        nothingWritten = std::find(std::begin(kBeforeWriting), std::end(kBeforeWriting),
                                   failure.finding.cause) != std::end(kBeforeWriting);
        break;
    case UpgradeFailure::Stage::ReadBack:
        break;
    }
    return nothingWritten ? Verdict::Refused : Verdict::Failed;
}

} // namespace ResultName
