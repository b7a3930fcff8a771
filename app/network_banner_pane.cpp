#include "network_banner_pane.h"

#include <QBuffer>
#include <QDesktopServices>
#include <QImageReader>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

// Off unless asked for (QT_LOGGING_RULES=glimra.banner.debug=true): an
// unreachable banner is no news to the user.
Q_LOGGING_CATEGORY(lcBanner, "glimra.banner", QtInfoMsg)

namespace
{

// What a refused or not yet arrived picture shows: never null, because Qt's
// image handler falls back to reading the picture's name as a local file
// when a resource comes back empty.
const QImage& inertImage()
{
    static const QImage image = [] {
        QImage blank(1, 1, QImage::Format_ARGB32);
        blank.fill(Qt::transparent);
        return blank;
    }();
    return image;
}

// The name a refused <img> is given, so that nothing downstream sees its
// original file:, qrc: or data: address.
const QString kRefusedImageName = QStringLiteral("glimra-refused:image");

// How many redirects led to a reply.
const char* const kHopsProperty = "glimraHops";

QByteArray headerParameter(const QByteArray& header, const QByteArray& name)
{
    for (const QByteArray& part : header.split(';')) {
        const QByteArray trimmed = part.trimmed();
        const qsizetype eq = trimmed.indexOf('=');
        if (eq > 0 && trimmed.left(eq).trimmed().toLower() == name) {
            QByteArray value = trimmed.mid(eq + 1).trimmed();
            if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
                value = value.mid(1, value.size() - 2);
            return value;
        }
    }
    return {};
}

QString decodePage(const QByteArray& body, const QByteArray& contentType)
{
    // The header's charset wins over the page's own <meta>, as in browsers.
    const QByteArray charset = headerParameter(contentType, "charset");
    QStringDecoder decoder;
    if (!charset.isEmpty())
        decoder = QStringDecoder(charset.constData());
    if (!decoder.isValid())
        decoder = QStringDecoder::decoderForHtml(body);
    if (!decoder.isValid())
        decoder = QStringDecoder(QStringDecoder::Utf8);
    return decoder.decode(body);
}

bool isDowngrade(const QUrl& from, const QUrl& to)
{
    return from.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0
        && to.scheme().compare(QLatin1String("http"), Qt::CaseInsensitive) == 0;
}

} // namespace

bool isWebUrl(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https"))
        && !url.host().isEmpty();
}

// The rich-text view inside the pane. Every resource the page names comes
// through loadResource; it answers from what the pane fetched and never
// from the disk, which QTextBrowser's own loadResource would read.
class NetworkBannerPane::Browser : public QTextBrowser
{
public:
    explicit Browser(NetworkBannerPane* pane)
        : QTextBrowser(pane)
        , m_pane(pane)
    {
    }

    QVariant loadResource(int type, const QUrl& name) override { return m_pane->resourceFor(type, name); }

private:
    NetworkBannerPane* m_pane;
};

NetworkBannerPane::NetworkBannerPane(QWidget* parent)
    : BannerPane(parent)
    , m_manager(new QNetworkAccessManager(this))
    , m_browser(new Browser(this))
{
    // http_proxy and the desktop's proxy settings apply, as in a browser.
    QNetworkProxyFactory::setUseSystemConfiguration(true);
    // Redirects are followed here, one fresh request a hop: Qt 6.4's own
    // following runs the hops' headers together and, after two hops on one
    // connection, can end with no page and no error.
    m_manager->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    setFocusProxy(m_browser);

    m_browser->setFrameShape(QFrame::NoFrame);
    m_browser->setOpenLinks(false);
    m_browser->setOpenExternalLinks(false);
    m_browser->setUndoRedoEnabled(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &NetworkBannerPane::openLink);
    setBlank(true);
}

NetworkBannerPane::~NetworkBannerPane()
{
    // The replies die with the manager after this part of us is gone; none
    // may report to it by then.
    cancel();
}

QTextBrowser* NetworkBannerPane::browser() const { return m_browser; }

QString NetworkBannerPane::html() const { return m_browser->toHtml(); }

QString NetworkBannerPane::text() const { return m_browser->toPlainText(); }

bool NetworkBannerPane::isBlank() const { return m_browser->document()->isEmpty(); }

void NetworkBannerPane::navigate(const QString& address)
{
    cancel();
    ++m_generation;
    m_images.clear();
    m_browser->clear();
    setBlank(true);
    m_pageUrl = QUrl(address);
    m_browser->document()->setBaseUrl(m_pageUrl);

    if (!isWebUrl(m_pageUrl)) {
        // Reported after returning, as any other failure is.
        QMetaObject::invokeMethod(
            this,
            [this, generation = m_generation] {
                if (generation == m_generation)
                    fail(QStringLiteral("not an http or https address"));
            },
            Qt::QueuedConnection);
        return;
    }
    m_page = get(m_pageUrl);
    connect(m_page, &QNetworkReply::finished, this, &NetworkBannerPane::onPageFinished);
}

QNetworkReply* NetworkBannerPane::get(const QUrl& url, int hops)
{
    QNetworkRequest request(url);
    request.setTransferTimeout(int(m_transferTimeout.count()));
    QNetworkReply* reply = m_manager->get(request);
    reply->setProperty(kHopsProperty, hops);
    // Oversized answers are cut off as soon as they show it: by their
    // announced length, or by what has come in so far.
    connect(reply, &QNetworkReply::metaDataChanged, this, [reply] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > kMaxResponseBytes) {
            qCDebug(lcBanner) << reply->url() << "announces" << length.toLongLong() << "bytes; dropped";
            reply->abort();
        }
    });
    connect(reply, &QNetworkReply::readyRead, this, [reply] {
        if (reply->bytesAvailable() > kMaxResponseBytes) {
            qCDebug(lcBanner) << reply->url() << "is over" << kMaxResponseBytes << "bytes; dropped";
            reply->abort();
        }
    });
    return reply;
}

void NetworkBannerPane::cancel()
{
    std::vector<QNetworkReply*> replies(m_imageReplies.keyBegin(), m_imageReplies.keyEnd());
    if (m_page)
        replies.push_back(m_page);
    m_imageReplies.clear();
    m_page.clear();
    for (QNetworkReply* reply : replies) {
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void NetworkBannerPane::fail(const QString& why)
{
    qCDebug(lcBanner) << "banner" << m_pageUrl << "not shown:" << why;
    cancel();
    m_images.clear();
    m_browser->clear();
    setBlank(true);
    Q_EMIT loaded(false);
}

void NetworkBannerPane::onPageFinished()
{
    QNetworkReply* reply = m_page;
    if (!reply)
        return;
    reply->deleteLater();
    m_page.clear();

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (reply->error() != QNetworkReply::NoError)
        return fail(reply->errorString());
    if (const auto next = redirectTarget(reply)) {
        if (next->isEmpty())
            return fail(QStringLiteral("redirect refused"));
        m_page = get(*next, reply->property(kHopsProperty).toInt() + 1);
        connect(m_page, &QNetworkReply::finished, this, &NetworkBannerPane::onPageFinished);
        return;
    }
    if (status < 200 || status > 299)
        return fail(QStringLiteral("HTTP status %1").arg(status));
    if (!isWebUrl(reply->url()))
        return fail(QStringLiteral("ended at %1").arg(reply->url().toString()));

    // Pictures and links are relative to where the page finally came from.
    m_pageUrl = reply->url();
    m_browser->document()->setBaseUrl(m_pageUrl);
    showPage(reply->readAll(), reply->rawHeader("Content-Type"));
}

void NetworkBannerPane::showPage(const QByteArray& body, const QByteArray& contentType)
{
    const QByteArray mime = contentType.split(';').first().trimmed().toLower();
    const QString content = decodePage(body, contentType);
    if (mime == "text/plain") {
        m_browser->setPlainText(content);
    } else if (mime.isEmpty() || mime == "text/html" || mime == "application/xhtml+xml") {
        m_browser->setHtml(content);
    } else {
        return fail(QStringLiteral("not a page: %1").arg(QString::fromLatin1(mime)));
    }
    setBlank(false);
    fetchImages();
    if (m_imageReplies.isEmpty())
        settle();
}

void NetworkBannerPane::fetchImages()
{
    struct Picture {
        int position;
        int length;
        QTextImageFormat format;
    };
    std::vector<Picture> pictures;
    QTextDocument* document = m_browser->document();
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.charFormat().isImageFormat())
                pictures.push_back({ fragment.position(), fragment.length(), fragment.charFormat().toImageFormat() });
        }
    }

    // Each picture is renamed to its absolute web address, or to an inert
    // name when it points anywhere else, before anything draws it.
    QList<QUrl> wanted;
    QTextCursor cursor(document);
    for (Picture& picture : pictures) {
        const QUrl url = m_pageUrl.resolved(QUrl(picture.format.name()));
        const bool allowed = isWebUrl(url);
        if (!allowed)
            qCDebug(lcBanner) << "refused picture" << picture.format.name();
        else if (!wanted.contains(url) && wanted.size() < kMaxImages)
            wanted.append(url);
        picture.format.setName(allowed ? url.toString() : kRefusedImageName);
        cursor.setPosition(picture.position);
        cursor.setPosition(picture.position + picture.length, QTextCursor::KeepAnchor);
        cursor.setCharFormat(picture.format);
    }

    for (const QUrl& url : std::as_const(wanted))
        fetchImage(url, url, 0);
}

void NetworkBannerPane::fetchImage(const QUrl& name, const QUrl& from, int hops)
{
    QNetworkReply* reply = get(from, hops);
    m_imageReplies.insert(reply, name);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onImageFinished(reply); });
}

std::optional<QUrl> NetworkBannerPane::redirectTarget(QNetworkReply* reply) const
{
    static constexpr int kRedirectStatuses[] = { 301, 302, 303, 307, 308 };
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (std::find(std::begin(kRedirectStatuses), std::end(kRedirectStatuses), status) == std::end(kRedirectStatuses))
        return std::nullopt;
    const QUrl target = reply->url().resolved(reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl());
    // Only on to the web, never from https down to http, and not for ever.
    if (!isWebUrl(target) || isDowngrade(reply->url(), target)
        || reply->property(kHopsProperty).toInt() >= kMaxRedirects) {
        qCDebug(lcBanner) << "refused redirect from" << reply->url() << "to" << target;
        return QUrl();
    }
    return target;
}

void NetworkBannerPane::onImageFinished(QNetworkReply* reply)
{
    const QUrl url = m_imageReplies.take(reply);
    reply->deleteLater();
    if (url.isEmpty())
        return;

    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const auto next = reply->error() == QNetworkReply::NoError ? redirectTarget(reply) : std::nullopt;
    if (next && !next->isEmpty()) {
        fetchImage(url, *next, reply->property(kHopsProperty).toInt() + 1);
        return;
    }
    if (reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299) {
        QBuffer buffer;
        buffer.setData(reply->readAll());
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer);
        const QSize size = reader.size();
        // A small file can still unpack into a huge picture.
        const QImage image = size.isValid() && size.width() <= kMaxImageSide && size.height() <= kMaxImageSide
            ? reader.read()
            : QImage();
        if (!image.isNull()) {
            m_images.insert(url, image);
            QTextDocument* document = m_browser->document();
            document->addResource(QTextDocument::ImageResource, QUrl(url.toString()), image);
            document->markContentsDirty(0, document->characterCount());
        } else {
            qCDebug(lcBanner) << "picture" << url << "not shown:" << reader.errorString();
        }
    } else {
        qCDebug(lcBanner) << "picture" << url << "not shown:" << reply->errorString();
    }
    if (m_imageReplies.isEmpty())
        settle();
}

void NetworkBannerPane::settle() { Q_EMIT loaded(true); }

void NetworkBannerPane::setBlank(bool blank)
{
    // Blank, the pane takes the window's colour and cannot be told apart
    // from it; a page brings the usual page background.
    m_browser->viewport()->setBackgroundRole(blank ? QPalette::Window : QPalette::Base);
}

QVariant NetworkBannerPane::resourceFor(int type, const QUrl& name) const
{
    switch (type) {
    case QTextDocument::ImageResource: {
        // Only fetched web addresses are ever in m_images.
        const QImage image = m_images.value(m_pageUrl.resolved(name));
        return image.isNull() ? inertImage() : image;
    }
    case QTextDocument::StyleSheetResource:
        return QString(QLatin1String(""));
    default:
        return QByteArray("");
    }
}

void NetworkBannerPane::openLink(const QUrl& link)
{
    const QUrl target = m_pageUrl.resolved(link);
    if (!isWebUrl(target)) {
        qCDebug(lcBanner) << "link not opened:" << link;
        return;
    }
    if (target.adjusted(QUrl::RemoveFragment) == m_pageUrl.adjusted(QUrl::RemoveFragment) && target.hasFragment()) {
        m_browser->scrollToAnchor(target.fragment());
        return;
    }
    QDesktopServices::openUrl(target);
}

BannerPane* makeNetworkBannerPane(QWidget* parent) { return new NetworkBannerPane(parent); }
