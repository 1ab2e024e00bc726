// The update manifest: its fields with their defaults, the product found by
// its name, a local file, and the download over loopback HTTPS, where every
// outcome is one signal, a failure keeps the manifest taken earlier and a
// stalled bucket ends in time. Held to keys: taken only with the signature of
// a trusted key, unexpired and not older than one accepted before; the
// signature's parsers refuse whatever is not minisign's format.

#include "loopbackserver.h"
#include "minisigner.h"
#include "release.h"

#include "manifest/acceptedsequence.h"
#include "manifest/manifest.h"
#include "manifest/minisign.h"

#include <QtTest>

using Result = SignatureCheck::Result;

Q_DECLARE_METATYPE(LoopbackReply)
Q_DECLARE_METATYPE(LoopbackServer::Transport)
Q_DECLARE_METATYPE(Result)

namespace {

// JSON written with single quotes, which read better in C++ literals.
QByteArray json(const char *text)
{
    return QByteArray(text).replace('\'', '"');
}

const QByteArray kManifest =
    json("{'appVersion': 'V1.2.0', 'address': 'https://store.example.com', 'bucket': 'b',"
         " 'region': 'eu', 'baseUrl': 'https://b.example.com', 'products': {"
         "   'Ravlo': {'version': '1.2', 'sha256': 'ab12', 'filename': 'R.bin', 'key': 'fw/R.bin',"
         "             'size': 2048},"
         "   'Other': {'version': '9.9'}}}");

// Every accessor's value, joined by '|'.
QString fields(const Manifest &m)
{
    return (QStringList() << m.appVersion() << m.address() << m.bucket() << m.region()
                          << m.baseUrl() << m.productNames().join(',') << m.productVersion()
                          << m.productSha256() << m.productFilename() << m.productKey()
                          << QString::number(m.productSize()))
        .join('|');
}

const MinisignSigner &maker()
{
    static const MinisignSigner key(QByteArray(32, 'k'), "makerkey");
    return key;
}

const QDateTime kNow = QDateTime(QDate(2024, 6, 1), QTime(12, 0), Qt::UTC);

QByteArray comment(qint64 sequence, const QDateTime &expires = kNow.addDays(7))
{
    return Release::trustedComment(sequence, expires);
}

QByteArray signature(const QByteArray &trustedComment, const MinisignSigner &key = maker(),
                     const QByteArray &file = kManifest)
{
    return key.sign(file, trustedComment);
}

// A download has one outcome: success when no message is expected, else a
// failure whose message matches.
void verifyDownload(Manifest &manifest, const QString &url, const QString &message)
{
    QSignalSpy downloaded(&manifest, &Manifest::manifestDownloaded);
    manifest.downloadManifest(url);
    QVERIFY(!downloaded.isEmpty() || downloaded.wait(20000));
    QCOMPARE(downloaded.count(), 1);
    QCOMPARE(downloaded.at(0).at(0).toBool(), message.isEmpty());
    const QString said = downloaded.at(0).at(1).toString();
    QVERIFY2(QRegularExpression(message).match(said).hasMatch() &&
                 said.isEmpty() == message.isEmpty(),
             qPrintable(said));
}

// The file with the first occurrence of a text replaced.
QByteArray edited(QByteArray file, const QByteArray &from, const QByteArray &to)
{
    const int at = file.indexOf(from);
    return at < 0 ? QByteArray() : file.replace(at, from.size(), to);
}

} // namespace

class TestManifest : public QObject
{
    Q_OBJECT
private slots:
    // The sequence accepted is kept in settings of each test's own.
    void init();
    void accessors_data();
    void accessors();
    void rejectedDocumentKeepsEarlierManifest();
    void loadFromFile();
    void download_data();
    void download();
    void signatureCheck_data();
    void signatureCheck();
    void malformedSignatures();
    void signedDownload_data();
    void signedDownload();

private:
    std::unique_ptr<QTemporaryDir> m_settings;
};

void TestManifest::init()
{
    m_settings = std::make_unique<QTemporaryDir>();
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settings->path());
}

void TestManifest::accessors_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("fields");
    QTest::newRow("all fields") << kManifest
                                << "V1.2.0|https://store.example.com|b|eu|https://b.example.com|"
                                   "Other,Ravlo|1.2|ab12|R.bin|fw/R.bin|2048";
    QTest::newRow("mistyped fields are not converted")
        << json("{'appVersion': 2, 'address': null, 'bucket': true, 'region': [],"
                " 'baseUrl': {}, 'products': ['Ravlo']}")
        << "||||||||||0";
    // Exact name first, then the first key in ascending order (upper case
    // first) that matches ignoring case; a size beyond 64 bits is none.
    QTest::newRow("product by name, size beyond 64 bits")
        << json("{'products': {'ravlo': {'version': 'lower'}, 'RAVLO': {'version': 'upper',"
                " 'size': 1e300}}}")
        << "|||||RAVLO,ravlo|upper||||0";
}

void TestManifest::accessors()
{
    QFETCH(QByteArray, document);
    Manifest manifest;
    QVERIFY(manifest.parseManifest(document) && manifest.isValid());
    QTEST(fields(manifest), "fields");
}

void TestManifest::rejectedDocumentKeepsEarlierManifest()
{
    Manifest manifest;
    QVERIFY(!manifest.parseManifest(json("[{'appVersion': 'V9'}]")) && !manifest.isValid());
    QCOMPARE(fields(manifest), fields(Manifest()));
    QVERIFY(manifest.parseManifest(kManifest));
    QVERIFY(!manifest.parseManifest(json("{'appVersion': ")) && manifest.isValid());
    QCOMPARE(manifest.productSha256(), "ab12");
    // Held to keys, nothing is taken without its signature.
    Manifest held(nullptr, {maker().publicKey()});
    QVERIFY(!held.parseManifest(kManifest) && !held.isValid());
}

// A local file loads as a download does; a missing one fails.
void TestManifest::loadFromFile()
{
    QTemporaryDir dir;
    QFile file(dir.filePath("m.json"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(kManifest) == kManifest.size());
    file.close();
    Manifest manifest;
    QSignalSpy outcome(&manifest, &Manifest::manifestLoaded);
    manifest.loadFromFile(dir.filePath("none.json"));
    manifest.loadFromFile(file.fileName());
    QCOMPARE(outcome.count(), 2);
    QVERIFY(!outcome.at(0).at(0).toBool() && !outcome.at(0).at(1).toString().isEmpty());
    QVERIFY(outcome.at(1).at(0).toBool() && outcome.at(1).at(1).toString().isEmpty());
    QCOMPARE(manifest.appVersion(), "V1.2.0");

    // Held to keys: the signature beside the file, over its bytes as they
    // are (line ends included).
    const QByteArray signedFile = kManifest + "\r\n";
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(signedFile) == signedFile.size());
    file.close();
    Manifest held(nullptr, {maker().publicKey()});
    QSignalSpy heldOutcome(&held, &Manifest::manifestLoaded);
    held.loadFromFile(file.fileName());
    QFile signatureFile(file.fileName() + ".minisig");
    QVERIFY(signatureFile.open(QIODevice::WriteOnly));
    signatureFile.write(
        signature(comment(3, QDateTime::currentDateTimeUtc().addDays(1)), maker(), signedFile));
    signatureFile.close();
    held.loadFromFile(file.fileName());
    QCOMPARE(heldOutcome.count(), 2);
    QVERIFY(!heldOutcome.at(0).at(0).toBool() && heldOutcome.at(1).at(0).toBool());
    QCOMPARE(held.signature().sequence, qint64(3));
}

void TestManifest::download_data()
{
    QTest::addColumn<LoopbackServer::Transport>("transport");
    QTest::addColumn<LoopbackReply>("reply");
    QTest::addColumn<QString>("message"); // a regular expression; "" for success
    const auto https = LoopbackServer::Transport::Https;
    const QString network = "^Network error: .+";
    QTest::newRow("over TLS") << https << LoopbackReply::ok(kManifest) << "";
    QTest::newRow("404") << https << LoopbackReply::status(404) << network;
    QTest::newRow("302 is not followed")
        << https << LoopbackReply::redirect(302, "/good.json") << "^HTTP error: 302$";
    QTest::newRow("connection dropped mid-body")
        << https << LoopbackReply::ok(kManifest).slow(5, 100).dropAfter(10) << network;
    QTest::newRow("stalled") << https << LoopbackReply::ok(kManifest).stallAfter(10) << network;
    QTest::newRow("untrusted certificate")
        << LoopbackServer::Transport::UntrustedHttps << LoopbackReply::ok(kManifest) << network;
}

void TestManifest::download()
{
    QFETCH(LoopbackServer::Transport, transport);
    QFETCH(LoopbackReply, reply);
    QFETCH(QString, message);
    LoopbackServer server(transport);
    server.serve("/manifest.json", reply);
    server.serve("/good.json", LoopbackReply::ok(kManifest));
    Manifest manifest;
    QVERIFY(manifest.parseManifest("{\"appVersion\": \"V1.0.0\"}"));
    // Long enough for a sanitizer build on a busy machine.
    manifest.setTransferTimeout(1500);
    verifyDownload(manifest, server.url("/manifest.json"), message);
    if (QTest::currentTestFailed())
        return;
    QCOMPARE(manifest.appVersion(), message.isEmpty() ? "V1.2.0" : "V1.0.0");
    QVERIFY(!manifest.isDownloading());
}

void TestManifest::signatureCheck_data()
{
    QTest::addColumn<QByteArray>("manifest");
    QTest::addColumn<QByteArray>("signature");
    QTest::addColumn<qint64>("highestAccepted");
    QTest::addColumn<QStringList>("keys"); // empty: Debian's minisign is not installed
    QTest::addColumn<Result>("result");
    QTest::addColumn<QString>("reason"); // a regular expression; "" when verified

    const QStringList keys{MinisignSigner(QByteArray(32, 'o'), "otherkey").publicKey(),
                           maker().publicKey()};
    const QByteArray valid = signature(comment(7));
    QTest::newRow("valid, the second key")
        << kManifest << valid << qint64(6) << keys << Result::Verified << "";
    QTest::newRow("equal sequence")
        << kManifest << valid << qint64(7) << keys << Result::Verified << "";
    // Edited on Windows on its way through a mirror.
    QTest::newRow("CRLF line ends") << kManifest << QByteArray(valid).replace("\n", "\r\n")
                                    << qint64(0) << keys << Result::Verified << "";
    QTest::newRow("unknown key, named")
        << kManifest << signature(comment(7), MinisignSigner(QByteArray(32, 's'), "stranger"))
        << qint64(0) << keys << Result::UnknownKey
        << "^it is signed with the key 7265676E61727473, which this program does not trust$";
    QTest::newRow("trusted key id, other key")
        << kManifest << signature(comment(7), MinisignSigner(QByteArray(32, 's'), "makerkey"))
        << qint64(0) << keys << Result::BadSignature << "^its signature does not match it$";
    QTest::newRow("a flipped byte in the manifest")
        << edited(kManifest, "ab12", "ab13") << valid << qint64(0) << keys << Result::BadSignature
        << "^its signature does not match it$";
    QTest::newRow("a flipped byte in the trusted comment")
        << kManifest << edited(valid, "sequence:7", "sequence:9") << qint64(0) << keys
        << Result::BadComment << "^the trusted comment of its signature has been altered$";
    QTest::newRow("missing signature") << kManifest << QByteArray() << qint64(0) << keys
                                       << Result::Missing << "manifest.json.minisig";
    QTest::newRow("lower sequence after a higher")
        << kManifest << valid << qint64(8) << keys << Result::Older
        << "^it is older than the update information already seen: sequence 7 after 8$";
    QTest::newRow("expired") << kManifest << signature(comment(7, kNow.addSecs(-1))) << qint64(0)
                             << keys << Result::Expired << "^it expired on 2024-06-01T11:59:59Z$";
    const QString missing = "^its signature names no sequence or no expiry$";
    QTest::newRow("minisign's default comment")
        << kManifest << signature("timestamp:1717243200\tfile:manifest.json\thashed") << qint64(0)
        << keys << Result::MissingFields << missing;
    QTest::newRow("sequence twice") << kManifest << signature(comment(7) + " sequence:9")
                                    << qint64(0) << keys << Result::MissingFields << missing;
    QTest::newRow("expiry without a time zone")
        << kManifest << signature("sequence:7 expires:2030-01-01T00:00:00") << qint64(0) << keys
        << Result::MissingFields << missing;
    QTest::newRow("not minisign's format")
        << kManifest << QByteArray("-----BEGIN PGP SIGNATURE-----\n\niQEzBAABCAAdFiEE\n")
        << qint64(0) << keys << Result::Malformed << "^its signature file is not in minisign's";
    QTest::newRow("huge") << kManifest << QByteArray(1 << 20, 'A') << qint64(0) << keys
                          << Result::Oversized << "^its signature file is larger than 8 KiB$";

    // Signed by the maker's own tool.
    QTemporaryDir dir;
    QProcess minisign;
    minisign.setWorkingDirectory(dir.path());
    const auto run = [&](const QStringList &arguments) {
        minisign.start("minisign", arguments);
        minisign.closeWriteChannel();
        return minisign.waitForFinished(10000) && minisign.exitCode() == 0;
    };
    QFile file(dir.filePath("manifest.json"));
    const bool made = file.open(QIODevice::WriteOnly) && file.write(kManifest) > 0 &&
                      file.flush() && run({"-G", "-W", "-p", "k.pub", "-s", "k.key"}) &&
                      run({"-S", "-s", "k.key", "-m", "manifest.json", "-t", comment(7)});
    QFile publicKey(dir.filePath("k.pub"));
    QFile minisig(dir.filePath("manifest.json.minisig"));
    const bool read =
        made && publicKey.open(QIODevice::ReadOnly) && minisig.open(QIODevice::ReadOnly);
    QTest::newRow("Debian's minisign")
        << kManifest << (read ? minisig.readAll() : QByteArray()) << qint64(0)
        << (read ? QStringList{QString::fromLatin1(publicKey.readAll().split('\n').value(1))}
                 : QStringList())
        << Result::Verified << "";
}

void TestManifest::signatureCheck()
{
    QFETCH(QByteArray, manifest);
    QFETCH(QByteArray, signature);
    QFETCH(qint64, highestAccepted);
    QFETCH(QStringList, keys);
    QFETCH(QString, reason);
    if (keys.isEmpty())
        QSKIP("Debian's minisign is not installed");
    const SignatureCheck check =
        SignatureCheck::check(keys, manifest, signature, highestAccepted, kNow);
    QTEST(check.result, "result");
    QVERIFY2(QRegularExpression(reason).match(check.reason()).hasMatch() &&
                 check.reason().isEmpty() == reason.isEmpty(),
             qPrintable(check.reason()));
}

// Any change of a signature file or of a key, and random input of their
// shape or none: refused, or taken exactly when what it says is unchanged
// (the untrusted comment is no part of it); never read beyond its end (the
// sanitizer build watches).
void TestManifest::malformedSignatures()
{
    const QByteArray valid = signature(comment(7));
    const QByteArray key = maker().publicKey().toLatin1();
    const auto original = Minisign::Signature::parse(valid);
    QVERIFY(original && Minisign::PublicKey::parse(key));
    QRandomGenerator random(20240601);
    const auto mutations = [&random](const QByteArray &text) {
        QList<QByteArray> variants;
        for (int i = 0; i <= text.size(); ++i)
            variants << text.left(i) << text.mid(i);
        for (int i = 0; i < text.size(); ++i) {
            for (const char byte :
                 {'\0', '\n', '\r', '=', ' ', 'A', char(0xff), char(text[i] ^ 1)}) {
                QByteArray variant = text;
                variant[i] = byte;
                variants << variant << text.left(i) + byte + text.mid(i);
            }
        }
        for (int n = 0; n < 500; ++n) {
            QByteArray noise(int(random.bounded(200)), '\0');
            for (char &byte : noise)
                byte = char(random.bounded(256));
            variants << noise << text.left(int(random.bounded(text.size()))) + noise;
        }
        return variants;
    };
    const auto randomBase64 = [&random](int bytes) {
        QByteArray data(bytes, '\0');
        for (char &byte : data)
            byte = char(random.bounded(256));
        return data.toBase64();
    };
    QList<QByteArray> signatures = mutations(valid);
    for (int n = 0; n < 500; ++n)
        signatures << "untrusted comment: x\n" + randomBase64(74) +
                          "\ntrusted comment: " + comment(n) + '\n' +
                          randomBase64(int(random.bounded(60, 70))) + '\n';
    for (const QByteArray &variant : qAsConst(signatures)) {
        const auto parsed = Minisign::Signature::parse(variant);
        const SignatureCheck check = SignatureCheck::check({key}, kManifest, variant, 0, kNow);
        QVERIFY2((check.result == Result::Verified) == (parsed && *parsed == *original),
                 variant.toHex().constData());
    }
    for (const QByteArray &variant : mutations(key)) {
        const auto parsed = Minisign::PublicKey::parse(variant);
        const bool same = parsed && parsed->id == original->keyId &&
                          Minisign::PublicKey::parse(key)->key == parsed->key;
        const SignatureCheck check =
            SignatureCheck::check({QString::fromLatin1(variant)}, kManifest, valid, 0, kNow);
        QVERIFY2((check.result == Result::Verified) == same, variant.toHex().constData());
    }
}

void TestManifest::signedDownload_data()
{
    QTest::addColumn<LoopbackReply>("signature");
    QTest::addColumn<qint64>("highestAccepted"); // before
    QTest::addColumn<QString>("message");        // a regular expression; "" for success
    QTest::addColumn<bool>("unverified");

    const QDateTime tomorrow = QDateTime::currentDateTimeUtc().addDays(1);
    const LoopbackReply valid = LoopbackReply::ok(signature(comment(5, tomorrow)));
    QTest::newRow("signed") << valid << qint64(4) << "" << false;
    QTest::newRow("older than one accepted")
        << valid << qint64(6) << "^it is older than the update information already seen" << true;
    QTest::newRow("no signature in the bucket")
        << LoopbackReply::status(404) << qint64(0) << "manifest\\.json\\.minisig" << true;
    // Cut off once it is larger than a signature can be.
    QTest::newRow("a huge signature")
        << LoopbackReply::ok(QByteArray(1 << 20, 'A')) << qint64(0) << "larger than 8 KiB$" << true;
    QTest::newRow("signature stalled") << LoopbackReply::ok(valid.body).stallAfter(10) << qint64(0)
                                       << "^Network error: .+" << false;
}

void TestManifest::signedDownload()
{
    QFETCH(LoopbackReply, signature);
    QFETCH(qint64, highestAccepted);
    QFETCH(QString, message);
    LoopbackServer server(LoopbackServer::Transport::Https);
    server.serve("/manifest.json", LoopbackReply::ok(kManifest));
    server.serve("/manifest.json.minisig", signature);
    AcceptedSequence::raise(highestAccepted);
    Manifest manifest(nullptr, {maker().publicKey()});
    manifest.setTransferTimeout(1500);
    verifyDownload(manifest, server.url("/manifest.json"), message);
    if (QTest::currentTestFailed())
        return;
    QTEST(manifest.verificationFailed(), "unverified");
    QCOMPARE(manifest.productSha256(), message.isEmpty() ? "ab12" : "");
    QCOMPARE(AcceptedSequence::highest(), message.isEmpty() ? 5 : highestAccepted);
    QVERIFY(!manifest.isDownloading());
}

QTEST_GUILESS_MAIN(TestManifest)
#include "tst_manifest.moc"
