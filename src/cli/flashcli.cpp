#include "flashcli.h"

#include "cli/console.h"
#include "cli/exitcode.h"
#include "cli/recordfile.h"
#include "cli/upgradecommand.h"
#include "dfu/dfuutilmanager.h"
#include "dfu/dfuutilpath.h"
#include "engine/devicescanner.h"
#include "engine/sha256.h"
#include "i18n/translations.h"
#include "manifest/versioncompare.h"
#include "net/requestpolicy.h"
#include "ravlo_config.h"
#include "session/interruptwatch.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>
#include <QFileInfo>
#include <QHostAddress>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QSysInfo>
#include <QTextStream>
#include <QUrl>

namespace {

const char kDescription[] = QT_TRANSLATE_NOOP(
    "FlashCli",
    "Downloads, verifies and writes the Ravlo firmware from the command line.\n"
    "\n"
    "Commands:\n"
    "  list      the dfu-util in use and every attached DFU device\n"
    "  info      the newest firmware and program versions named by the update manifest\n"
    "  upgrade   write the newest firmware into the attached Ravlo device (in DFU mode)\n"
    "\n"
    "Exit codes:\n"
    "  0    every requested device was upgraded (list, info: done)\n"
    "  2    usage error\n"
    "  3    no device to write, several without --serial or --all, no access to it,\n"
    "       or no usable dfu-util\n"
    "  4    the update information or the image could not be downloaded, or the\n"
    "       update information could not be verified (--offline: none is kept that\n"
    "       can be used)\n"
    "  5    the image is not the one its digest names; nothing was written\n"
    "  6    a device was not written (under --all or --wait: at least one)\n"
    "  7    a device did not keep the image: what it gave back when read differs\n"
    "  8    written, but the device refused to be read back, so not verified\n"
    "       (under --all or --wait: the first of 6, 7, 8 that applies to a device)\n"
    "  130  interrupted (Ctrl-C, SIGTERM, SIGHUP) before the upgrade ended; under\n"
    "       --wait, while a device was being upgraded\n"
    "\n"
    "Records: --record FILE appends a line for every device's result, JSON Lines\n"
    "(.jsonl) or CSV (.csv): time (UTC), station, path, serial, firmware, sha256,\n"
    "verdict (verified, written, unproven, failed, or refused: nothing written),\n"
    "cause, seconds, program.\n"
    "\n"
    "Examples:\n"
    "  ravlo-flash upgrade\n"
    "  ravlo-flash upgrade --all --parallel --json\n"
    "  ravlo-flash upgrade --wait --record line-7.jsonl --station line-7\n"
    "  ravlo-flash upgrade --offline\n"
    "  ravlo-flash upgrade --wait --file Ravlo.bin --sha256 <64 hex digits>");

struct Options
{
    QString command;
    bool json = false;
    QString bucket;
    QString record; // the file each device's result is appended to
    UpgradeOptions upgrade;
};

QTextStream &err()
{
    static QTextStream stream(stderr);
    return stream;
}

int usage(const QString &message)
{
    err() << "ravlo-flash: " << message << '\n'
          << QCoreApplication::translate("FlashCli", "Try 'ravlo-flash --help'.") << '\n';
    err().flush();
    return ExitCode::kUsage;
}

bool loopback(const QString &host)
{
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
}

// Reads the command line into options; an error text on a usage error.
QString parse(const QStringList &arguments, Options &options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate("FlashCli", kDescription));
    parser.addPositionalArgument(QCoreApplication::translate("FlashCli", "command"),
                                 QCoreApplication::translate("FlashCli", "list, info or upgrade"));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption json(
        QStringLiteral("json"),
        QCoreApplication::translate("FlashCli", "One JSON object a line for every event."));
    const QCommandLineOption bucket(
        QStringLiteral("bucket"),
        QCoreApplication::translate("FlashCli", "The update bucket's address (https; plain "
                                                "http only to this computer); what it serves "
                                                "is held to this program's signing keys."),
        QStringLiteral("url"));
    const QCommandLineOption serial(
        QStringLiteral("serial"),
        QCoreApplication::translate("FlashCli", "upgrade: only the device with this serial."),
        QStringLiteral("serial"));
    const QCommandLineOption all(
        QStringLiteral("all"),
        QCoreApplication::translate("FlashCli", "upgrade: every attached Ravlo device, in turn."));
    const QCommandLineOption parallel(
        QStringLiteral("parallel"),
        QCoreApplication::translate("FlashCli", "upgrade --all: all at the same time."));
    const QCommandLineOption wait(
        QStringLiteral("wait"),
        QCoreApplication::translate("FlashCli", "upgrade: keep running and upgrade every Ravlo "
                                                "device as it is plugged in, until Ctrl-C."));
    const QCommandLineOption file(
        QStringLiteral("file"),
        QCoreApplication::translate("FlashCli", "upgrade: write this image instead of the "
                                                "bucket's (with --sha256)."),
        QStringLiteral("path"));
    const QCommandLineOption sha256(
        QStringLiteral("sha256"),
        QCoreApplication::translate("FlashCli", "upgrade --file: the image's SHA-256 digest."),
        QStringLiteral("hex"));
    const QCommandLineOption offline(
        QStringLiteral("offline"),
        QCoreApplication::translate("FlashCli", "upgrade: without the network: the image an "
                                                "earlier upgrade kept, named by the update "
                                                "information accepted last, while its signature "
                                                "is valid."));
    const QCommandLineOption noVerify(
        QStringLiteral("no-verify"),
        QCoreApplication::translate("FlashCli", "upgrade: do not read the image back before the "
                                                "device leaves DFU mode; the result says so."));
    const QCommandLineOption record(
        QStringLiteral("record"),
        QCoreApplication::translate("FlashCli", "upgrade: append a line for every device's "
                                                "result to this file, JSON Lines (.jsonl) or "
                                                "CSV (.csv)."),
        QStringLiteral("file"));
    const QCommandLineOption station(
        QStringLiteral("station"),
        QCoreApplication::translate("FlashCli", "upgrade --record: the name of this station in "
                                                "the record (default: the host name)."),
        QStringLiteral("name"));
    parser.addOptions({json, bucket, serial, all, parallel, wait, file, sha256, offline, noVerify,
                       record, station});
    if (!parser.parse(arguments))
        return parser.errorText();
    if (parser.isSet(help))
        parser.showHelp(ExitCode::kOk);
    if (parser.isSet(version))
        parser.showVersion();

    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 1)
        return positional.isEmpty()
                   ? QCoreApplication::translate("FlashCli", "no command given")
                   : QCoreApplication::translate("FlashCli", "one command at a time");
    options.command = positional.first();
    if (!QStringList{"list", "info", "upgrade"}.contains(options.command))
        return QCoreApplication::translate("FlashCli", "unknown command '%1'").arg(options.command);
    options.json = parser.isSet(json);
    options.bucket = parser.value(bucket);
    UpgradeOptions &upgrade = options.upgrade;
    upgrade.serial = parser.value(serial);
    upgrade.all = parser.isSet(all);
    upgrade.parallel = parser.isSet(parallel);
    upgrade.wait = parser.isSet(wait);
    upgrade.file = parser.value(file);
    upgrade.sha256 = parser.value(sha256);
    upgrade.verify = !parser.isSet(noVerify);
    options.record = parser.value(record);
    upgrade.station = parser.isSet(station) ? parser.value(station) : QSysInfo::machineHostName();
    upgrade.offline = parser.isSet(offline);

    const bool upgradeOptions = parser.isSet(serial) || upgrade.all || upgrade.parallel ||
                                upgrade.wait || parser.isSet(file) || parser.isSet(sha256) ||
                                upgrade.offline || !upgrade.verify || parser.isSet(record) ||
                                parser.isSet(station);
    if (options.command != QLatin1String("upgrade") && upgradeOptions)
        return QCoreApplication::translate("FlashCli", "that option goes with upgrade only");
    if (upgrade.parallel && !upgrade.all)
        return QCoreApplication::translate("FlashCli", "--parallel goes with --all");
    if (upgrade.all && (upgrade.wait || !upgrade.serial.isEmpty()))
        return QCoreApplication::translate("FlashCli",
                                           "--all goes with neither --wait nor --serial");
    if (parser.isSet(station) && !parser.isSet(record))
        return QCoreApplication::translate("FlashCli", "--station goes with --record");
    if (upgrade.offline && (parser.isSet(file) || parser.isSet(bucket)))
        return QCoreApplication::translate("FlashCli",
                                           "--offline goes with neither --file nor --bucket");
    if (parser.isSet(file) != parser.isSet(sha256))
        return QCoreApplication::translate("FlashCli", "--file and --sha256 go together");
    if (parser.isSet(sha256) && !Sha256::isDigest(upgrade.sha256))
        return QCoreApplication::translate("FlashCli", "--sha256 takes 64 hexadecimal digits");
    if (parser.isSet(bucket)) {
        const QUrl url(options.bucket);
        const bool https = url.scheme() == QLatin1String("https") && !url.host().isEmpty();
        const bool localHttp = url.scheme() == QLatin1String("http") && loopback(url.host());
        if (!url.isValid() || !(https || localHttp))
            return QCoreApplication::translate(
                "FlashCli", "--bucket takes an https address (plain http only to "
                            "this computer)");
    }
    return QString();
}

QString kibibytes(qint64 bytes)
{
    return bytes > 0 ? QCoreApplication::translate("FlashCli", "%1 KiB flash").arg(bytes / 1024)
                     : QString();
}

int list(Console &console)
{
    DFUUtilManager tool;
    if (!tool.validateDfuUtil()) {
        // The tool check's own reason is a developer's text: in the debug channel.
        qWarning().noquote() << tool.getLastError();
        const Diagnosis::Finding finding = Diagnosis::unusableTool(tool.getDfuUtilPath());
        err() << "ravlo-flash: "
              << QCoreApplication::translate("FlashCli", "no usable dfu-util at %1")
                     .arg(tool.getDfuUtilPath())
              << '\n'
              << finding.inOneLine() << '\n';
        return ExitCode::kDevice;
    }
    const QString path = tool.getDfuUtilPath();
    console.report(
        QStringLiteral("dfu-util: %1 (%2)").arg(dfuUtilShownPath(path), tool.getVersion()),
        {{"event", "tool"},
         {"path", path},
         {"target", QFileInfo(path).canonicalFilePath()},
         {"version", tool.getVersion()}});

    DeviceScanner scanner;
    QEventLoop loop;
    DeviceScanner::Result result;
    QObject::connect(&scanner, &DeviceScanner::finished, &loop,
                     [&](const DeviceScanner::Result &r) {
                         result = r;
                         loop.quit();
                     });
    scanner.start(tool.getDfuUtilPath(), EngineLimits().scanMs);
    loop.exec();
    if (result.error) {
        err() << "ravlo-flash: "
              << QCoreApplication::translate("FlashCli", "dfu-util -l did not finish: %1")
                     .arg(result.errorString)
              << '\n';
        return ExitCode::kDevice;
    }
    for (const QString &problem : result.scan.ravloProblems)
        err() << "ravlo-flash: " << problem << '\n';
    err().flush();
    for (const DfuDevice &device : result.scan.devices) {
        const QString kind =
            device.isRavlo() ? QCoreApplication::translate("FlashCli", "Ravlo, DFU mode")
            : device.dfuMode ? QCoreApplication::translate("FlashCli", "other device, DFU mode")
                             : QCoreApplication::translate("FlashCli", "run-time mode");
        console.report(
            QCoreApplication::translate("FlashCli", "%1  %2  serial %3  %4  %5")
                .arg(device.path, device.vidPid, device.serial, kind, kibibytes(device.flashSize()))
                .trimmed(),
            {{"event", "device"},
             {"path", device.path},
             {"vidPid", device.vidPid},
             {"serial", device.serial},
             {"ravlo", device.isRavlo()},
             {"dfuMode", device.dfuMode},
             {"flashSize", device.flashSize()}});
    }
    if (result.scan.devices.isEmpty())
        console.note(QCoreApplication::translate("FlashCli", "No DFU device attached."));
    return ExitCode::kOk;
}

int info(Console &console, const Endpoints &endpoints)
{
    Manifest manifest(nullptr, endpoints.manifestKeys);
    QEventLoop loop;
    bool success = false;
    QString error;
    QObject::connect(&manifest, &Manifest::manifestDownloaded, &loop,
                     [&](bool ok, const QString &message) {
                         success = ok;
                         error = message;
                         loop.quit();
                     });
    manifest.downloadManifest(endpoints.manifestUrl());
    if (manifest.isDownloading())
        loop.exec();
    if (!success) {
        const bool unverified = manifest.verificationFailed();
        err() << "ravlo-flash: "
              << (unverified ? QCoreApplication::translate(
                                   "FlashCli", "the update information could not be verified: %1")
                             : QCoreApplication::translate(
                                   "FlashCli", "the update information could not be loaded: %1"))
                     .arg(error)
              << '\n';
        if (unverified)
            err() << Manifest::verificationAdvice() << '\n';
        return ExitCode::kNetwork;
    }
    const QString own = QStringLiteral(RAVLO_APPLICATION_VERSION);
    const bool older = Version::compare(manifest.appVersion(), own) > 0;
    console.report(QCoreApplication::translate("FlashCli", "Firmware: %1 (%2, %3 bytes)")
                       .arg(manifest.productVersion(), manifest.productFilename())
                       .arg(manifest.productSize()),
                   {{"event", "firmware"},
                    {"version", manifest.productVersion()},
                    {"filename", manifest.productFilename()},
                    {"size", manifest.productSize()},
                    {"sha256", manifest.productSha256()}});
    console.report(
        QCoreApplication::translate("FlashCli", "SHA-256:  %1").arg(manifest.productSha256()), {});
    console.report(
        older ? QCoreApplication::translate("FlashCli", "Program:  %1 is available; this is %2")
                    .arg(manifest.appVersion(), own)
              : QCoreApplication::translate("FlashCli",
                                            "Program:  %1 is the newest (newest named: %2)")
                    .arg(own, manifest.appVersion()),
        {{"event", "program"}, {"newest", manifest.appVersion()}, {"this", own}, {"older", older}});
    if (endpoints.manifestKeys.isEmpty()) {
        console.report(QCoreApplication::translate(
                           "FlashCli", "Signed:   not checked (this build trusts no key)"),
                       {{"event", "signature"}, {"checked", false}});
        return ExitCode::kOk;
    }
    const SignatureCheck &signature = manifest.signature();
    const QString expires = signature.expires.toString(Qt::ISODate);
    console.report(
        QCoreApplication::translate("FlashCli", "Signed:   by key %1, sequence %2, valid until %3")
            .arg(signature.keyId)
            .arg(signature.sequence)
            .arg(expires),
        {{"event", "signature"},
         {"checked", true},
         {"key", signature.keyId},
         {"sequence", signature.sequence},
         {"expires", expires}});
    return ExitCode::kOk;
}

int upgrade(Console &console, const Endpoints &endpoints, const Options &options)
{
    // Nothing is written that could not be recorded.
    RecordFile record;
    QString why;
    if (!options.record.isEmpty() && !record.open(options.record, &why))
        return usage(why);
    UpgradeCommand command(endpoints, options.upgrade, console,
                           options.record.isEmpty() ? nullptr : &record);
    InterruptWatch interrupts;
    QObject::connect(&interrupts, &InterruptWatch::interrupted, &command,
                     &UpgradeCommand::interrupt);
    QEventLoop loop;
    int exitCode = ExitCode::kOk;
    QObject::connect(&command, &UpgradeCommand::finished, &loop, [&](int code) {
        exitCode = code;
        loop.quit();
    });
    // From within the loop: a command may end before it waits for anything.
    QMetaObject::invokeMethod(&command, &UpgradeCommand::start, Qt::QueuedConnection);
    loop.exec();
    return exitCode;
}

} // namespace

int runFlashCli(QCoreApplication &app, const Endpoints &built)
{
    installTranslations(app);
    Diagnosis::Environment::setFrontEnd(Diagnosis::FrontEnd::CommandLine);
    QCoreApplication::setApplicationName(QStringLiteral("ravlo-flash"));
    QCoreApplication::setApplicationVersion(QStringLiteral(RAVLO_APPLICATION_VERSION));
    RequestPolicy::useSystemProxy();
    // The engine's diagnostic channel is for developers (QT_LOGGING_RULES
    // turns it back on); what users read is the program's own output.
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false\ndefault.info=false\n"
                                                    "default.warning=false"));
    Options options;
    const QString problem = parse(QCoreApplication::arguments(), options);
    if (!problem.isEmpty())
        return usage(problem);
    // A mirror replaces the address alone: what it serves is held to the
    // build's keys.
    Endpoints endpoints = built;
    if (!options.bucket.isEmpty())
        endpoints.bucketBaseUrl =
            options.bucket.endsWith(QLatin1Char('/')) ? options.bucket.chopped(1) : options.bucket;
    Console console(Console::detect(options.json));
    if (options.command == QLatin1String("list"))
        return list(console);
    if (options.command == QLatin1String("info"))
        return info(console, endpoints);
    return upgrade(console, endpoints, options);
}
