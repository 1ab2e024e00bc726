#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>

// Takes the place of the desktop's browser for the given URL schemes while it
// exists: every address the code under test hands to QDesktopServices::openUrl
// with one of them is recorded instead of opened.
class UrlCatcher : public QObject
{
    Q_OBJECT
public:
    explicit UrlCatcher(const QStringList &schemes = {"http", "https", "file"});
    ~UrlCatcher() override;

    QList<QUrl> opened() const { return m_opened; }
    void clear() { m_opened.clear(); }

public slots:
    void open(const QUrl &url);

private:
    const QStringList m_schemes;
    QList<QUrl> m_opened;
};
