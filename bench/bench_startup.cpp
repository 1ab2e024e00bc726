// The program's start-up against a bare QMainWindow of the same size: each is
// started as a fresh process of this benchmark, in alternating pairs, and
// reports the times from the start of main() to its window being mapped (the
// expose that shows it arrives) and to its first frame (that expose painted).
// Prints each pair's times and the median ratios (target: mapped at most 1.3
// times the bare window's).
//
//   bench_startup [pairs]          (default: 9 pairs)
//
// It uses the platform of the environment (under xvfb-run: a real X server),
// else the off-screen one. The program's window is aimed at a loopback bucket
// that never answers, so neither a reply nor a failure box comes first.

#include "app/application.h"
#include "app/mainwindow.h"
#include "loopbackserver.h"
#include "median.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTextStream>
#include <QWindow>

#include <memory>

namespace {

// Quits once the window's first frame has been painted: the expose that maps
// it is handed on from here and painted before the clock is read again.
class FirstFrame : public QObject
{
public:
    FirstFrame(QWidget &window, const QElapsedTimer &clock)
        : m_clock(clock)
    {
        window.winId(); // the native window, to watch before it is shown
        window.windowHandle()->installEventFilter(this);
    }
    qint64 mappedNs = 0;
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *window = static_cast<QWindow *>(watched);
        if (event->type() != QEvent::Expose || !window->isExposed())
            return false;
        mappedNs = m_clock.nsecsElapsed();
        window->removeEventFilter(this);
        QCoreApplication::sendEvent(window, event);
        paintedNs = m_clock.nsecsElapsed();
        QCoreApplication::quit();
        return true;
    }

private:
    const QElapsedTimer &m_clock;
};

// Runs as a child: starts one window, prints the nanoseconds to its first
// frame and the window's size.
int child(int argc, char *argv[], bool program, const QElapsedTimer &clock)
{
    if (program)
        prepareApplication();
    QApplication app(argc, argv);
    std::unique_ptr<QMainWindow> window;
    if (program) {
        setupApplication(app);
        window = std::make_unique<MainWindow>(
            Endpoints{QString::fromLatin1(argv[2]), QStringLiteral("https://store.example.com")});
    } else {
        window = std::make_unique<QMainWindow>();
    }
    FirstFrame frame(*window, clock);
    if (!program)
        window->resize(
            QSize(QString::fromLatin1(argv[2]).toInt(), QString::fromLatin1(argv[3]).toInt()));
    window->show();
    app.exec();
    QTextStream(stdout) << frame.mappedNs << ' ' << frame.paintedNs << ' ' << window->width() << ' '
                        << window->height() << '\n';
    return 0;
}

struct Start
{
    double mappedMs = 0;
    double paintedMs = 0;
    QSize size;
};

Start run(const QString &self, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(self, arguments);
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        qFatal("bench_startup %s did not finish", qPrintable(arguments.join(' ')));
    const QList<QByteArray> report = process.readAllStandardOutput().trimmed().split(' ');
    if (report.size() != 4)
        qFatal("bench_startup %s said no time", qPrintable(arguments.join(' ')));
    return {report[0].toLongLong() / 1e6, report[1].toLongLong() / 1e6,
            QSize(report[2].toInt(), report[3].toInt())};
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer clock;
    clock.start();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString mode = argc > 1 ? QString::fromLatin1(argv[1]) : QString();
    if (mode == QLatin1String("--program") || mode == QLatin1String("--bare"))
        return child(argc, argv, mode == QLatin1String("--program"), clock);

    QCoreApplication app(argc, argv);
    const int pairs = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 9;
    const QString self = app.applicationFilePath();
    LoopbackServer bucket;
    for (const char *path : {"/manifest.json", "/product.jpg", "/product2.jpg"})
        bucket.serve(QLatin1String(path), LoopbackReply::ok("{").stallAfter(0));
    const QStringList program = {QStringLiteral("--program"), bucket.url()};
    // The program's window decides its own size; the bare one takes it.
    const QSize size = run(self, program).size;
    const QStringList bare = {QStringLiteral("--bare"), QString::number(size.width()),
                              QString::number(size.height())};
    QTextStream out(stdout);
    out << QStringLiteral("%1 pairs, windows of %2x%3, on %4\n")
               .arg(pairs)
               .arg(size.width())
               .arg(size.height())
               .arg(qEnvironmentVariable("QT_QPA_PLATFORM", QStringLiteral("xcb")));
    QList<double> mapped;
    QList<double> painted;
    for (int i = 0; i < pairs; ++i) {
        Start ours;
        Start plain;
        if (i % 2 == 0) {
            ours = run(self, program);
            plain = run(self, bare);
        } else {
            plain = run(self, bare);
            ours = run(self, program);
        }
        mapped << ours.mappedMs / plain.mappedMs;
        painted << ours.paintedMs / plain.paintedMs;
        out << QStringLiteral("pair %1: mapped after %2 ms (bare QMainWindow %3 ms), ratio %4; "
                              "painted after %5 ms (%6 ms), ratio %7\n")
                   .arg(i + 1)
                   .arg(ours.mappedMs, 0, 'f', 1)
                   .arg(plain.mappedMs, 0, 'f', 1)
                   .arg(mapped.last(), 0, 'f', 2)
                   .arg(ours.paintedMs, 0, 'f', 1)
                   .arg(plain.paintedMs, 0, 'f', 1)
                   .arg(painted.last(), 0, 'f', 2);
        out.flush();
    }
    out << QStringLiteral("median ratio program / bare QMainWindow, mapped: %1 (target <= 1.30)\n")
               .arg(median(mapped), 0, 'f', 2);
    out << QStringLiteral("median ratio program / bare QMainWindow, first frame painted: %1\n")
               .arg(median(painted), 0, 'f', 2);
    return 0;
}
