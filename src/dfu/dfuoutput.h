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
    Completion,       // "File downloaded successfully" or "Download done"
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

// Whether a whole run's output says that every byte was written.
bool completionDetected(const QString &output);

} // namespace DfuOutput
