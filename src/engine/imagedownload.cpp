#include "imagedownload.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include <utility>

namespace {
// What the network layer may hold of the image before it is written out; it
// stops reading from the socket when this is full.
constexpr qint64 kReadBufferBytes = 1 << 20;
} // namespace

ImageDownload::ImageDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , m_network(network)
{}

ImageDownload::~ImageDownload()
{
    discard();
}

bool ImageDownload::start(const QUrl &url, const QString &filePath, int transferTimeoutMs)
{
    m_file.setFileName(filePath);
    if (!m_file.open(QIODevice::WriteOnly)) {
        m_outcome.message = tr("Failed to create firmware file");
        return false;
    }
    QNetworkRequest request(url);
    request.setTransferTimeout(transferTimeoutMs);
    // Any https address will do: the digest vouches for the content. Never
    // from https back to plain http.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::NoLessSafeRedirectPolicy);
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &ImageDownload::progress);
    connect(m_reply, &QNetworkReply::readyRead, this, &ImageDownload::writeAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &ImageDownload::onNetworkReplyFinished);
    return true;
}

void ImageDownload::discard()
{
    abandonReply();
    if (m_file.isOpen())
        m_file.close();
    if (!m_file.fileName().isEmpty() && QFile::exists(m_file.fileName()))
        m_file.remove();
}

void ImageDownload::writeAvailable()
{
    if (!m_reply)
        return;
    // Read even what is not written, or a full buffer stalls the reply: only
    // an answer that brings the image is written, an error page is not.
    const QByteArray data = m_reply->readAll();
    if (m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() != 200)
        return;
    if (!write(data))
        finish({false, false, tr("Failed to write firmware file")});
}

bool ImageDownload::write(const QByteArray &data)
{
    // Every write is checked on its own: QFile forgets a failed write once a
    // later flush succeeds.
    if (m_file.write(data) != data.size())
        return false;
    m_hash.addData(data);
    m_written += data.size();
    return true;
}

void ImageDownload::onNetworkReplyFinished()
{
    if (!m_reply)
        return;
    if (m_reply->error() != QNetworkReply::NoError) {
        finish({false, true, tr("Network error: %1").arg(m_reply->errorString())});
        return;
    }
    // Anything but 200 (204, a redirect not followed, ...) did not bring the image.
    const int status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        finish({false, false, tr("Unexpected server response (HTTP %1)").arg(status)});
        return;
    }
    bool written = write(m_reply->readAll()) && m_file.flush();
    m_file.close();
    // What is on disk is what was received, or the image is not trusted.
    written = written && m_file.error() == QFileDevice::NoError &&
              QFileInfo(m_file.fileName()).size() == m_written;
    if (!written) {
        finish({false, false, tr("Failed to write firmware file")});
        return;
    }
    m_sha256 = m_hash.hexResult();
    finish({true, false, QString()});
}

void ImageDownload::finish(const Outcome &outcome)
{
    m_outcome = outcome;
    if (!outcome.complete)
        discard();
    else
        abandonReply();
    emit finished(outcome);
}

void ImageDownload::abandonReply()
{
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    if (!reply)
        return;
    // Cut off before abort(): abort() finishes the reply on the spot, and its
    // last signals must not reach a download that has ended.
    reply->disconnect(this);
    if (reply->isRunning())
        reply->abort();
    reply->deleteLater();
}
