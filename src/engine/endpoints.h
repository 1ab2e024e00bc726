#pragma once

#include <QString>

// The addresses the program talks to. The shipped program only ever uses
// production(), whose values are fixed when it is built; tests construct their
// own to aim a window at loopback servers.
struct Endpoints
{
    QString bucketBaseUrl; // no trailing slash; object paths are appended
    QString storeUrl;      // the store's home page

    static Endpoints production();

    QString manifestUrl() const;
    QString firmwareUrl() const;
    QString productImageUrl() const;
    QString productImage2Url() const;
    // The store's host name, as shown in the window.
    QString storeHost() const;
    // The page the update prompt opens: the store's host, "/download/ravlo-Q70".
    QString storeDownloadPage() const;
};
