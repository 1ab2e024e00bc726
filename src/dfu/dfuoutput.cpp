#include "dfuoutput.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>

namespace DfuOutput {

namespace {

const QStringList &warningPhrases()
{
    static const QStringList phrases = {QStringLiteral("dfuERROR"), QStringLiteral("can't detach"),
                                        QStringLiteral("error"), QStringLiteral("failed")};
    return phrases;
}

bool containsAny(const QString &line, const QStringList &phrases)
{
    for (const QString &phrase : phrases) {
        if (line.contains(phrase))
            return true;
    }
    return false;
}

struct Progress
{
    int percent;
    qint64 bytes;
};

// A run of digits as a number no larger than limit: a garbled line must not
// overflow anything.
qint64 boundedNumber(const QString &digits, qint64 limit)
{
    bool ok = false;
    const qint64 value = digits.toLongLong(&ok);
    return ok && value < limit ? value : limit;
}

// The first "<percent>% ... <bytes> bytes" after the bar of a progress line.
std::optional<Progress> matchProgress(const QRegularExpression &expression, const QString &line)
{
    const QRegularExpressionMatch match = expression.match(line);
    if (!match.hasMatch())
        return std::nullopt;
    return Progress{int(boundedNumber(match.captured(1), 100)),
                    boundedNumber(match.captured(2), std::numeric_limits<qint64>::max())};
}

// A transfer's progress line as its stage's percentage, with a text that
// names the percentage, the bytes and imageSize.
std::optional<ToolProgress> transferProgress(const QRegularExpression &expression,
                                             const QString &line, ToolStage stage, const char *text,
                                             qint64 imageSize)
{
    const auto progress = matchProgress(expression, line);
    if (!progress)
        return std::nullopt;
    return ToolProgress{stage, progress->percent,
                        QCoreApplication::translate("DfuOutput", text)
                            .arg(progress->percent)
                            .arg(progress->bytes)
                            .arg(imageSize)};
}

struct Stage
{
    const char *phrase;
    FlashStep step; // the one whose bar shows it
    ToolStage stage;
    int percent;
    const char *text;
};

const char kLeaveRequest[] = "Submitting leave request";

// The tool's stage lines, the one table that both tells them and shows them.
// The texts are translated when shown.
const std::array<Stage, 9> kStages = {{
    {"Opening DFU capable USB device", FlashStep::Write, ToolStage::Connect, 0,
     QT_TRANSLATE_NOOP("DfuOutput", "Open DFU device...")},
    {"Claiming USB DFU Interface", FlashStep::Write, ToolStage::Connect, 20,
     QT_TRANSLATE_NOOP("DfuOutput", "Obtain USB DFU interface...")},
    {"Setting Alternate Interface", FlashStep::Write, ToolStage::Connect, 40,
     QT_TRANSLATE_NOOP("DfuOutput", "Set interface mode...")},
    {"Determining device status", FlashStep::Write, ToolStage::Connect, 60,
     QT_TRANSLATE_NOOP("DfuOutput", "Detecting equipment status...")},
    {"Clearing status", FlashStep::Write, ToolStage::Connect, 80,
     QT_TRANSLATE_NOOP("DfuOutput", "Clear device status...")},
    {"DFU state(2) = dfuIDLE", FlashStep::Write, ToolStage::Connect, 100,
     QT_TRANSLATE_NOOP("DfuOutput", "Equipment ready, start burning...")},
    {kLeaveRequest, FlashStep::Leave, ToolStage::Leave, 30,
     QT_TRANSLATE_NOOP("DfuOutput", "Submit a request to leave...")},
    {"Transitioning to dfuMANIFEST state", FlashStep::Leave, ToolStage::Leave, 70,
     QT_TRANSLATE_NOOP("DfuOutput", "Switch to dfuMANIFEST state...")},
    {"Resetting USB", FlashStep::Leave, ToolStage::Leave, 90,
     QT_TRANSLATE_NOOP("DfuOutput", "Reset USB device...")},
}};

const Stage *stageOf(const QString &line)
{
    const auto stage = std::find_if(kStages.begin(), kStages.end(), [&line](const Stage &s) {
        return line.contains(QLatin1String(s.phrase));
    });
    return stage == kStages.end() ? nullptr : &*stage;
}

const QString kFileDownloaded = QStringLiteral("File downloaded successfully");
const QString kDownloadDone = QStringLiteral("Download done.");

// What a progress update looks like; an error may follow it on the same line.
const QRegularExpression &progressUpdate()
{
    static const QRegularExpression update(
        QStringLiteral("^(Erase|Download|Upload)\\s*\\[[^\\]]*\\]\\s*\\d+%\\s*\\d+ bytes"));
    return update;
}

bool isCompletionMessage(const QString &message)
{
    return message == kFileDownloaded || message == kDownloadDone;
}

// The step whose bar a line of this kind shows; none for warnings and others.
std::optional<FlashStep> stepShowing(LineKind kind, const QString &line)
{
    switch (kind) {
    case LineKind::EraseProgress:
    case LineKind::DownloadProgress:
    case LineKind::Completion:
        return FlashStep::Write;
    case LineKind::UploadProgress:
        return FlashStep::ReadBack;
    case LineKind::Stage:
        return stageOf(line)->step;
    case LineKind::Warning:
    case LineKind::Other:
        break;
    }
    return std::nullopt;
}

// A write that exited with this code and printed this output wrote the
// image: exit 0, or 74 after the whole image was written.
bool written(int exitCode, const QString &output)
{
    constexpr int kExitIoError = 74;
    if (exitCode == kExitIoError)
        return completionDetected(output);
    if (exitCode != 0)
        return false;
    // A step that failed (" failed!" after its progress) fails the write even
    // when the tool exits with 0, unless it is a leave request's: a device
    // that resets as it leaves answers that one badly.
    for (const QString &message : messages(output)) {
        if (message.contains(QLatin1String(kLeaveRequest)))
            return true;
        if (message.endsWith(QLatin1String("failed!")))
            return false;
    }
    return true;
}

} // namespace

LineKind classify(const QString &line)
{
    const bool hasPercent = line.contains(QLatin1Char('%'));
    if (hasPercent && line.contains(QLatin1String("Erase")))
        return LineKind::EraseProgress;
    if (hasPercent && line.contains(QLatin1String("Download")))
        return LineKind::DownloadProgress;
    if (hasPercent && line.contains(QLatin1String("Upload")))
        return LineKind::UploadProgress;
    if (stageOf(line))
        return LineKind::Stage;
    if (isCompletionMessage(line))
        return LineKind::Completion;
    if (containsAny(line, warningPhrases()))
        return LineKind::Warning;
    return LineKind::Other;
}

std::optional<ToolProgress> progress(const QString &line, qint64 imageSize, FlashStep step)
{
    const LineKind kind = classify(line);
    if (stepShowing(kind, line) != step)
        return std::nullopt;
    switch (kind) {
    case LineKind::EraseProgress:
        return eraseProgress(line);
    case LineKind::DownloadProgress:
        return downloadProgress(line, imageSize);
    case LineKind::UploadProgress:
        return uploadProgress(line, imageSize);
    case LineKind::Stage:
        return stageProgress(line);
    case LineKind::Completion:
        return completion(line);
    case LineKind::Warning:
    case LineKind::Other:
        break;
    }
    return std::nullopt;
}

std::optional<ToolProgress> eraseProgress(const QString &line)
{
    static const QRegularExpression erase(
        QStringLiteral("Erase.*?\\[.*?\\].*?(\\d+)%.*?(\\d+)\\s*bytes"));
    const auto progress = matchProgress(erase, line);
    if (!progress)
        return std::nullopt;
    return ToolProgress{ToolStage::Erase, progress->percent,
                        QCoreApplication::translate("DfuOutput", "Erase Flash: %1% (%2 bytes)")
                            .arg(progress->percent)
                            .arg(progress->bytes)};
}

std::optional<ToolProgress> downloadProgress(const QString &line, qint64 imageSize)
{
    static const QRegularExpression download(
        QStringLiteral("Download.*?\\[.*?\\].*?(\\d+)%.*?(\\d+)\\s*bytes"));
    return transferProgress(download, line, ToolStage::Write,
                            QT_TRANSLATE_NOOP("DfuOutput", "firmware burning: %1% (%2/%3 bytes)"),
                            imageSize);
}

std::optional<ToolProgress> uploadProgress(const QString &line, qint64 imageSize)
{
    static const QRegularExpression upload(
        QStringLiteral("Upload.*?\\[.*?\\].*?(\\d+)%.*?(\\d+)\\s*bytes"));
    return transferProgress(
        upload, line, ToolStage::ReadBack,
        QT_TRANSLATE_NOOP("DfuOutput", "Verifying written firmware: %1% (%2/%3 bytes)"), imageSize);
}

std::optional<ToolProgress> stageProgress(const QString &line)
{
    const Stage *stage = stageOf(line);
    if (!stage)
        return std::nullopt;
    return ToolProgress{stage->stage, stage->percent,
                        QCoreApplication::translate("DfuOutput", stage->text)};
}

std::optional<ToolProgress> completion(const QString &line)
{
    if (!isCompletionMessage(line))
        return std::nullopt;
    return ToolProgress{ToolStage::Write, 100,
                        QCoreApplication::translate("DfuOutput", "Firmware burning completed!")};
}

QStringList messages(const QString &output)
{
    static const QRegularExpression lineEnd(QStringLiteral("[\\r\\n]"));
    QStringList result;
    for (QString part : output.split(lineEnd, Qt::SkipEmptyParts)) {
        part.remove(progressUpdate());
        part = part.trimmed();
        if (!part.isEmpty())
            result << part;
    }
    return result;
}

bool completionDetected(const QString &output)
{
    // Only the download bar's 100 % counts: the erase bar reaches 100 % before
    // a single byte of the image is written. The completion texts count as
    // lines of their own, not inside some error text.
    static const QRegularExpression downloadComplete(
        QStringLiteral("Download\\s*\\[[^\\]]*\\]\\s*100%"));
    const QStringList lines = messages(output);
    return std::any_of(lines.begin(), lines.end(), isCompletionMessage) ||
           downloadComplete.match(output).hasMatch();
}

StepVerdict verdict(FlashStep step, int exitCode, const QString &output)
{
    switch (step) {
    case FlashStep::Write:
        return written(exitCode, output) ? StepVerdict::Done : StepVerdict::Failed;
    case FlashStep::ReadBack:
        return exitCode == 0             ? StepVerdict::Done
               : readBackRefused(output) ? StepVerdict::Refused
                                         : StepVerdict::Failed;
    case FlashStep::Leave:
        break;
    }
    return output.contains(QLatin1String(kLeaveRequest)) ? StepVerdict::Done : StepVerdict::Failed;
}

bool readBackRefused(const QString &output)
{
    // The request stalled: the tool says so and ends.
    static const QRegularExpression stalled(QStringLiteral(
        "dfuse_upload: libusb_control_transfer returned -?\\d+ \\(LIBUSB_ERROR_PIPE\\)"));
    return stalled.match(output).hasMatch();
}

} // namespace DfuOutput
