#pragma once

#include <QNetworkRequest>
#include <QString>

class QNetworkReply;
class QUrl;

// How every request of both programs is made, in one place: what each kind
// sends and how long it may stall, which redirects it follows, which proxy
// it goes through, and the network error a user reads when it fails.
namespace RequestPolicy {

enum class Kind
{
    Manifest, // manifest.json and its signature
    Image,    // the firmware image
    Picture,  // the showcase pictures
};

// Every request from now on goes through the proxy the system names: the
// desktop's settings on Windows and macOS; on Linux https_proxy for https
// (else http_proxy), http_proxy for http, no_proxy for the hosts to reach
// directly (lower case only, as Qt reads them). Qt never sends a request for
// localhost or a loopback address through a proxy. Qt built with its default
// (-system-proxies, as Debian's is) does this unasked; the call makes it so
// whatever the build. Called once at start-up.
void useSystemProxy();

// A GET of that kind: the manifest with the program's User-Agent and no
// redirect followed; the image follows redirects, never from https to plain
// http (its digest vouches for the content); a picture follows none. Each
// fails when no data moves for transferTimeoutMs.
QNetworkRequest request(Kind kind, const QUrl &url, int transferTimeoutMs);

// "Network error: <Qt's text>", naming the proxy when the connection failed
// on its way through one.
QString errorText(const QNetworkReply &reply);

} // namespace RequestPolicy
