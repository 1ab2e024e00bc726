#pragma once

#include <QString>
#include <QStringList>

// The addresses the program talks to, and the keys that must have signed what
// the bucket says. The shipped program only ever uses production(), whose
// values are fixed when it is built (a mirror replaces the bucket's address
// alone); tests construct their own to aim a window at loopback servers.
struct Endpoints
{
    QString bucketBaseUrl; // no trailing slash; object paths are appended
    QString storeUrl;      // the store's home page
    // minisign public keys (base64 lines of .pub files), one of which must
    // have signed the manifest; empty: the manifest is not signature-checked.
    QStringList manifestKeys = {};

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
