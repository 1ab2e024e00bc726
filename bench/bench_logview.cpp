// Appending a coloured line to a full log view: through the Logger, against
// the same line appended straight to a bare QTextEdit whose document keeps as
// many lines, with a QPlainTextEdit that keeps as many beside them. Each
// round appends the same lines to each view in turn, who goes first
// alternating; prints each round's cost per line, the median ratios and the
// target (Logger at most 1.2 times the bare QTextEdit).
//
//   bench_logview [rounds] [lines per round]        (defaults: 7 rounds of 2000 lines)
//
// It runs on the off-screen platform unless QT_QPA_PLATFORM names another.

#include "log/logger.h"
#include "median.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QTextStream>

#include <functional>

namespace {

constexpr int kViewLines = 1000;

// The line the Logger shows for an INFO message, made the way it makes it.
QString displayLine(const QString &message)
{
    return QStringLiteral("<font color=\"#FFFFFF\">[%1] [INFO] %2</font>")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")),
             message.toHtmlEscaped());
}

QString message(int i)
{
    return QStringLiteral("Download firmware: %1% (1.5 MB/s) remaining: %2s").arg(i % 100).arg(i);
}

// A view dressed as the Logger dresses its own, so only the way in differs.
template <typename View>
void dress(View &view)
{
    view.setReadOnly(true);
    view.setFont(QFont(QStringLiteral("Consolas"), 9));
    view.setWordWrapMode(QTextOption::WrapAnywhere);
    view.setUndoRedoEnabled(false);
    view.resize(900, 400);
    view.show();
}

// Seconds per line for lines first to first + count - 1.
double perLine(const std::function<void(int)> &append, int first, int count)
{
    QElapsedTimer clock;
    clock.start();
    for (int i = first; i < first + count; ++i)
        append(i);
    return clock.nsecsElapsed() / 1e9 / count;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    const int rounds = arguments.size() > 1 ? arguments.at(1).toInt() : 7;
    const int lines = arguments.size() > 2 ? arguments.at(2).toInt() : 2000;
    // The Logger echoes every line to the debug channel; where that goes is
    // the platform's business, not the view's.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});

    QTextEdit logView;
    dress(logView);
    Logger *logger = Logger::instance();
    logger->setTextEdit(&logView);
    QTextEdit bare;
    dress(bare);
    bare.document()->setMaximumBlockCount(kViewLines);
    QPlainTextEdit plain;
    dress(plain);
    plain.setMaximumBlockCount(kViewLines);

    const std::function<void(int)> throughLogger = [logger](int i) {
        logger->info(message(i));
        // The line reaches the view through the event loop.
        QCoreApplication::sendPostedEvents(logger, QEvent::MetaCall);
    };
    const std::function<void(int)> straight = [&bare](int i) {
        bare.append(displayLine(message(i)));
    };
    const std::function<void(int)> plainText = [&plain](int i) {
        plain.appendHtml(displayLine(message(i)));
    };
    // Full views before anything is measured.
    perLine(throughLogger, 0, kViewLines);
    perLine(straight, 0, kViewLines);
    perLine(plainText, 0, kViewLines);
    QCoreApplication::processEvents();

    QTextStream out(stdout);
    QList<double> againstBare;
    QList<double> againstPlain;
    out << QStringLiteral("%1 rounds of %2 lines into full views of %3 lines\n")
               .arg(rounds)
               .arg(lines)
               .arg(kViewLines);
    for (int round = 0; round < rounds; ++round) {
        const int first = kViewLines + round * lines;
        double viaLogger = 0;
        double viaBare = 0;
        double viaPlain = 0;
        if (round % 2 == 0) {
            viaLogger = perLine(throughLogger, first, lines);
            viaBare = perLine(straight, first, lines);
            viaPlain = perLine(plainText, first, lines);
        } else {
            viaPlain = perLine(plainText, first, lines);
            viaBare = perLine(straight, first, lines);
            viaLogger = perLine(throughLogger, first, lines);
        }
        QCoreApplication::processEvents();
        againstBare << viaLogger / viaBare;
        againstPlain << viaLogger / viaPlain;
        out << QStringLiteral("round %1: Logger %2 us, bare QTextEdit %3 us, QPlainTextEdit %4 us "
                              "a line\n")
                   .arg(round + 1)
                   .arg(viaLogger * 1e6, 0, 'f', 1)
                   .arg(viaBare * 1e6, 0, 'f', 1)
                   .arg(viaPlain * 1e6, 0, 'f', 1);
        out.flush();
    }
    const int shown = logView.document()->blockCount();
    out << QStringLiteral("lines kept by the log view: %1 (of %2)\n").arg(shown).arg(kViewLines);
    out << QStringLiteral("median cost ratio Logger / bare QTextEdit: %1 (target <= 1.20)\n")
               .arg(median(againstBare), 0, 'f', 2);
    out << QStringLiteral("median cost ratio Logger / QPlainTextEdit: %1\n")
               .arg(median(againstPlain), 0, 'f', 2);
    return shown == kViewLines ? 0 : 1;
}
