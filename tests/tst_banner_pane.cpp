// The banner pane end to end, against a tiny HTTP server on loopback: what
// it shows, what it refuses, and the hostile pages that once crashed or
// froze the window. What a page may become is tested in tst_banner.

#include "test_pictures.h"

#include "../app/network_banner_pane.h"
#include "banner/document.h"
#include "banner/fetcher.h"
#include "banner/pictures.h"
#include "banner/sanitizer.h"
#include "base/constants.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFrame>
#include <QTimer>

#include <memory>
#include <optional>

namespace
{

constexpr int kWait = 8000; // ms; generous, for a loaded CI machine
// What the pane reports of a page: shown, or not.
constexpr std::optional<bool> kShown(true);
constexpr std::optional<bool> kNotShown(false);
const QByteArray kSilent = "(silent)";
const QByteArray kDrip = "(drip)";

QByteArray response(
    const QByteArray& status, const QByteArray& type, const QByteArray& body, const QByteArray& extraHeaders = {})
{
    QByteArray head = "HTTP/1.1 " + status + "\r\n" + extraHeaders;
    if (!type.isEmpty())
        head += "Content-Type: " + type + "\r\n";
    return head + "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

QByteArray redirect(const QByteArray& location)
{
    return response("302 Found", "text/html", {}, "Location: " + location + "\r\n");
}

bool hasRed(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixel(x, y) == qRgb(255, 0, 0))
                return true;
    return false;
}

// The addresses of the pictures a document draws, in order.
QList<QUrl> picturesIn(const QTextDocument* document)
{
    QList<QUrl> pictures;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            if (it.fragment().charFormat().isImageFormat())
                pictures << QUrl(it.fragment().charFormat().toImageFormat().name());
    return pictures;
}

// A small HTTP server on loopback. Each request target maps to raw response
// bytes, kSilent (accept and never answer), headers followed by silence when
// the bytes end with kSilent, or by a byte every 20 ms for ever with kDrip.
class TinyHttpServer : public QObject
{
public:
    explicit TinyHttpServer(const QHostAddress& address = QHostAddress::LocalHost)
    {
        QVERIFY(m_server.listen(address, 0));
        connect(&m_server, &QTcpServer::newConnection, this, &TinyHttpServer::accept);
    }

    QUrl url(const QString& path) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_server.serverPort()).arg(path));
    }
    quint16 port() const { return m_server.serverPort(); }
    void serve(const QByteArray& target, const QByteArray& bytes) { m_routes.insert(target, bytes); }
    QList<QByteArray> requests() const { return m_requests; }
    // Connections still open that asked for this target.
    int openFor(const QByteArray& target) const
    {
        int open = 0;
        for (const QTcpSocket* socket : m_sockets)
            if (socket->property("target").toByteArray() == target
                && socket->state() == QAbstractSocket::ConnectedState)
                ++open;
        return open;
    }

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            m_sockets.append(socket);
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { read(socket); });
        }
    }

    // Answers each complete request on the connection in turn, keeping it
    // open as HTTP/1.1 does, unless the answer is cut short or ends by closing.
    void read(QTcpSocket* socket)
    {
        QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
        qsizetype end;
        while (!socket->property("stalled").toBool() && (end = pending.indexOf("\r\n\r\n")) >= 0) {
            const QByteArray head = pending.left(end);
            pending.remove(0, end + 4);
            const QByteArray target = head.left(head.indexOf("\r\n")).split(' ').value(1);
            socket->setProperty("target", target);
            m_requests.append(target);
            const QByteArray bytes = m_routes.value(target, response("404 Not Found", "text/plain", "no such page"));
            if (bytes.endsWith(kDrip)) {
                socket->write(bytes.chopped(kDrip.size()));
                auto* drip = new QTimer(socket);
                connect(drip, &QTimer::timeout, socket, [socket] { socket->write(" "); });
                drip->start(20);
                socket->setProperty("stalled", true);
            } else if (bytes.endsWith(kSilent)) {
                socket->write(bytes.chopped(kSilent.size()));
                socket->setProperty("stalled", true);
            } else if (bytes.contains("\r\nConnection: close\r\n")) {
                socket->write(bytes);
                socket->disconnectFromHost();
                socket->setProperty("stalled", true);
            } else {
                socket->write(bytes);
            }
        }
        socket->setProperty("pending", pending);
    }

    QTcpServer m_server;
    QHash<QByteArray, QByteArray> m_routes;
    QList<QByteArray> m_requests;
    QList<QTcpSocket*> m_sockets;
};

// Stands in for the desktop's browser.
class LinkCatcher : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> opened;
    Q_INVOKABLE void open(const QUrl& url) { opened.append(url); }
};

const QStringList kCaughtSchemes { "http", "https", "file", "ftp", "javascript", "mailto", "qrc", "data" };

} // namespace

class tst_BannerPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void cleanup();

    void showsPageWithPicture_data();
    void showsPageWithPicture();
    void failsQuietly_data();
    void failsQuietly();
    void hostilePagesStayBounded_data();
    void hostilePagesStayBounded();
    void neverReadsLocalResources();
    void picturesAreDecodedAsDrawn_data();
    void picturesAreDecodedAsDrawn();
    void fitsAndShowsItsFocus_data();
    void fitsAndShowsItsFocus();
    void picturesArriveOrAreDropped_data();
    void picturesArriveOrAreDropped();
    void secondNavigateCancelsFirst();
    void linksOpenInDesktopBrowser_data();
    void linksOpenInDesktopBrowser();
    void usesSystemProxy_data();
    void usesSystemProxy();

private:
    // Navigates and waits for the one report; nothing when it never came,
    // or came more than once.
    std::optional<bool> load(const QString& url);
    QString text() const { return m_pane->browser()->toPlainText(); }
    bool isBlank() const { return m_pane->browser()->document()->isEmpty(); }

    std::unique_ptr<TinyHttpServer> m_server;
    std::unique_ptr<glimra::NetworkBannerPane> m_pane;
    std::unique_ptr<QSignalSpy> m_loaded;
    LinkCatcher m_links;
    QImage m_picture = redImage(6, 4);
};

void tst_BannerPane::initTestCase()
{
    for (const QString& scheme : kCaughtSchemes)
        QDesktopServices::setUrlHandler(scheme, &m_links, "open");
}

void tst_BannerPane::cleanupTestCase()
{
    for (const QString& scheme : kCaughtSchemes)
        QDesktopServices::unsetUrlHandler(scheme);
}

void tst_BannerPane::init()
{
    // A failing page is the pane's own quiet matter: any warning is a fault,
    // save the offscreen platform's own note on showing a window.
    QTest::failOnWarning(QRegularExpression(QStringLiteral("^(?!This plugin does not support propagateSizeHints)")));
    m_server = std::make_unique<TinyHttpServer>();
    m_pane = std::make_unique<glimra::NetworkBannerPane>();
    m_loaded = std::make_unique<QSignalSpy>(m_pane.get(), &glimra::NetworkBannerPane::loaded);
    m_pane->resize(300, 200);
    m_pane->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_pane.get()));
    m_links.opened.clear();

    m_server->serve("/pic.png", response("200 OK", "image/png", png(m_picture)));
    m_server->serve("/page.html",
        response("200 OK", "text/html",
            "<html><body><p>Gear <b>works</b></p><img src=\"pic.png\">"
            "<script>document.write('scripted')</script></body></html>"));
}

void tst_BannerPane::cleanup()
{
    m_loaded.reset();
    m_pane.reset();
    m_server.reset();
}

std::optional<bool> tst_BannerPane::load(const QString& url)
{
    m_loaded->clear();
    m_pane->navigate(url);
    if (!isBlank()) // it returns before anything arrived
        return std::nullopt;
    if (!QTest::qWaitFor([this] { return !m_loaded->isEmpty(); }, kWait) || m_loaded->size() != 1)
        return std::nullopt;
    return m_loaded->at(0).at(0).toBool();
}

void tst_BannerPane::showsPageWithPicture_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("direct") << "/page.html";
    QTest::newRow("after a redirect") << "/moved";
    QTest::newRow("after two redirects") << "/moved-twice";
}

void tst_BannerPane::showsPageWithPicture()
{
    QFETCH(QString, path);
    m_server->serve("/moved", redirect("/page.html"));
    m_server->serve("/moved-twice", redirect(m_server->url("/moved").toEncoded()));

    QCOMPARE(load(m_server->url(path).toString()), kShown);
    QVERIFY(text().contains(QStringLiteral("Gear works")));
    QVERIFY(!text().contains(QStringLiteral("scripted")));

    // The picture came relative to the page's final address, and is drawn.
    const QUrl picture = m_server->url("/pic.png");
    QTextDocument* document = m_pane->browser()->document();
    QCOMPARE(picturesIn(document), QList<QUrl> { picture });
    QCOMPARE(
        document->resource(QTextDocument::ImageResource, picture).value<QImage>().convertToFormat(QImage::Format_RGB32),
        m_picture);
    QTRY_VERIFY_WITH_TIMEOUT(hasRed(m_pane->grab().toImage()), kWait);
    QCOMPARE(m_pane->browser()->viewport()->backgroundRole(), QPalette::Base);
}

void tst_BannerPane::failsQuietly_data()
{
    QTest::addColumn<QString>("address"); // a path on the test server, or a whole address

    QTest::newRow("connection refused") << "refused";
    QTest::newRow("server never answers") << "/silent";
    QTest::newRow("headers then silence") << "/headers-only";
    QTest::newRow("endless slow drip") << "/drip";
    // Cut off by the announced length at once, not by a time limit.
    QTest::newRow("announces over 1 MiB") << "/announced-big";
    QTest::newRow("streams 50 MiB") << "/streamed-big";
    QTest::newRow("gzip, 2 MiB unpacked") << "/unpacks-big";
    QTest::newRow("not found") << "/missing";
    QTest::newRow("not a page") << "/pic.png";
    QTest::newRow("redirect to file") << "/to-file";
    QTest::newRow("redirect to itself") << "/loop";
    QTest::newRow("file address") << "file:///etc/hostname";
    QTest::newRow("empty address") << "";
}

void tst_BannerPane::failsQuietly()
{
    QFETCH(QString, address);

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = closed.serverPort();
    closed.close();

    m_server->serve("/silent", kSilent);
    m_server->serve("/headers-only", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>partial" + kSilent);
    m_server->serve("/drip", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>drip" + kDrip);
    m_server->serve(
        "/announced-big", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2097152\r\n\r\n" + kSilent);
    m_server->serve("/streamed-big",
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n" + QByteArray(50 * 1024 * 1024, 'x'));
    // Qt's gzip decoder reads this zlib stream exactly as it reads a gzip
    // one; it is below the size where that decoder gives up of itself, so
    // only the pane's cap on what is unpacked stops it.
    m_server->serve("/unpacks-big",
        response(
            "200 OK", "text/html", qCompress(QByteArray(2 * 1024 * 1024, 'w')).mid(4), "Content-Encoding: gzip\r\n"));
    m_server->serve("/to-file", redirect("file:///etc/hostname"));
    m_server->serve("/loop", redirect("/loop"));

    QString url = address;
    if (address == QLatin1String("refused"))
        url = QStringLiteral("http://127.0.0.1:%1/002/gear.shtml").arg(closedPort);
    else if (address.startsWith(QLatin1Char('/')))
        url = m_server->url(address).toString();
    m_pane->fetcher().setTimeLimits(std::chrono::milliseconds(500), std::chrono::milliseconds(1500));

    QCOMPARE(load(url), kNotShown);
    QVERIFY(isBlank());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_pane->browser()->viewport()->backgroundRole(), QPalette::Window);
    QVERIFY(!m_pane->browser()->verticalScrollBar()->isVisible());
    QCOMPARE(m_pane->browser()->focusPolicy(), Qt::NoFocus); // Tab passes it by
}

void tst_BannerPane::hostilePagesStayBounded_data()
{
    QTest::addColumn<QByteArray>("page");

    // Each once crashed (a stack overflow in Qt's layout) or froze the window.
    QTest::newRow("10,000 nested tables") << "<p>Gear</p>" + repeated("<table><tr><td>", 10000) + "deep";
    QTest::newRow("2,000 distinct pictures") << [] {
        QByteArray page = "<p>Gear</p>";
        for (int i = 0; i < 2000; ++i)
            page += "<img src=\"pic.png?" + QByteArray::number(i) + "\">";
        return page;
    }();
}

void tst_BannerPane::hostilePagesStayBounded()
{
    QFETCH(QByteArray, page);
    m_server->serve("/hostile.html", response("200 OK", "text/html", page));
    for (int i = 0; i < 2000; ++i)
        m_server->serve("/pic.png?" + QByteArray::number(i), response("200 OK", "image/png", png(m_picture)));

    QCOMPARE(load(m_server->url("/hostile.html").toString()), kShown);
    QVERIFY(text().startsWith(QStringLiteral("Gear")));
    QTextDocument* document = m_pane->browser()->document();
    QVERIFY(document->rootFrame()->childFrames().isEmpty());
    QVERIFY(picturesIn(document).size() <= banner::kMaxPictures);
    QVERIFY(m_server->requests().size() <= 1 + banner::kMaxPictures);
    QVERIFY(!m_pane->grab().isNull()); // and it draws
}

void tst_BannerPane::neverReadsLocalResources()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString redPng = dir.filePath(QStringLiteral("red.png"));
    QVERIFY(redImage(7, 5).save(redPng));
    const QString redCss = dir.filePath(QStringLiteral("red.css"));
    QFile css(redCss);
    QVERIFY(css.open(QIODevice::WriteOnly));
    css.write("p { color: #ff0000; background-color: #ff0000 }");
    css.close();
    // The qrc picture is really there, so a pane that read it would show it.
    QVERIFY(QFile::exists(QStringLiteral(":/glimra/glimra.png")));

    const QByteArray local = QUrl::fromLocalFile(redPng).toEncoded();
    const QByteArray refused[]
        = { local, "qrc:/glimra/glimra.png", "data:image/png;base64," + png(redImage(7, 5)).toBase64() };
    QByteArray page = "<html><head><link rel=\"stylesheet\" href=\"" + QUrl::fromLocalFile(redCss).toEncoded()
        + "\"></head><body background=\"" + local + "\"><p style=\"background-image: url(" + local
        + ")\">safe text</p><table background=\"" + local + "\"><tr><td>cell</td></tr></table>";
    for (const QByteArray& src : refused)
        page += "<img src=\"" + src + "\"><input type=image src=\"" + src + "\"><object data=\"" + src + "\">"
            + "<embed src=\"" + src + "\"><iframe src=\"" + src + "\"></iframe><video poster=\"" + src + "\">";
    m_server->serve("/unsafe.html", response("200 OK", "text/html", page));

    QCOMPARE(load(m_server->url("/unsafe.html").toString()), kShown);
    QVERIFY(text().contains(QStringLiteral("safe text")));
    // Nothing red drawn: neither the picture file, the data picture nor the style sheet.
    QVERIFY(!hasRed(m_pane->grab().toImage()));
    QVERIFY(picturesIn(m_pane->browser()->document()).isEmpty());
    // Only the page itself was asked of the network.
    QCOMPARE(m_server->requests(), QList<QByteArray> { "/unsafe.html" });
}

void tst_BannerPane::picturesAreDecodedAsDrawn_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QImage>("picture");
    QTest::addColumn<QByteArray>("size"); // the <img> attributes
    QTest::addColumn<QSize>("drawn");
    QTest::addColumn<QSize>("decoded"); // at most

    QImage deep(1024, 1024, QImage::Format_RGBA64);
    deep.fill(Qt::red);
    const QImage large = redImage(1024, 1024);
    QTest::newRow("many large pictures, drawn small")
        << banner::kMaxPictures << large << QByteArray("width=20 height=20") << QSize(20, 20) << QSize(20, 20);
    QTest::newRow("16 bits a channel") << 2 << deep << QByteArray("width=20 height=10") << QSize(20, 10)
                                       << QSize(20, 10);
    // 32 Mi pixels as drawn: decoded with no more than the page's share each.
    QTest::newRow("many large pictures, drawn large")
        << banner::kMaxPictures << large << QByteArray("width=1024 height=1024") << QSize(1024, 1024)
        << QSize(362, 362);
    QTest::newRow("no size given: the pane's") << 1 << large << QByteArray() << QSize(200, 200) << QSize(200, 200);
}

// Each picture is decoded no larger than it is drawn, and all of them
// together within the page's bound, yet drawn as the page asks.
void tst_BannerPane::picturesAreDecodedAsDrawn()
{
    QFETCH(int, count);
    QFETCH(QImage, picture);
    QFETCH(QByteArray, size);
    QFETCH(QSize, drawn);
    QFETCH(QSize, decoded);
    QByteArray page = "<p>Gear</p>";
    const QByteArray bytes = response("200 OK", "image/png", png(picture));
    for (int i = 0; i < count; ++i) {
        const QByteArray path = "/big.png?" + QByteArray::number(i);
        m_server->serve(path, bytes);
        page += "<img src=\"" + path + "\" " + size + ">";
    }
    m_server->serve("/many.html", response("200 OK", "text/html", page));

    QCOMPARE(load(m_server->url("/many.html").toString()), kShown);
    QTextDocument* document = m_pane->browser()->document();
    QCOMPARE(picturesIn(document).size(), count);
    qint64 pixels = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (!format.isImageFormat())
                continue;
            const QTextImageFormat image = format.toImageFormat();
            QCOMPARE(QSize(int(image.width()), int(image.height())), drawn);
            const QImage held = document->resource(QTextDocument::ImageResource, QUrl(image.name())).value<QImage>();
            QVERIFY2(held.width() <= decoded.width() && held.height() <= decoded.height(),
                qPrintable(QStringLiteral("%1x%2").arg(held.width()).arg(held.height())));
            pixels += qint64(held.width()) * held.height();
        }
    QVERIFY(pixels <= banner::kMaxPagePixels);
    QTRY_VERIFY_WITH_TIMEOUT(hasRed(m_pane->grab().toImage()), kWait);
}

void tst_BannerPane::fitsAndShowsItsFocus_data()
{
    QTest::addColumn<QByteArray>("page");
    QTest::addColumn<bool>("scrolls"); // either way

    QTest::newRow("a picture the pane's size") << QByteArray("<img src=/p.png width=300 height=200>") << false;
    QTest::newRow("a picture a pixel taller") << QByteArray("<img src=/p.png width=300 height=201>") << true;
    QTest::newRow("a picture a pixel wider") << QByteArray("<img src=/p.png width=301 height=20>") << true;
    QTest::newRow("a line of text") << QByteArray("<p>Gear works") << false;
}

// The pane is 300x200 here.
void tst_BannerPane::fitsAndShowsItsFocus()
{
    QFETCH(QByteArray, page);
    QFETCH(bool, scrolls);
    m_server->serve("/p.png", response("200 OK", "image/png", png(redImage(300, 201))));
    m_server->serve("/fits.html", response("200 OK", "text/html", page));
    QCOMPARE(load(m_server->url("/fits.html").toString()), kShown);
    QTextBrowser* browser = m_pane->browser();
    QTRY_COMPARE(browser->horizontalScrollBar()->isVisible() || browser->verticalScrollBar()->isVisible(), scrolls);

    // A Tab stop now, and one that shows when it has the focus.
    QVERIFY(browser->focusPolicy() & Qt::TabFocus);
    m_pane->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(m_pane.get()));
    const QImage unfocused = m_pane->grab().toImage();
    browser->setFocus(Qt::TabFocusReason);
    QVERIFY(browser->hasFocus());
    QVERIFY(m_pane->grab().toImage() != unfocused);
}

void tst_BannerPane::picturesArriveOrAreDropped_data()
{
    QTest::addColumn<QByteArray>("src");
    QTest::addColumn<bool>("shown");
    QTest::newRow("redirected") << QByteArray("/moved.png") << true;
    QTest::newRow("missing") << QByteArray("/missing.png") << false;
    QTest::newRow("over 1 MiB") << QByteArray("/huge.png") << false;
    QTest::newRow("not a picture") << QByteArray("/text.png") << false;
}

void tst_BannerPane::picturesArriveOrAreDropped()
{
    QFETCH(QByteArray, src);
    QFETCH(bool, shown);
    m_server->serve("/moved.png", redirect("/pic.png?again"));
    m_server->serve("/pic.png?again", response("200 OK", "image/png", png(redImage(3, 3))));
    m_server->serve("/huge.png", response("200 OK", "image/png", QByteArray(1024 * 1024 + 1, '\x89')));
    m_server->serve("/text.png", response("200 OK", "image/png", "just words"));
    m_server->serve("/broken.html",
        response("200 OK", "text/html", "<p>still here</p><img src=\"" + src + "\"><img src=\"/pic.png\">"));

    QCOMPARE(load(m_server->url("/broken.html").toString()), kShown);
    QVERIFY(text().contains(QStringLiteral("still here")));
    const QUrl picture = m_server->url("/pic.png");
    const QList<QUrl> expected
        = shown ? QList<QUrl> { picture.resolved(QUrl(QString::fromLatin1(src))), picture } : QList<QUrl> { picture };
    QCOMPARE(picturesIn(m_pane->browser()->document()), expected);
}

void tst_BannerPane::secondNavigateCancelsFirst()
{
    m_server->serve("/silent", kSilent);

    m_pane->navigate(m_server->url("/silent").toString());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openFor("/silent"), 1, kWait);
    QCOMPARE(load(m_server->url("/page.html").toString()), kShown);
    QVERIFY(text().contains(QStringLiteral("Gear works")));
    // The first request was dropped at once, well before its time limits,
    // and it never reports.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openFor("/silent"), 0, 5000);
    QCOMPARE(m_loaded->size(), 1);

    // A refused address after a good page empties the pane again.
    QCOMPARE(load(QStringLiteral("file:///etc/hostname")), kNotShown);
    QVERIFY(isBlank());
}

void tst_BannerPane::linksOpenInDesktopBrowser_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("opened"); // relative to the page; empty: nothing opens

    QTest::newRow("relative") << "other.html"
                              << "/other.html";
    QTest::newRow("file") << "file:///etc/passwd"
                          << "";
    QTest::newRow("same page anchor") << "#top"
                                      << "";
}

void tst_BannerPane::linksOpenInDesktopBrowser()
{
    QFETCH(QString, href);
    QFETCH(QString, opened);
    m_server->serve("/links.html",
        response("200 OK", "text/html; charset=utf-8",
            "<a name=\"top\"></a><p><a href=\"" + href.toUtf8() + "\">clickhere</a></p>"));
    QCOMPARE(load(m_server->url("/links.html").toString()), kShown);

    QTextBrowser* browser = m_pane->browser();
    const QTextCursor found = browser->document()->find(QStringLiteral("clickhere"));
    QVERIFY(!found.isNull());
    QTextCursor inside(browser->document());
    inside.setPosition(found.selectionStart() + 2);
    const QPoint at = browser->cursorRect(inside).center();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);

    const QList<QUrl> expected = opened.isEmpty()
        ? QList<QUrl> {}
        : QList<QUrl> { opened.startsWith(QLatin1Char('/')) ? m_server->url(opened) : QUrl(opened) };
    QTRY_COMPARE_WITH_TIMEOUT(m_links.opened, expected, 1000);
    QVERIFY(!isBlank()); // the pane itself never goes anywhere
}

void tst_BannerPane::usesSystemProxy_data()
{
    QTest::addColumn<bool>("loopback"); // the page on loopback, or on the machine's network address
    QTest::addColumn<QByteArray>("noProxy"); // "(unset)": neither no_proxy nor NO_PROXY; $ip: the address
    QTest::addColumn<bool>("direct");
    QTest::newRow("no no_proxy") << false << QByteArray("(unset)") << false;
    QTest::newRow("another host") << false << QByteArray("a.example,198.51.100.0/24") << false;
    QTest::newRow("every host") << false << QByteArray("*") << true;
    QTest::newRow("the address") << false << QByteArray("a.example, $ip") << true;
    QTest::newRow("its network") << false << QByteArray("$ip/24") << true;
    QTest::newRow("upper case") << false << QByteArray("NO_PROXY=$ip") << true;
    // As Qt's own proxy settings have it.
    QTest::newRow("loopback, no no_proxy") << true << QByteArray("(unset)") << true;
}

// The page on a test server, reached through the same server as a proxy
// named the usual way, unless no_proxy sends it direct.
void tst_BannerPane::usesSystemProxy()
{
    QFETCH(bool, loopback);
    QFETCH(QByteArray, noProxy);
    QFETCH(bool, direct);
    QHostAddress host(QHostAddress::LocalHost);
    if (!loopback) {
        const QList<QHostAddress> all = QNetworkInterface::allAddresses();
        const auto lan = std::find_if(all.begin(), all.end(),
            [](const QHostAddress& a) { return a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback(); });
        if (lan == all.end())
            QSKIP("needs a network address besides loopback");
        host = *lan;
    }
    TinyHttpServer server(QHostAddress::AnyIPv4);
    QUrl page(QStringLiteral("http://host/page.html"));
    page.setHost(host.toString());
    page.setPort(server.port());
    const QByteArray proxied = page.toEncoded();
    server.serve(proxied, response("200 OK", "text/html", "<p>through the proxy</p>"));
    server.serve("/page.html", response("200 OK", "text/html", "<p>direct</p>"));
    const char* const names[] = { "http_proxy", "no_proxy", "NO_PROXY" };
    std::optional<QByteArray> saved[3];
    for (int i = 0; i < 3; ++i) {
        if (qEnvironmentVariableIsSet(names[i]))
            saved[i] = qgetenv(names[i]);
        qunsetenv(names[i]);
    }
    qputenv("http_proxy", QByteArray("http://127.0.0.1:" + QByteArray::number(server.port())));
    noProxy.replace("$ip", host.toString().toLatin1());
    if (noProxy.startsWith("NO_PROXY="))
        qputenv("NO_PROXY", noProxy.mid(9));
    else if (noProxy != "(unset)")
        qputenv("no_proxy", noProxy);

    const std::optional<bool> shown = load(page.toString());
    for (int i = 0; i < 3; ++i) {
        if (saved[i])
            qputenv(names[i], *saved[i]);
        else
            qunsetenv(names[i]);
    }
    QCOMPARE(shown, kShown);
    QCOMPARE(server.requests(), QList<QByteArray> { direct ? QByteArray("/page.html") : proxied });
    QVERIFY(text().contains(direct ? QStringLiteral("direct") : QStringLiteral("through the proxy")));
}

QTEST_MAIN(tst_BannerPane)
#include "tst_banner_pane.moc"
