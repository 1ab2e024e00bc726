#include "processerror.h"

#include <initializer_list>

namespace ProcessErrorText {

namespace {

// A rule matches when the output holds either keyword (lower case).
struct Rule
{
    const char *keyword;
    const char *otherKeyword; // or nullptr
    const char *explanation;
};

QString firstHit(const QString &output, std::initializer_list<Rule> rules, const char *fallback)
{
    const QString text = output.toLower();
    for (const Rule &rule : rules) {
        if (text.contains(QLatin1String(rule.keyword)) ||
            (rule.otherKeyword && text.contains(QLatin1String(rule.otherKeyword))))
            return QString::fromLatin1(rule.explanation);
    }
    return QString::fromLatin1(fallback);
}

} // namespace

QString kindText(QProcess::ProcessError error)
{
    switch (error) {
    case QProcess::FailedToStart:
        return QStringLiteral("Process failed to start");
    case QProcess::Crashed:
        return QStringLiteral("Process crashed");
    case QProcess::Timedout:
        return QStringLiteral("Process timeout");
    case QProcess::ReadError:
        return QStringLiteral("Read error");
    case QProcess::WriteError:
        return QStringLiteral("Write error");
    default:
        return QStringLiteral("Unknown error");
    }
}

QString explain(QProcess::ProcessError error, const QString &output)
{
    switch (error) {
    case QProcess::FailedToStart:
        return firstHit(
            output,
            {{"permission denied", nullptr,
              "dfu-util permission denied. Please run as administrator"},
             {"no such file", "not found",
              "dfu-util executable not found. Please ensure it's properly installed"},
             {"exec format error", nullptr,
              "dfu-util executable format error. Architecture may be incompatible"},
             {"cannot execute binary file", nullptr,
              "Cannot execute dfu-util binary. Check if it's compatible with your system"},
             {"libusb error", nullptr,
              "libusb library not found. Please install libusb development package"},
             {"dependencies", "shared object",
              "Missing dependencies. Check if all required libraries are installed"}},
            "Failed to start dfu-util. Check program path and permissions");
    case QProcess::Crashed:
        return firstHit(output,
                        {{"segmentation fault", "segfault",
                          "dfu-util crashed (segmentation fault). Possible device driver issue"},
                         {"aborted", "abort",
                          "dfu-util aborted unexpectedly. Possible fatal error encountered"},
                         {"core dumped", "coredump",
                          "dfu-util crashed and created core dump. Check system logs"},
                         {"invalid memory", "memory access",
                          "Memory access violation. Firmware file may be corrupted"}},
                        "dfu-util terminated unexpectedly. Check system logs for details");
    case QProcess::Timedout:
        return firstHit(output,
                        {{"device not responding", "no response",
                          "Device not responding. Check connection or reset device"},
                         {"usb timeout", "transfer timeout",
                          "USB transfer timeout. Device may be disconnected or busy"}},
                        "Operation timeout. Device may be too slow or connection unstable");
    case QProcess::ReadError:
        return firstHit(output,
                        {{"pipe broken", "broken pipe",
                          "Broken pipe error. Process terminated before completing"},
                         {"resource unavailable", "eagain",
                          "Resource temporarily unavailable. System may be under heavy load"}},
                        "Failed to read dfu-util output. Possible I/O error");
    case QProcess::WriteError:
        return firstHit(
            output,
            {{"broken pipe", "pipe closed", "Broken pipe. Process terminated unexpectedly"},
             {"no space left on device", nullptr, "No space left on device. Check disk space"}},
            "Failed to write to dfu-util. Process pipe may be closed");
    default:
        return QStringLiteral("Unknown process error");
    }
}

} // namespace ProcessErrorText
