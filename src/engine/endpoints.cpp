#include "endpoints.h"

#include "ravlo_config.h"

#include <QUrl>

Endpoints Endpoints::production()
{
    return {QStringLiteral(RAVLO_BUCKET_URL), QStringLiteral(RAVLO_STORE_URL),
            QStringLiteral(RAVLO_MANIFEST_KEYS).split(QLatin1Char(';'), Qt::SkipEmptyParts)};
}

QString Endpoints::manifestUrl() const
{
    return bucketBaseUrl + QStringLiteral("/manifest.json");
}

QString Endpoints::firmwareUrl() const
{
    return bucketBaseUrl + QStringLiteral("/Ravlo_1_2_210226.bin");
}

QString Endpoints::productImageUrl() const
{
    return bucketBaseUrl + QStringLiteral("/product.jpg");
}

QString Endpoints::productImage2Url() const
{
    return bucketBaseUrl + QStringLiteral("/product2.jpg");
}

QString Endpoints::storeHost() const
{
    return QUrl(storeUrl).host();
}

QString Endpoints::storeDownloadPage() const
{
    QUrl page(storeUrl);
    page.setPath(QStringLiteral("/download/ravlo-Q70"));
    page.setQuery(QString());
    page.setFragment(QString());
    return page.toString();
}
