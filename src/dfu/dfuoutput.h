#pragma once

#include "dfu/flashcommand.h"

#include <QString>

#include <optional>

// What the progress bar shows.
struct BarUpdate
{
    int value = 0;
    QString text;

    bool operator==(const BarUpdate &other) const
    {
        return value == other.value && text == other.text;
    }
};

// Turning the lines dfu-util prints while it flashes into progress-bar states,
// and a step's output into its verdict. The line functions take one trimmed
// line; none keeps state between lines.
namespace DfuOutput {

// Which handler a line belongs to; the first rule that holds wins.
enum class LineKind
{
    EraseProgress,    // "Erase" and "%"
    DownloadProgress, // "Download" and "%"
    UploadProgress,   // "Upload" and "%"
    Stage,            // one of the tool's stage phrases
    Completion,       // "File downloaded successfully" or "Download done." as a line of its own
    Warning,          // an error or warning phrase: diagnostic output only
    Other,
};

LineKind classify(const QString &line);

// "Erase   [===   ]  45%  12288 bytes": bar 0..10.
std::optional<BarUpdate> eraseProgress(const QString &line);
// "Download [===   ]  50%  75000 bytes": bar 10..90; the text names imageSize.
std::optional<BarUpdate> downloadProgress(const QString &line, qint64 imageSize);
// "Upload [===   ]  50%  75000 bytes": bar 91..97.
std::optional<BarUpdate> uploadProgress(const QString &line, qint64 imageSize);
// The tool's stage lines: fixed values and short texts.
std::optional<BarUpdate> stageProgress(const QString &line);
// The completion line: 90.
std::optional<BarUpdate> completion(const QString &line);
// What a line printed in a step of a flash of imageSize bytes does to the bar,
// by its kind: only the lines of that step count (each run opens the device
// with the same stage lines, which the write alone shows); nothing for a
// warning or any other line.
std::optional<BarUpdate> barUpdate(const QString &line, qint64 imageSize, FlashStep step);

// The tool's messages: the output split at line feeds and carriage returns,
// with the progress update an error may be glued to ("... 4096 bytesdfu-util:
// Error ...") taken off, trimmed, empty ones dropped.
QStringList messages(const QString &output);
// Whether a whole run's output says that every byte was written.
bool completionDetected(const QString &output);
// How a step of a flash ended, by the step's rule:
// - Write: Done on exit 0 without a step that failed (" failed!" after its
//   progress), or on 74 once the whole image was written;
// - ReadBack: Done on exit 0, Refused when the device stalled the upload (a
//   read-protected part, or a bootloader that cannot upload);
// - Leave: Done once the request was made, whatever the device answered
//   (" failed!", or no answer from a device that reset at once).
enum class StepVerdict
{
    Done,
    Refused,
    Failed,
};
StepVerdict verdict(FlashStep step, int exitCode, const QString &output);
// Whether the device refused to be read back.
bool readBackRefused(const QString &output);

} // namespace DfuOutput
