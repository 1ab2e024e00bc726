#pragma once

#include "dfu/flashcommand.h"

#include <QString>

#include <optional>

// The part of a flash a line of the tool shows.
enum class ToolStage
{
    Connect, // the tool opens the device
    Erase,
    Write,
    ReadBack,
    Leave,
};

// What a line of the tool shows: its part of the flash, how far that part
// is, and the bar's text.
struct ToolProgress
{
    ToolStage stage = ToolStage::Connect;
    int percent = 0;
    QString text;

    bool operator==(const ToolProgress &other) const
    {
        return stage == other.stage && percent == other.percent && text == other.text;
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

// "Erase   [===   ]  45%  12288 bytes": the erase at 45 %.
std::optional<ToolProgress> eraseProgress(const QString &line);
// "Download [===   ]  50%  75000 bytes": the write; the text names imageSize.
std::optional<ToolProgress> downloadProgress(const QString &line, qint64 imageSize);
// "Upload [===   ]  50%  75000 bytes": the read-back.
std::optional<ToolProgress> uploadProgress(const QString &line, qint64 imageSize);
// The tool's stage lines: how far they put the device's opening or its
// leave, and short texts.
std::optional<ToolProgress> stageProgress(const QString &line);
// The completion line: the write done.
std::optional<ToolProgress> completion(const QString &line);
// What a line printed in a step of a flash of imageSize bytes shows, by its
// kind: only the lines of that step count (each run opens the device with
// the same stage lines, which the write alone shows); nothing for a warning
// or any other line.
std::optional<ToolProgress> progress(const QString &line, qint64 imageSize, FlashStep step);

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
