// The demo's update bucket (scripts/demo.sh): serves the sample release over
// plain HTTP on 127.0.0.1 until it is stopped.
//
//   ravlo-demo-bucket [PORT]
//
// PORT defaults to the one the demo build is aimed at; 0 picks a free one.
// The first line on standard output is the bucket's address; standard error
// names every path asked for.

#include "demorelease.h"
#include "loopbackserver.h"

#include <QGuiApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // The pictures are drawn, never shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    Q_INIT_RESOURCE(resources);

    const QStringList arguments = QCoreApplication::arguments();
    bool ok = true;
    const uint port = arguments.size() > 1 ? arguments[1].toUInt(&ok) : RAVLO_DEMO_PORT;
    if (arguments.size() > 2 || !ok || port > 65535) {
        QTextStream(stderr) << "usage: ravlo-demo-bucket [PORT]\n";
        return 2;
    }

    LoopbackServer bucket(LoopbackServer::Transport::Http, quint16(port));
    DemoRelease::serve(bucket);
    QObject::connect(&bucket, &LoopbackServer::requestReceived, [](const QString &path) {
        QTextStream(stderr) << "demo bucket: " << path << Qt::endl;
    });
    QTextStream(stdout) << bucket.url() << Qt::endl;
    return app.exec();
}
