#pragma once

// NetworkBannerPane: the banner pane glimra uses. It fetches the page and
// its pictures without blocking, rebuilds the page as a small safe document
// (banner/sanitizer.h) and lays that out once, when every picture has
// arrived or been given up. Links go to the desktop's browser, web
// addresses only. Until a page is there (loading, offline, refused) the
// pane stays blank in the window's own colour and says nothing.

#include "banner_pane.h"

#include "banner/sanitizer.h"

#include <QHash>
#include <QImage>

class QTextBrowser;

namespace banner
{
class Fetcher;
struct Response;
}

namespace glimra
{

class NetworkBannerPane : public BannerPane
{
    Q_OBJECT

public:
    explicit NetworkBannerPane(QWidget* parent = nullptr);

    void navigate(const QString& url) override;

    QTextBrowser* browser() const { return m_browser; }
    banner::Fetcher& fetcher() const { return *m_fetcher; }

Q_SIGNALS:
    // Once per navigation not superseded by another: true when the page is
    // shown, false when the pane stays blank.
    void loaded(bool ok);

private:
    void onPage(const banner::Response& response);
    void onPicture(const QUrl& url, const banner::Response& response);
    void showPage();
    void fail(const QString& why);
    void clear();
    void openLink(const QUrl& link);

    banner::Fetcher* m_fetcher;
    QTextBrowser* m_browser;
    banner::Page m_page;
    QHash<QUrl, QImage> m_pictures;
    qsizetype m_waiting = 0; // pictures neither arrived nor given up
};

} // namespace glimra
