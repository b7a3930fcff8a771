#include "network_banner_pane.h"

#include "banner/document.h"
#include "banner/fetcher.h"
#include "banner/url_policy.h"

#include <QDesktopServices>
#include <QLoggingCategory>
#include <QPainter>
#include <QTextBrowser>
#include <QThreadPool>
#include <QVBoxLayout>

namespace glimra
{

namespace
{
    // Off unless asked for (QT_LOGGING_RULES=glimra.banner.debug=true): an
    // unreachable banner is no news to the user.
    Q_LOGGING_CATEGORY(lcBanner, "glimra.banner", QtInfoMsg)

    // The browser, with a focus that shows: a read-only page has no caret,
    // and one without links would otherwise take focus unseen. Drawn here in
    // the highlight colour, as not every style draws a focus frame for it.
    class Browser : public QTextBrowser
    {
    public:
        using QTextBrowser::QTextBrowser;

    protected:
        void paintEvent(QPaintEvent* event) override
        {
            QTextBrowser::paintEvent(event);
            if (!hasFocus())
                return;
            QPainter painter(viewport());
            painter.setPen(QPen(palette().color(QPalette::Highlight), 1));
            painter.drawRect(QRectF(viewport()->rect()).adjusted(0.5, 0.5, -0.5, -0.5));
        }
        void focusInEvent(QFocusEvent* event) override
        {
            QTextBrowser::focusInEvent(event);
            viewport()->update();
        }
        void focusOutEvent(QFocusEvent* event) override
        {
            QTextBrowser::focusOutEvent(event);
            viewport()->update();
        }
        // Scrolled by copying what is on screen, the focus frame would move
        // with the page.
        void scrollContentsBy(int dx, int dy) override
        {
            QTextBrowser::scrollContentsBy(dx, dy);
            if (hasFocus())
                viewport()->update();
        }
    };

} // namespace

NetworkBannerPane::NetworkBannerPane(QWidget* parent)
    : BannerPane(parent)
    , m_fetcher(new banner::Fetcher(this))
    , m_browser(new Browser(this))
    , m_decoder(std::make_unique<QThreadPool>())
{
    m_decoder->setMaxThreadCount(1);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);
    setFocusProxy(m_browser);

    m_browser->setFrameShape(QFrame::NoFrame);
    m_browser->setOpenLinks(false);
    m_browser->setUndoRedoEnabled(false);
    connect(m_browser, &QTextBrowser::anchorClicked, this, &NetworkBannerPane::openLink);
    clear();
}

// A decode under way still reports to this pane: it is waited for here,
// before the pane stops taking events.
NetworkBannerPane::~NetworkBannerPane()
{
    m_decoder->clear();
    m_decoder->waitForDone();
}

void NetworkBannerPane::navigate(const QString& url)
{
    m_fetcher->cancel();
    // Decodes not begun are dropped; the one under way reports to no one.
    ++m_navigation;
    m_decoder->clear();
    clear();
    m_fetcher->fetch(QUrl(url), [this](const banner::Response& response) { onPage(response); });
}

void NetworkBannerPane::onPage(const banner::Response& response)
{
    if (!response.ok)
        return fail(response.error);
    auto page = banner::sanitize(response.body, response.contentType, response.url);
    if (!page)
        return fail(QStringLiteral("not a page: %1").arg(QString::fromLatin1(response.contentType)));
    m_page = std::move(*page);
    m_sizes = banner::decodeSizes(m_page, size(), devicePixelRatioF());
    m_waiting = m_page.pictures.size();
    if (m_waiting == 0)
        return showPage();
    for (const QUrl& url : std::as_const(m_page.pictures))
        m_fetcher->fetch(url, [this, url](const banner::Response& picture) { onPicture(url, picture); });
}

void NetworkBannerPane::onPicture(const QUrl& url, const banner::Response& response)
{
    if (!response.ok) {
        qCDebug(lcBanner) << "picture" << url << "not fetched:" << response.error;
        return pictureDone(url, QImage());
    }
    // Off the window's thread: a picture of a few KB can take a tenth of a
    // second to unpack. The answer comes back through this pane's events.
    const QByteArray bytes = response.body;
    const banner::DecodeSize size = m_sizes.value(url);
    const quint64 navigation = m_navigation;
    m_decoder->start([this, bytes, size, navigation, url] {
        const QImage image = banner::decodePicture(bytes, size);
        QMetaObject::invokeMethod(
            this, [this, navigation, url, image] { onDecoded(navigation, url, image); }, Qt::QueuedConnection);
    });
}

void NetworkBannerPane::onDecoded(quint64 navigation, const QUrl& url, const QImage& image)
{
    if (navigation != m_navigation)
        return;
    if (image.isNull())
        qCDebug(lcBanner) << "picture" << url << "not shown: no picture, or too large to unpack";
    pictureDone(url, image);
}

void NetworkBannerPane::pictureDone(const QUrl& url, QImage image)
{
    if (!image.isNull()) {
        image.setDevicePixelRatio(devicePixelRatioF());
        m_pictures.insert(url, image);
    }
    if (--m_waiting == 0)
        showPage();
}

void NetworkBannerPane::showPage()
{
    // Built apart and handed over whole, so that it is laid out once; the
    // browser owns it and drops the one it had.
    auto* document = new banner::Document(m_browser);
    document->setDefaultFont(m_browser->font());
    // A page the pane's size fits it, with no scroll bars.
    document->setDocumentMargin(0);
    banner::build(*document, m_page, m_pictures);
    m_browser->setDocument(document);
    // A page that kept nothing worth showing leaves the pane as calm as none.
    setShowing(!document->isEmpty());
    Q_EMIT loaded(true);
}

void NetworkBannerPane::fail(const QString& why)
{
    qCDebug(lcBanner) << "banner not shown:" << why;
    m_fetcher->cancel();
    clear();
    Q_EMIT loaded(false);
}

void NetworkBannerPane::clear()
{
    m_page = {};
    m_sizes.clear();
    m_pictures.clear();
    m_waiting = 0;
    m_browser->clear();
    setShowing(false);
}

void NetworkBannerPane::setShowing(bool showing)
{
    // Blank, the pane takes the window's colour and cannot be told apart
    // from it, and Tab passes it by.
    m_browser->viewport()->setBackgroundRole(showing ? QPalette::Base : QPalette::Window);
    if (!showing && m_browser->hasFocus())
        focusNextChild();
    m_browser->setFocusPolicy(showing ? Qt::StrongFocus : Qt::NoFocus);
}

void NetworkBannerPane::openLink(const QUrl& link)
{
    if (banner::isWebUrl(link))
        QDesktopServices::openUrl(link);
}

BannerPane* makeNetworkBannerPane(QWidget* parent) { return new NetworkBannerPane(parent); }

} // namespace glimra
