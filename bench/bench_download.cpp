// The image download against curl: both fetch the same image from a loopback
// HTTPS server in another process, in alternating pairs, into a file. Prints
// each pair's times, the median ratio of throughputs (engine / curl) and the
// engine's peak growth of resident memory. Then the download whose connection
// drops at half against an undisturbed one, in alternating pairs from a
// server in this process: the bytes it took (served / image) and the median
// ratio of the times, the pause before the retry (1 s) included.
//
//   bench_download [pairs] [MiB]        (defaults: 5 pairs of 64 MiB)

#include "loopbackserver.h"
#include "median.h"

#include "engine/imagedownload.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <cstdio>

namespace {

// A /proc/self/status field in KiB.
qint64 statusKiB(const QByteArray &field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QByteArray randomImage(int mebibytes)
{
    QByteArray image(mebibytes << 20, Qt::Uninitialized);
    QRandomGenerator generator(7);
    generator.fillRange(reinterpret_cast<quint32 *>(image.data()), image.size() / 4);
    return image;
}

// Runs as the server process: serves the image until killed.
int serve(int mebibytes)
{
    LoopbackServer server(LoopbackServer::Transport::Https);
    server.serve(QStringLiteral("/image.bin"), LoopbackReply::ok(randomImage(mebibytes)));
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

struct Run
{
    double seconds = 0;
    qint64 peakGrowthKiB = 0;
};

Run engineDownload(QNetworkAccessManager &network, const QString &url, const QString &path)
{
    // Writing 5 resets the peak (VmHWM) to what is resident now.
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    clearRefs.close();
    const qint64 before = statusKiB("VmRSS");

    ImageDownload download(&network);
    QEventLoop loop;
    QObject::connect(&download, &ImageDownload::finished, &loop, &QEventLoop::quit);
    QElapsedTimer clock;
    clock.start();
    download.start(QUrl(url), path, EngineLimits());
    loop.exec();
    Run run{clock.nsecsElapsed() / 1e9, statusKiB("VmHWM") - before};
    if (!download.outcome().complete)
        qFatal("engine download failed: %s", qPrintable(download.outcome().message));
    return run;
}

Run curlDownload(const QString &url, const QString &path)
{
    QElapsedTimer clock;
    clock.start();
    const int code = QProcess::execute(QStringLiteral("curl"),
                                       {QStringLiteral("-sS"), QStringLiteral("--cacert"),
                                        LoopbackServer::caFile(), QStringLiteral("-o"), path, url});
    if (code != 0)
        qFatal("curl failed with %d", code);
    return {clock.nsecsElapsed() / 1e9, 0};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList arguments = app.arguments();
    if (arguments.value(1) == QLatin1String("--serve"))
        return serve(arguments.value(2).toInt());
    const int pairs = arguments.size() > 1 ? arguments.at(1).toInt() : 5;
    const int mebibytes = arguments.size() > 2 ? arguments.at(2).toInt() : 64;

    QProcess server;
    server.start(app.applicationFilePath(),
                 {QStringLiteral("--serve"), QString::number(mebibytes)});
    if (!server.waitForReadyRead(60000))
        qFatal("the server did not start");
    const QString url = QStringLiteral("https://127.0.0.1:%1/image.bin")
                            .arg(QString::fromLatin1(server.readLine().trimmed()));
    // Trusts the test CA, as the server does.
    LoopbackServer(LoopbackServer::Transport::Https);

    QTemporaryDir dir;
    QNetworkAccessManager network;
    QTextStream out(stdout);
    QList<double> ratios;
    qint64 peak = 0;
    out << QStringLiteral("%1 MiB over loopback HTTPS, %2 pairs\n").arg(mebibytes).arg(pairs);
    for (int i = 0; i < pairs; ++i) {
        // Alternate who goes first, so neither always meets a warm cache.
        Run engine;
        Run curl;
        if (i % 2 == 0) {
            engine = engineDownload(network, url, dir.filePath(QStringLiteral("engine.bin")));
            curl = curlDownload(url, dir.filePath(QStringLiteral("curl.bin")));
        } else {
            curl = curlDownload(url, dir.filePath(QStringLiteral("curl.bin")));
            engine = engineDownload(network, url, dir.filePath(QStringLiteral("engine.bin")));
        }
        ratios << curl.seconds / engine.seconds;
        peak = std::max(peak, engine.peakGrowthKiB);
        out << QStringLiteral(
                   "pair %1: engine %2 s, curl %3 s, ratio %4, engine peak RSS +%5 MiB\n")
                   .arg(i + 1)
                   .arg(engine.seconds, 0, 'f', 3)
                   .arg(curl.seconds, 0, 'f', 3)
                   .arg(ratios.last(), 0, 'f', 2)
                   .arg(engine.peakGrowthKiB / 1024.0, 0, 'f', 1);
        out.flush();
    }
    out << QStringLiteral("median throughput ratio engine/curl: %1 (target >= 0.90)\n")
               .arg(median(ratios), 0, 'f', 2);
    out << QStringLiteral("largest engine peak RSS growth: %1 MiB (target < 16)\n")
               .arg(peak / 1024.0, 0, 'f', 1);
    server.kill();
    server.waitForFinished();

    // The same image with ranges, whole, and dropped at half then taken up.
    const QByteArray image = randomImage(mebibytes);
    const LoopbackReply ranged = LoopbackReply::ok(image).ranges("ETag", "\"1\"");
    const QString whole = QStringLiteral("/image.bin");
    const QString dropped = QStringLiteral("/dropped.bin");
    LoopbackServer local(LoopbackServer::Transport::Https);
    local.serve(whole, ranged);
    local.serveInTurn(dropped, {LoopbackReply(ranged).dropAfter(image.size() / 2), ranged});
    QList<double> slowdowns;
    double mostServed = 0;
    out << QStringLiteral("dropped at half, against undisturbed (same server, this process)\n");
    for (int i = 0; i < pairs; ++i) {
        const auto download = [&](const QString &path) {
            return engineDownload(network, local.url(path), dir.filePath(QStringLiteral("r.bin")));
        };
        const qint64 servedBefore = local.bytesServed(dropped);
        Run undisturbed;
        Run resumed;
        if (i % 2 == 0) {
            undisturbed = download(whole);
            resumed = download(dropped);
        } else {
            resumed = download(dropped);
            undisturbed = download(whole);
        }
        const double served = double(local.bytesServed(dropped) - servedBefore) / image.size();
        slowdowns << resumed.seconds / undisturbed.seconds;
        mostServed = std::max(mostServed, served);
        out << QStringLiteral("pair %1: undisturbed %2 s, dropped %3 s (+%4 s), served %5 "
                              "images\n")
                   .arg(i + 1)
                   .arg(undisturbed.seconds, 0, 'f', 3)
                   .arg(resumed.seconds, 0, 'f', 3)
                   .arg(resumed.seconds - undisturbed.seconds, 0, 'f', 3)
                   .arg(served, 0, 'f', 3);
        out.flush();
    }
    out << QStringLiteral("most bytes served for a dropped download: %1 images (target <= 1.10)\n")
               .arg(mostServed, 0, 'f', 3);
    out << QStringLiteral("median time ratio dropped/undisturbed: %1 (with a %2 s pause)\n")
               .arg(median(slowdowns), 0, 'f', 2)
               .arg(EngineLimits().retryPauseMs / 1000.0);
    return 0;
}
