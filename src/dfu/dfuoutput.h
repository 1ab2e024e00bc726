#pragma once

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

// Turning the lines dfu-util prints while it flashes into progress-bar states.
// Every function takes one trimmed line; none keeps state between lines.
namespace DfuOutput {

// Which handler a line belongs to; the first rule that holds wins.
enum class LineKind
{
    EraseProgress,    // "Erase" and "%"
    DownloadProgress, // "Download" and "%"
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
// The tool's stage lines: fixed values and short texts.
std::optional<BarUpdate> stageProgress(const QString &line);
// The completion line: 98.
std::optional<BarUpdate> completion(const QString &line);
// What a line of a flash of imageSize bytes does to the bar, by its kind;
// nothing for a warning or any other line.
std::optional<BarUpdate> barUpdate(const QString &line, qint64 imageSize);

// The tool's messages: the output split at line feeds and carriage returns,
// with the progress update an error may be glued to ("... 4096 bytesdfu-util:
// Error ...") taken off, trimmed, empty ones dropped.
QStringList messages(const QString &output);
// Whether a whole run's output says that every byte was written.
bool completionDetected(const QString &output);
// A flash that exited with this code and printed this output wrote the image:
// exit 0 without a failed step before the leave request, or 74 after the whole
// image was written (the device reset before it answered the leave request).
bool flashSucceeded(int exitCode, const QString &output);

} // namespace DfuOutput
