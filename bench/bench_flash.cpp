// What proving a write costs: the whole flash as the engine runs it (write,
// read-back, leave) against the write alone, both with the real dfu-util
// beside this benchmark on the simulated bus, in alternating pairs. Prints
// each pair's times and the median ratio (target: the whole flash at most
// 1.6 times the write alone).
//
//   bench_flash [pairs] [poll ms]     (defaults: 5 pairs, 5 ms)
//
// The simulated device answers every status request after the poll time it
// asks for (RAVLO_DFUSIM_POLL_MS), as a real bootloader makes the host wait
// while it erases and programs: at 5 ms a 1 MiB write takes about as long as
// on a real STM32F4. It reads its flash back at once, where a real one needs
// a second or two for 1 MiB over full-speed USB.

#include "dfusimscenario.h"
#include "median.h"

#include "dfu/dfuutilpath.h"
#include "dfu/flashcommand.h"
#include "engine/sha256.h"
#include "engine/steprun.h"
#include "engine/upgradeengine.h"
#include "manifest/manifest.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// From the start of the write to the verdict of an engine run on the image.
double wholeFlash(const QString &image, const QString &digest)
{
    QNetworkAccessManager network;
    Manifest manifest(&network);
    UpgradeEngine engine(Endpoints{}, &manifest, &network);
    EngineLimits limits;
    limits.burnDelayMs = 0;
    engine.setLimits(limits);
    UpgradeEngine::Plan plan;
    plan.imageFile = image;
    plan.imageSha256 = digest;
    engine.setPlan(plan);
    QElapsedTimer clock;
    QObject::connect(&engine, &UpgradeEngine::phaseChanged, [&clock](UpgradeEngine::Phase phase) {
        if (phase == UpgradeEngine::Phase::Flashing)
            clock.start();
    });
    QEventLoop loop;
    QObject::connect(&engine, &UpgradeEngine::succeeded, &loop, &QEventLoop::quit);
    QObject::connect(&engine, &UpgradeEngine::failed, [](const UpgradeFailure &failure) {
        qFatal("the flash failed: %s", qPrintable(failure.reason));
    });
    engine.start();
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

// The write step as the engine runs it, alone.
double writeAlone(const QString &image, qint64 size)
{
    StepRun write(FlashStep::Write);
    QEventLoop loop;
    QObject::connect(&write, &StepRun::finished, [&loop](const StepRun::Result &result) {
        if (result.status != StepRun::Result::Status::Done)
            qFatal("the write failed: %s", qPrintable(result.output));
        loop.quit();
    });
    QElapsedTimer clock;
    clock.start();
    write.start(dfuUtilPath(), FlashCommand::write(QStringLiteral("1-2"), image),
                QFileInfo(image).absolutePath(), size, EngineLimits().startMs);
    loop.exec();
    return clock.nsecsElapsed() / 1e9;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QLoggingCategory::setFilterRules(QStringLiteral("*.debug=false")); // the engine's diagnostics
    const QStringList arguments = app.arguments();
    const int pairs = arguments.size() > 1 ? arguments.at(1).toInt() : 5;
    const int pollMs = arguments.size() > 2 ? arguments.at(2).toInt() : 5;

    QTemporaryDir dir;
    qputenv("TMPDIR", QFile::encodeName(dir.path())); // the read-back file's folder
    DfuSimScenario bus(dir.path());
    bus.addDevice().setPollTimeout(pollMs).applyToThisProcess();
    const QByteArray bytes = DfuSim::image(DfuSim::kFlashSize);
    const QString image = dir.filePath(QStringLiteral("image.bin"));
    QFile file(image);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the image");
    file.close();
    const QString digest = Sha256::ofFile(image);

    QTextStream out(stdout);
    out << QStringLiteral("1 MiB image, simulated device polled after %1 ms, %2 pairs\n")
               .arg(pollMs)
               .arg(pairs);
    QList<double> ratios;
    for (int i = 0; i < pairs; ++i) {
        // Alternate who goes first, so neither always meets a warm cache.
        double whole = 0;
        double write = 0;
        if (i % 2 == 0) {
            whole = wholeFlash(image, digest);
            write = writeAlone(image, bytes.size());
        } else {
            write = writeAlone(image, bytes.size());
            whole = wholeFlash(image, digest);
        }
        ratios << whole / write;
        out << QStringLiteral("pair %1: whole flash %2 s, write alone %3 s, ratio %4\n")
                   .arg(i + 1)
                   .arg(whole, 0, 'f', 3)
                   .arg(write, 0, 'f', 3)
                   .arg(ratios.last(), 0, 'f', 2);
        out.flush();
    }
    out << QStringLiteral("median ratio whole flash / write alone: %1 (target <= 1.60)\n")
               .arg(median(ratios), 0, 'f', 2);
    if (!bus.flash().startsWith(bytes))
        qFatal("the simulated flash does not hold the image");
    return 0;
}
