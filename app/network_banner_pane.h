#pragma once

// NetworkBannerPane: the banner pane glimra uses. It fetches one web page
// over HTTP or HTTPS without blocking and shows it as Qt rich text, with the
// page's <img> pictures fetched the same way.
//
// The page is untrusted. Nothing runs, nothing is read from the local disk or
// from Qt resources on its behalf, responses over kMaxResponseBytes are
// dropped, and a link the user clicks goes to the desktop's browser, http and
// https only. When the page cannot be had (offline, refused, no such host, a
// silent server, anything unexpected) the pane stays blank in the window's
// own colour and says nothing.

#include "banner_pane.h"

#include <QHash>
#include <QImage>
#include <QPointer>
#include <QUrl>

#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTextBrowser;

class NetworkBannerPane : public BannerPane
{
    Q_OBJECT

public:
    static constexpr qint64 kMaxResponseBytes = 1024 * 1024;
    static constexpr int kMaxImages = 32;
    static constexpr int kMaxImageSide = 2048;
    static constexpr int kMaxRedirects = 5;
    static constexpr std::chrono::milliseconds kTransferTimeout { 10000 };

    explicit NetworkBannerPane(QWidget* parent = nullptr);
    ~NetworkBannerPane() override;

    void navigate(const QString& url) override;

    // The address last asked for, and the page's content as shown.
    QUrl pageUrl() const { return m_pageUrl; }
    QString html() const;
    QString text() const;
    bool isBlank() const;
    // The picture fetched for an absolute image address, or a null image.
    QImage image(const QUrl& url) const { return m_images.value(url); }
    QTextBrowser* browser() const;

    // For tests, which cannot wait ten seconds for a silent server.
    void setTransferTimeout(std::chrono::milliseconds timeout) { m_transferTimeout = timeout; }

Q_SIGNALS:
    // Once per navigation that is not superseded by another: true when the
    // page is shown and each of its pictures has arrived or been given up.
    void loaded(bool ok);

private:
    class Browser;

    QNetworkReply* get(const QUrl& url, int hops = 0);
    // Where a redirect leads: nothing when the reply is no redirect, an
    // empty address when it is one the pane will not follow.
    std::optional<QUrl> redirectTarget(QNetworkReply* reply) const;
    void fetchImage(const QUrl& name, const QUrl& from, int hops);
    void cancel();
    void fail(const QString& why);
    void onPageFinished();
    void onImageFinished(QNetworkReply* reply);
    void showPage(const QByteArray& body, const QByteArray& contentType);
    void fetchImages();
    void settle();
    void setBlank(bool blank);
    QVariant resourceFor(int type, const QUrl& name) const;
    void openLink(const QUrl& link);

    QNetworkAccessManager* m_manager;
    Browser* m_browser;
    QUrl m_pageUrl;
    QPointer<QNetworkReply> m_page;
    QHash<QNetworkReply*, QUrl> m_imageReplies;
    QHash<QUrl, QImage> m_images;
    std::chrono::milliseconds m_transferTimeout = kTransferTimeout;
    // Bumped by every navigate, so that a late queued report of an earlier
    // navigation is dropped.
    quint64 m_generation = 0;
};

// Whether the pane would fetch this address: absolute http or https with a host.
bool isWebUrl(const QUrl& url);
