#include "engine/endpoints.h"

#include <QtTest>

class TestEndpoints : public QObject
{
    Q_OBJECT
private slots:
    void derivedAddresses_data();
    void derivedAddresses();
};

void TestEndpoints::derivedAddresses_data()
{
    QTest::addColumn<QString>("bucket");
    QTest::addColumn<QString>("store");
    QTest::addColumn<QString>("manifest");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("downloadPage");

    QTest::newRow("production-like") << "https://b.example.com/ravlo"
                                     << "https://store.example.com"
                                     << "https://b.example.com/ravlo/manifest.json"
                                     << "store.example.com"
                                     << "https://store.example.com/download/ravlo-Q70";
    QTest::newRow("store with path and port") << "https://127.0.0.1:4443"
                                              << "http://127.0.0.1:8080/shop/index.html?x=1#top"
                                              << "https://127.0.0.1:4443/manifest.json"
                                              << "127.0.0.1"
                                              << "http://127.0.0.1:8080/download/ravlo-Q70";
}

void TestEndpoints::derivedAddresses()
{
    QFETCH(QString, bucket);
    QFETCH(QString, store);
    const Endpoints e{bucket, store};
    QTEST(e.manifestUrl(), "manifest");
    QTEST(e.storeHost(), "host");
    QTEST(e.storeDownloadPage(), "downloadPage");
    QCOMPARE(e.firmwareUrl(), bucket + "/Ravlo_1_2_210226.bin");
}

QTEST_GUILESS_MAIN(TestEndpoints)
#include "tst_endpoints.moc"
