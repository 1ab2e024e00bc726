// The demo's update bucket (scripts/demo.sh): serves the sample release over
// plain HTTP on 127.0.0.1 until it is stopped.
//
//   ravlo-demo-bucket [--fault tampered|replayed|expired|dropped] [PORT]
//
// PORT defaults to the one the demo build is aimed at; 0 picks a free one.
// A fault makes the manifest one the program must refuse, or drops the
// image's connection at half (DemoRelease::Fault). The first line on standard
// output is the bucket's address; standard error names every path asked for.

#include "demorelease.h"
#include "loopbackserver.h"

#include <QGuiApplication>
#include <QHash>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // The pictures are drawn, never shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);

    const QHash<QString, DemoRelease::Fault> faults{{"tampered", DemoRelease::Fault::Tampered},
                                                    {"replayed", DemoRelease::Fault::Replayed},
                                                    {"expired", DemoRelease::Fault::Expired},
                                                    {"dropped", DemoRelease::Fault::Dropped}};
    QStringList arguments = QCoreApplication::arguments().mid(1);
    DemoRelease::Fault fault = DemoRelease::Fault::None;
    bool ok = true;
    if (arguments.value(0) == QLatin1String("--fault")) {
        ok = faults.contains(arguments.value(1));
        fault = faults.value(arguments.value(1));
        arguments = arguments.mid(2);
    }
    bool portOk = true;
    const uint port = arguments.isEmpty() ? RAVLO_DEMO_PORT : arguments[0].toUInt(&portOk);
    if (arguments.size() > 1 || !ok || !portOk || port > 65535) {
        QTextStream(stderr)
            << "usage: ravlo-demo-bucket [--fault tampered|replayed|expired|dropped] [PORT]\n";
        return 2;
    }

    LoopbackServer bucket(LoopbackServer::Transport::Http, quint16(port));
    DemoRelease::serve(bucket, fault);
    QObject::connect(&bucket, &LoopbackServer::requestReceived, [](const QString &path) {
        QTextStream(stderr) << "demo bucket: " << path << Qt::endl;
    });
    QTextStream(stdout) << bucket.url() << Qt::endl;
    return app.exec();
}
