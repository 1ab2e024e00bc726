#include "manifest.h"

#include "manifest/acceptedsequence.h"
#include "manifest/minisign.h"
#include "net/requestpolicy.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace {

const char kProductName[] = "Ravlo";
// Marks a signature reply cut off for its size.
const char kOversized[] = "ravloOversized";

QString stringField(const QJsonObject &object, const QString &key)
{
    const QJsonValue value = object.value(key);
    return value.isString() ? value.toString() : QString();
}

} // namespace

Manifest::Manifest(QObject *parent)
    : Manifest(nullptr, parent)
{}

Manifest::Manifest(QNetworkAccessManager *network, QObject *parent)
    : Manifest(network, QStringList(), parent)
{}

Manifest::Manifest(QNetworkAccessManager *network, const QStringList &trustedKeys, QObject *parent)
    : QObject(parent)
    , m_networkManager(network ? network : new QNetworkAccessManager(this))
    , m_trustedKeys(trustedKeys)
{}

QString Manifest::verificationAdvice()
{
    return tr("Try again later; a mirror of the update bucket must carry the signature "
              "(manifest.json.minisig) too.");
}

void Manifest::downloadManifest(const QString &url)
{
    if (url.isEmpty()) {
        fail(&Manifest::manifestDownloaded, QStringLiteral("下载URL为空"),
             tr("The download address is empty"));
        return;
    }
    qDebug().noquote() << "Manifest: 开始下载manifest文件，URL:" << url;

    const QUrl address(url, QUrl::TolerantMode);
    if (!address.isValid()) {
        fail(&Manifest::manifestDownloaded, QStringLiteral("URL格式无效: ") + url,
             tr("The address is not a valid URL"));
        return;
    }
    QNetworkReply *reply = get(address);
    connect(reply, &QNetworkReply::finished, this,
            [this, reply] { onNetworkReplyFinished(reply); });
}

QNetworkReply *Manifest::get(const QUrl &address)
{
    ++m_pendingReplies;
    return m_networkManager->get(
        RequestPolicy::request(RequestPolicy::Kind::Manifest, address, m_transferTimeoutMs));
}

bool Manifest::succeeded(QNetworkReply *reply)
{
    if (reply->error() != QNetworkReply::NoError) {
        fail(&Manifest::manifestDownloaded,
             QStringLiteral("网络错误: %1").arg(reply->errorString()),
             RequestPolicy::errorText(*reply));
        return false;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status != 200) {
        fail(&Manifest::manifestDownloaded, QStringLiteral("HTTP错误: %1").arg(status),
             tr("HTTP error: %1").arg(status));
        return false;
    }
    return true;
}

void Manifest::onNetworkReplyFinished(QNetworkReply *reply)
{
    reply->deleteLater();
    --m_pendingReplies;
    if (!succeeded(reply))
        return;
    const QByteArray content = reply->readAll();
    if (m_trustedKeys.isEmpty() || content.isEmpty())
        finishDownload(content, QByteArray());
    else
        fetchSignature(reply->url(), content);
}

void Manifest::fetchSignature(const QUrl &manifestAddress, const QByteArray &content)
{
    QUrl address = manifestAddress;
    address.setPath(address.path() + QStringLiteral(".minisig"));
    QNetworkReply *reply = get(address);
    // A signature is small: a larger answer is cut off, not kept.
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > Minisign::Signature::kMaxFileSize && reply->isRunning()) {
            reply->setProperty(kOversized, true);
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::finished, this,
            [this, reply, content] { onSignatureReplyFinished(reply, content); });
}

void Manifest::onSignatureReplyFinished(QNetworkReply *reply, const QByteArray &content)
{
    reply->deleteLater();
    --m_pendingReplies;
    if (reply->property(kOversized).toBool()) {
        SignatureCheck oversized;
        oversized.result = SignatureCheck::Result::Oversized;
        refuse(&Manifest::manifestDownloaded, oversized);
        return;
    }
    // None in the bucket is a missing signature, not a network failure.
    if (reply->error() == QNetworkReply::ContentNotFoundError)
        finishDownload(content, QByteArray());
    else if (succeeded(reply))
        finishDownload(content, reply->readAll());
}

void Manifest::finishDownload(const QByteArray &content, const QByteArray &signatureFile)
{
    if (!takeDocument(content, signatureFile, &Manifest::manifestDownloaded,
                      QStringLiteral("下载的数据为空"), QStringLiteral("解析下载的数据失败"),
                      tr("The downloaded data is empty")))
        return;
    qDebug() << "Manifest: 成功下载并解析manifest";
    emit manifestDownloaded(true, QString());
}

void Manifest::loadFromFile(const QString &filePath)
{
    if (filePath.isEmpty()) {
        fail(&Manifest::manifestLoaded, QStringLiteral("文件路径为空"),
             tr("The file path is empty"));
        return;
    }
    if (!QFile::exists(filePath)) {
        fail(&Manifest::manifestLoaded, QStringLiteral("文件不存在: ") + filePath,
             tr("The file does not exist"));
        return;
    }
    QFile file(filePath);
    // A signature covers the bytes: held to keys, line ends are not translated.
    const QIODevice::OpenMode mode =
        m_trustedKeys.isEmpty() ? QIODevice::ReadOnly | QIODevice::Text : QIODevice::ReadOnly;
    if (!file.open(mode)) {
        fail(&Manifest::manifestLoaded, QStringLiteral("无法打开文件: ") + filePath,
             tr("The file cannot be opened"));
        return;
    }
    const QByteArray content = file.readAll();
    file.close();
    QFile signature(filePath + QStringLiteral(".minisig"));
    const QByteArray signatureFile = !m_trustedKeys.isEmpty() && signature.open(QIODevice::ReadOnly)
                                         ? signature.read(Minisign::Signature::kMaxFileSize + 1)
                                         : QByteArray();

    if (!takeDocument(content, signatureFile, &Manifest::manifestLoaded,
                      QStringLiteral("文件内容为空"), QStringLiteral("解析文件内容失败"),
                      tr("The file is empty")))
        return;
    qDebug() << "Manifest: 从文件成功加载manifest";
    emit manifestLoaded(true, QString());
}

bool Manifest::parseManifest(const QByteArray &data)
{
    if (!m_trustedKeys.isEmpty()) {
        qWarning() << "Manifest: 需要签名，不接受未经签名验证的文档";
        return false;
    }
    return takeJson(data);
}

bool Manifest::takeJson(const QByteArray &data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning().noquote() << "Manifest: JSON解析错误:" << error.errorString();
        return false;
    }
    if (!document.isObject()) {
        qWarning() << "Manifest: JSON数据不是对象格式";
        return false;
    }
    m_manifestData = document.object();
    m_source = data;
    m_signatureFile.clear();
    m_isValid = true;
    logParsedFields();
    return true;
}

void Manifest::logParsedFields() const
{
    qDebug() << "Manifest: 解析成功";
    qDebug().noquote() << "  appVersion:" << appVersion();
    qDebug().noquote() << "  address:" << address();
    qDebug().noquote() << "  bucket:" << bucket();
    qDebug().noquote() << "  region:" << region();
    qDebug().noquote() << "  baseUrl:" << baseUrl();
    qDebug().noquote() << "  Ravlo版本:" << productVersion();
    qDebug().noquote() << "  Ravlo SHA256:" << productSha256();
    qDebug().noquote() << "  Ravlo文件名:" << productFilename();
    qDebug().noquote() << "  Ravlo文件大小:" << productSize();
}

QJsonObject Manifest::document() const
{
    return m_isValid ? m_manifestData : QJsonObject();
}

QString Manifest::appVersion() const
{
    return stringField(document(), QStringLiteral("appVersion"));
}

QString Manifest::address() const
{
    return stringField(document(), QStringLiteral("address"));
}

QString Manifest::bucket() const
{
    return stringField(document(), QStringLiteral("bucket"));
}

QString Manifest::region() const
{
    return stringField(document(), QStringLiteral("region"));
}

QString Manifest::baseUrl() const
{
    return stringField(document(), QStringLiteral("baseUrl"));
}

QJsonObject Manifest::products() const
{
    return document().value(QStringLiteral("products")).toObject();
}

QStringList Manifest::productNames() const
{
    // QJsonObject keeps its keys sorted by UTF-16 code unit, the order the
    // case-insensitive lookup walks; sort anyway so that does not hinge on it.
    QStringList names = products().keys();
    std::sort(names.begin(), names.end());
    return names;
}

QJsonObject Manifest::productInfo(const QString &productName) const
{
    const QJsonObject entries = products();
    const QJsonValue exact = entries.value(productName);
    if (exact.isObject())
        return exact.toObject();

    const QStringList names = productNames();
    for (const QString &name : names) {
        if (name.compare(productName, Qt::CaseInsensitive) == 0)
            return entries.value(name).toObject();
    }
    return QJsonObject();
}

QString Manifest::productString(const QString &key) const
{
    return stringField(productInfo(QLatin1String(kProductName)), key);
}

QString Manifest::productVersion() const
{
    return productString(QStringLiteral("version"));
}

QString Manifest::productSha256() const
{
    return productString(QStringLiteral("sha256"));
}

QString Manifest::productFilename() const
{
    const QJsonObject entry = productInfo(QLatin1String(kProductName));
    const QJsonValue filename = entry.value(QStringLiteral("filename"));
    return filename.isString() ? filename.toString() : stringField(entry, QStringLiteral("name"));
}

QString Manifest::productKey() const
{
    return productString(QStringLiteral("key"));
}

qint64 Manifest::productSize() const
{
    const QJsonValue size = productInfo(QLatin1String(kProductName)).value(QStringLiteral("size"));
    if (size.isDouble()) {
        // Casting a double outside qint64's range is undefined; such a size is
        // as unusable as a string that does not parse.
        const double value = size.toDouble();
        const double limit = 9223372036854775808.0; // 2^63
        return value >= -limit && value < limit ? static_cast<qint64>(value) : 0;
    }
    if (size.isString())
        return size.toString().toLongLong();
    return 0;
}

bool Manifest::takeDocument(const QByteArray &content, const QByteArray &signatureFile,
                            Outcome outcome, const QString &emptyText,
                            const QString &unparsableText, const QString &emptyMessage)
{
    if (content.isEmpty()) {
        fail(outcome, emptyText, emptyMessage);
        return false;
    }
    SignatureCheck check;
    if (m_trustedKeys.isEmpty()) {
        static bool told = false;
        if (!std::exchange(told, true))
            qDebug()
                << "Manifest: 此版本未配置签名公钥 (RAVLO_MANIFEST_KEYS)，不校验manifest的签名";
    } else {
        check = SignatureCheck::check(m_trustedKeys, content, signatureFile,
                                      AcceptedSequence::highest(), QDateTime::currentDateTimeUtc());
        if (check.result != SignatureCheck::Result::Verified) {
            refuse(outcome, check);
            return false;
        }
    }
    if (!takeJson(content)) {
        fail(outcome, unparsableText, tr("Failed to parse the JSON data"));
        return false;
    }
    if (!m_trustedKeys.isEmpty()) {
        m_signature = check;
        m_signatureFile = signatureFile;
        AcceptedSequence::raise(check.sequence);
        qDebug().noquote() << QStringLiteral("Manifest: 签名已验证，公钥 %1，序号 %2，有效期至 %3")
                                  .arg(check.keyId)
                                  .arg(check.sequence)
                                  .arg(check.expires.toString(Qt::ISODate));
    }
    m_verificationFailed = false;
    return true;
}

void Manifest::fail(Outcome outcome, const QString &logText, const QString &message,
                    bool unverified)
{
    qWarning().noquote() << "Manifest:" << logText;
    m_verificationFailed = unverified;
    emit(this->*outcome)(false, message);
}

void Manifest::refuse(Outcome outcome, const SignatureCheck &check)
{
    fail(outcome, QStringLiteral("签名验证失败: ") + check.reason(), check.reason(), true);
}
