#pragma once

// NetworkBannerPane: the banner pane glimra uses. It fetches the page and
// its pictures without blocking, rebuilds the page as a small safe document
// (banner/sanitizer.h) and lays that out once, when every picture has
// arrived, been decoded at the size it is drawn (banner/pictures.h) off the
// window's thread, or been given up. Links go to the desktop's browser, web
// addresses only. Until a page is there (loading, offline, refused) the
// pane stays blank in the window's own colour and says nothing.
//
// Why pictures are decoded as they are: one pool thread, off the window's
// thread, each picture within kMaxHeldBytes. A picture of a few KB can take
// a tenth of a second to unpack, which on the window's thread would stall
// the preview build it runs beside. One thread, not one a picture, since a
// page names several and each may hold up to kMaxHeldBytes while it decodes:
// so the pane never holds more than one picture's worth of decoding at
// once, and uses no second core the build could use. Bounding each decode
// by what its reader must hold, not by what its header claims, keeps a
// picture bomb from reaching memory at all; the answer comes back as an
// event on the pane, dropped if the page has changed meanwhile.

#include "banner_pane.h"

#include "banner/pictures.h"
#include "banner/sanitizer.h"

#include <QHash>
#include <QImage>

#include <memory>

class QTextBrowser;
class QThreadPool;

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
    ~NetworkBannerPane() override;

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
    void onDecoded(quint64 navigation, const QUrl& url, const QImage& image);
    void pictureDone(const QUrl& url, QImage image);
    void showPage();
    void fail(const QString& why);
    void clear();
    void setShowing(bool showing);
    void openLink(const QUrl& link);

    banner::Fetcher* m_fetcher;
    QTextBrowser* m_browser;
    // One picture at a time: a decode may hold kMaxHeldBytes.
    std::unique_ptr<QThreadPool> m_decoder;
    banner::Page m_page;
    QHash<QUrl, banner::DecodeSize> m_sizes;
    QHash<QUrl, QImage> m_pictures;
    qsizetype m_waiting = 0; // pictures neither decoded nor given up
    quint64 m_navigation = 0; // counts navigations; a decode for an earlier one is dropped
};

} // namespace glimra
