#include "imagedownload.h"

#include "net/requestpolicy.h"

#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QRegularExpression>

#include <utility>

namespace {

// What the network layer may hold of the image before it is written out; it
// stops reading from the socket when this is full.
constexpr qint64 kReadBufferBytes = 1 << 20;

// Errors of a connection that may well work on the next try.
bool passing(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out: a stall
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
    case QNetworkReply::ProxyConnectionClosedError:
    case QNetworkReply::ProxyTimeoutError:
        return true;
    default:
        return false;
    }
}

int status(const QNetworkReply &reply)
{
    return reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
}

} // namespace

ImageDownload::ImageDownload(QNetworkAccessManager *network, QObject *parent)
    : QObject(parent)
    , m_network(network)
{
    m_pause.setSingleShot(true);
    connect(&m_pause, &QTimer::timeout, this, &ImageDownload::request);
}

ImageDownload::~ImageDownload()
{
    discard();
}

bool ImageDownload::start(const QUrl &url, const QString &filePath, const EngineLimits &limits)
{
    m_file.setFileName(filePath);
    if (!m_file.open(QIODevice::WriteOnly)) {
        m_outcome.message = tr("Failed to create firmware file");
        return false;
    }
    m_url = url;
    m_limits = limits;
    m_hash = std::make_unique<Sha256>();
    request();
    return true;
}

void ImageDownload::discard()
{
    m_pause.stop();
    abandonReply();
    if (m_file.isOpen())
        m_file.close();
    if (!m_file.fileName().isEmpty() && QFile::exists(m_file.fileName()))
        m_file.remove();
}

void ImageDownload::request()
{
    QNetworkRequest request =
        RequestPolicy::request(RequestPolicy::Kind::Image, m_url, m_limits.transferMs);
    // Without a validator a range could join two different files.
    const QByteArray validator = !m_etag.isEmpty() ? m_etag : m_lastModified;
    m_replyOffset = m_written > 0 && m_ranges && !validator.isEmpty() ? m_written : 0;
    if (m_replyOffset > 0) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(m_replyOffset) + '-');
        request.setRawHeader("If-Range", validator);
    }
    m_answer = Answer::Pending;
    m_reply = m_network->get(request);
    m_reply->setReadBufferSize(kReadBufferBytes);
    connect(m_reply, &QNetworkReply::downloadProgress, this, &ImageDownload::onProgress);
    connect(m_reply, &QNetworkReply::readyRead, this, &ImageDownload::writeAvailable);
    connect(m_reply, &QNetworkReply::finished, this, &ImageDownload::onReplyFinished);
}

ImageDownload::Answer ImageDownload::answer()
{
    if (m_answer != Answer::Pending)
        return m_answer;
    const int code = status(*m_reply);
    if (code == 0 || (code >= 300 && code < 400))
        return Answer::Pending;
    if (code == 200) {
        // The whole image, asked for or not: the file starts with it.
        if (m_replyOffset > 0)
            emit notice(tr("The server sent the whole firmware image again; the download "
                           "starts over"));
        truncate();
        m_replyOffset = 0;
        const QVariant length = m_reply->header(QNetworkRequest::ContentLengthHeader);
        m_total = length.isValid() ? length.toLongLong() : -1;
        m_ranges = m_reply->rawHeader("Accept-Ranges").contains("bytes");
        const QByteArray etag = m_reply->rawHeader("ETag");
        // A weak ETag does not vouch for the bytes.
        m_etag = etag.startsWith("W/") ? QByteArray() : etag;
        m_lastModified = m_reply->rawHeader("Last-Modified");
        m_answer = Answer::Take;
    } else if (code == 206 && m_replyOffset > 0) {
        m_answer = judgeRange();
    } else if (code == 416 && m_replyOffset > 0) {
        m_answer = startOverOnce();
    } else {
        m_answer = Answer::Ignore;
    }
    return m_answer;
}

ImageDownload::Answer ImageDownload::judgeRange()
{
    // Exactly the rest of the same file, or nothing of it.
    static const QRegularExpression pattern(QStringLiteral("^bytes (\\d+)-(\\d+)/(\\d+)$"));
    const QRegularExpressionMatch range =
        pattern.match(QString::fromLatin1(m_reply->rawHeader("Content-Range")));
    const qint64 total = range.captured(3).toLongLong();
    const bool rest = range.hasMatch() && range.captured(1).toLongLong() == m_written &&
                      range.captured(2).toLongLong() == total - 1 &&
                      (m_total < 0 || total == m_total);
    const QByteArray etag = m_reply->rawHeader("ETag");
    const QByteArray lastModified = m_reply->rawHeader("Last-Modified");
    const bool same = !m_etag.isEmpty() ? etag == m_etag
                                        : lastModified.isEmpty() || lastModified == m_lastModified;
    if (!rest || !same)
        return startOverOnce();
    m_total = total;
    return Answer::Take;
}

ImageDownload::Answer ImageDownload::startOverOnce()
{
    if (std::exchange(m_startedOver, true)) {
        finish({false, false,
                tr("The server does not continue the firmware image where the "
                   "download stopped")});
        return Answer::Replaced;
    }
    emit notice(tr("The server does not continue the firmware image where the download stopped; "
                   "the download starts over"));
    abandonReply();
    truncate();
    // Not from inside the reply's own signal: the connection is still busy with it.
    m_pause.start(0);
    return Answer::Replaced;
}

void ImageDownload::truncate()
{
    if (m_written == 0)
        return;
    m_file.resize(0);
    m_file.seek(0);
    m_hash = std::make_unique<Sha256>();
    m_written = 0;
}

void ImageDownload::onProgress(qint64 received, qint64 total)
{
    if (!m_reply || answer() != Answer::Take)
        return;
    emit progress(m_replyOffset + received, total > 0 ? m_replyOffset + total : m_total);
}

void ImageDownload::writeAvailable()
{
    if (!m_reply)
        return;
    const Answer taken = answer();
    if (taken == Answer::Replaced)
        return;
    // Read even what is not written, or a full buffer stalls the reply: only
    // an answer that brings the image is written, an error page is not.
    const QByteArray data = m_reply->readAll();
    if (taken == Answer::Take && !write(data))
        finish({false, false, tr("Failed to write firmware file")});
}

bool ImageDownload::write(const QByteArray &data)
{
    // Every write is checked on its own: QFile forgets a failed write once a
    // later flush succeeds.
    if (m_file.write(data) != data.size())
        return false;
    m_hash->addData(data);
    m_written += data.size();
    m_transferred += data.size();
    return true;
}

void ImageDownload::onReplyFinished()
{
    if (!m_reply)
        return;
    const Answer taken = answer();
    if (taken == Answer::Replaced)
        return;
    if (m_reply->error() != QNetworkReply::NoError) {
        const QString error = RequestPolicy::errorText(*m_reply);
        if (passing(m_reply->error()))
            retryOrFail(error);
        else
            finish({false, true, error});
        return;
    }
    // Anything but the image (204, a redirect not followed, ...) did not bring it.
    if (taken != Answer::Take) {
        finish({false, false, tr("Unexpected server response (HTTP %1)").arg(status(*m_reply))});
        return;
    }
    if (!write(m_reply->readAll())) {
        finish({false, false, tr("Failed to write firmware file")});
        return;
    }
    if (m_total >= 0 && m_written != m_total) {
        retryOrFail(tr("Network error: the connection ended before the whole firmware image "
                       "had come"));
        return;
    }
    bool written = m_file.flush();
    m_file.close();
    // What is on disk is what was received, or the image is not trusted.
    written = written && m_file.error() == QFileDevice::NoError &&
              QFileInfo(m_file.fileName()).size() == m_written;
    if (!written) {
        finish({false, false, tr("Failed to write firmware file")});
        return;
    }
    m_sha256 = m_hash->hexResult();
    finish({true, false, QString()});
}

void ImageDownload::retryOrFail(const QString &error)
{
    // A connection that never brought a byte is not a drop: it fails as it is.
    if (m_transferred == 0 || m_retries >= m_limits.retries) {
        finish({false, true,
                m_retries == 0 ? error : tr("%1 (tried %2 times)").arg(error).arg(m_retries + 1)});
        return;
    }
    const int pauseMs = m_limits.retryPauseMs << m_retries;
    ++m_retries;
    emit notice(tr("Download interrupted after %1 bytes (%2); trying again in %3 s, retry %4 of %5")
                    .arg(m_written)
                    .arg(error)
                    .arg(pauseMs / 1000.0)
                    .arg(m_retries)
                    .arg(m_limits.retries));
    abandonReply();
    m_pause.start(pauseMs);
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
