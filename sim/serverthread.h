#pragma once

#include <QtGlobal>

class QTcpServer;
class QThread;

// Moves a listener to the thread, starts the thread and listens on
// 127.0.0.1:port (0: any free port); returns the port, or ends the program
// when it cannot listen. The listener and its connections go when the thread
// ends.
quint16 listenOnThread(QTcpServer *listener, QThread &thread, quint16 port);
