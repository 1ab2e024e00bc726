#include "serverthread.h"

#include <QMetaObject>
#include <QTcpServer>
#include <QThread>

quint16 listenOnThread(QTcpServer *listener, QThread &thread, quint16 port)
{
    listener->moveToThread(&thread);
    QObject::connect(&thread, &QThread::finished, listener, &QObject::deleteLater);
    thread.start();
    quint16 listening = 0;
    QMetaObject::invokeMethod(
        listener,
        [listener, port] {
            return listener->listen(QHostAddress::LocalHost, port) ? listener->serverPort()
                                                                   : quint16(0);
        },
        Qt::BlockingQueuedConnection, &listening);
    if (listening == 0)
        qFatal("cannot listen on 127.0.0.1:%u", port);
    return listening;
}
