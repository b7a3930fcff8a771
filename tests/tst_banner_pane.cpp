#include "../app/banner_pane.h"
#include "../app/form1.h"
#include "../app/network_banner_pane.h"
#include "../preview/font_list.h"
#include "base/constants.h"

#include <QApplication>
#include <QBuffer>
#include <QDesktopServices>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStringEncoder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTextDocument>

#include <memory>

namespace
{

constexpr int kWait = 8000; // ms; generous, for a loaded CI machine
const QByteArray kSilent = "(silent)";

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

QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage redImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
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

// A one-request-per-connection HTTP server on loopback. Each request
// target maps to raw response bytes, kSilent (accept and never answer), or
// headers followed by silence when the bytes end with kSilent.
class TinyHttpServer : public QObject
{
public:
    TinyHttpServer()
    {
        QVERIFY(m_server.listen(QHostAddress::LocalHost, 0));
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
            if (bytes.endsWith(kSilent)) {
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

class RecordingPane : public BannerPane
{
public:
    using BannerPane::BannerPane;
    void navigate(const QString& url) override { calls.append(url); }
    QStringList calls;
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
    void neverReadsLocalResources();
    void picturesArriveOrAreDropped_data();
    void picturesArriveOrAreDropped();
    void decodesCharset_data();
    void decodesCharset();
    void secondNavigateCancelsFirst();
    void linksOpenInDesktopBrowser_data();
    void linksOpenInDesktopBrowser();
    void usesSystemProxy();
    void loadNavigatesOnceToBanner();

private:
    std::unique_ptr<TinyHttpServer> m_server;
    std::unique_ptr<NetworkBannerPane> m_pane;
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
    m_pane = std::make_unique<NetworkBannerPane>();
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
    m_pane.reset();
    m_server.reset();
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
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(m_server->url(path).toString());
    QVERIFY(m_pane->isBlank()); // returned before anything arrived

    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QVERIFY(m_pane->text().contains(QStringLiteral("Gear works")));
    QVERIFY(!m_pane->text().contains(QStringLiteral("scripted")));
    QCOMPARE(m_pane->pageUrl(), m_server->url("/page.html"));

    // The picture came relative to the page's final address, and is drawn.
    const QUrl picture = m_server->url("/pic.png");
    QCOMPARE(m_pane->image(picture).convertToFormat(QImage::Format_RGB32), m_picture);
    const QVariant resource = m_pane->browser()->document()->resource(QTextDocument::ImageResource, picture);
    QCOMPARE(resource.value<QImage>().size(), m_picture.size());
    QTRY_VERIFY_WITH_TIMEOUT(hasRed(m_pane->grab().toImage()), kWait);
}

void tst_BannerPane::failsQuietly_data()
{
    QTest::addColumn<QString>("address"); // a path on the test server, or a whole address
    QTest::addColumn<int>("timeoutMs");

    QTest::newRow("connection refused") << "refused" << 0;
    QTest::newRow("unresolvable host") << "http://glimra-banner-test.invalid/002/gear.shtml" << 0;
    QTest::newRow("server never answers") << "/silent" << 1000;
    QTest::newRow("headers then silence") << "/headers-only" << 1000;
    // Cut off by the announced length at once, not by the transfer timeout.
    QTest::newRow("announces over 1 MiB") << "/announced-big" << 0;
    QTest::newRow("streams over 1 MiB") << "/streamed-big" << 0;
    QTest::newRow("not found") << "/missing" << 0;
    QTest::newRow("server error") << "/error" << 0;
    QTest::newRow("not a page") << "/pic.png" << 0;
    QTest::newRow("redirect to file") << "/to-file" << 0;
    QTest::newRow("redirect to qrc") << "/to-qrc" << 0;
    QTest::newRow("redirect to itself") << "/loop" << 0;
    QTest::newRow("redirect ring") << "/ring-a" << 0;
    QTest::newRow("file address") << "file:///etc/hostname" << 0;
    QTest::newRow("qrc address") << "qrc:/glimra/glimra.png" << 0;
    QTest::newRow("data address") << "data:text/html,<p>inline</p>" << 0;
    QTest::newRow("ftp address") << "ftp://127.0.0.1/" << 0;
    QTest::newRow("empty address") << "" << 0;
}

void tst_BannerPane::failsQuietly()
{
    QFETCH(QString, address);
    QFETCH(int, timeoutMs);

    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 closedPort = closed.serverPort();
    closed.close();

    m_server->serve("/silent", kSilent);
    m_server->serve("/headers-only", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n<p>partial" + kSilent);
    m_server->serve(
        "/announced-big", "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 2097152\r\n\r\n" + kSilent);
    m_server->serve("/streamed-big",
        "HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Type: text/plain\r\n\r\n" + QByteArray(2 * 1024 * 1024, 'x'));
    m_server->serve("/error", response("500 Internal Server Error", "text/html", "<p>oops</p>"));
    m_server->serve("/to-file", redirect("file:///etc/hostname"));
    m_server->serve("/to-qrc", redirect("qrc:/glimra/glimra.png"));
    m_server->serve("/loop", redirect("/loop"));
    m_server->serve("/ring-a", redirect("/ring-b"));
    m_server->serve("/ring-b", redirect("/ring-a"));

    QString url = address;
    if (address == QLatin1String("refused"))
        url = QStringLiteral("http://127.0.0.1:%1/002/gear.shtml").arg(closedPort);
    else if (address.startsWith(QLatin1Char('/')))
        url = m_server->url(address).toString();
    if (timeoutMs > 0)
        m_pane->setTransferTimeout(std::chrono::milliseconds(timeoutMs));
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(url);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, 5000);
    QCOMPARE(loaded.at(0).at(0).toBool(), false);
    QVERIFY(m_pane->isBlank());
    QVERIFY(m_pane->text().isEmpty());
    QVERIFY(!QApplication::activeModalWidget());
    QCOMPARE(m_pane->browser()->viewport()->backgroundRole(), QPalette::Window);
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

    const QStringList refused {
        QUrl::fromLocalFile(redPng).toString(),
        QStringLiteral("qrc:/glimra/glimra.png"),
        QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png(redImage(7, 5)).toBase64()),
    };
    QByteArray page = "<html><head><link rel=\"stylesheet\" href=\"" + QUrl::fromLocalFile(redCss).toEncoded()
        + "\"></head><body><p>safe text</p>";
    for (const QString& src : refused)
        page += "<img src=\"" + src.toUtf8() + "\">";
    page += "</body></html>";
    m_server->serve("/unsafe.html", response("200 OK", "text/html", page));
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(m_server->url("/unsafe.html").toString());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    QVERIFY(m_pane->text().contains(QStringLiteral("safe text")));

    // Nothing red drawn: neither the picture file, the data picture nor the style sheet.
    QVERIFY(!hasRed(m_pane->grab().toImage()));
    QTextBrowser* browser = m_pane->browser();
    for (const QString& src : refused) {
        const QVariant image = browser->loadResource(QTextDocument::ImageResource, QUrl(src));
        const QSize size = image.value<QImage>().size();
        QVERIFY2(size != QSize(7, 5) && size != QSize(32, 32), qPrintable(src));
        QVERIFY2(image.toByteArray().isEmpty(), qPrintable(src));
        QVERIFY2(m_pane->image(QUrl(src)).isNull(), qPrintable(src));
    }
    const QVariant sheet = browser->loadResource(QTextDocument::StyleSheetResource, QUrl::fromLocalFile(redCss));
    QVERIFY(!sheet.toString().contains(QStringLiteral("color")));
    // Only the page itself was asked of the network.
    QCOMPARE(m_server->requests(), QList<QByteArray> { "/unsafe.html" });
}

void tst_BannerPane::picturesArriveOrAreDropped_data()
{
    QTest::addColumn<QByteArray>("src");
    QTest::addColumn<bool>("shown");
    QTest::newRow("redirected") << QByteArray("/moved.png") << true;
    QTest::newRow("missing") << QByteArray("/missing.png") << false;
    QTest::newRow("over 1 MiB") << QByteArray("/huge.png") << false;
    QTest::newRow("not a picture") << QByteArray("/text.png") << false;
    QTest::newRow("too many pixels") << QByteArray("/wide.png") << false;
    QTest::newRow("redirected to file") << QByteArray("/to-file.png") << false;
    QTest::newRow("refused connection") << QByteArray("http://127.0.0.1:1/x.png") << false;
}

void tst_BannerPane::picturesArriveOrAreDropped()
{
    QFETCH(QByteArray, src);
    QFETCH(bool, shown);
    m_server->serve("/moved.png", redirect("/pic.png?again"));
    m_server->serve("/pic.png?again", response("200 OK", "image/png", png(redImage(3, 3))));
    m_server->serve("/to-file.png", redirect(QUrl::fromLocalFile(QFINDTESTDATA("tst_banner_pane.cpp")).toEncoded()));
    m_server->serve("/huge.png", response("200 OK", "image/png", QByteArray(1024 * 1024 + 1, '\x89')));
    m_server->serve("/text.png", response("200 OK", "image/png", "just words"));
    QImage wide(NetworkBannerPane::kMaxImageSide + 1, 1, QImage::Format_Mono);
    wide.fill(0);
    m_server->serve("/wide.png", response("200 OK", "image/png", png(wide)));
    m_server->serve("/broken.html",
        response("200 OK", "text/html", "<p>still here</p><img src=\"" + src + "\"><img src=\"/pic.png\">"));
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(m_server->url("/broken.html").toString());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QVERIFY(m_pane->text().contains(QStringLiteral("still here")));
    const QImage picture = m_pane->image(m_server->url("/pic.png").resolved(QUrl(QString::fromLatin1(src))));
    QCOMPARE(picture.isNull(), !shown);
    QVERIFY(!m_pane->image(m_server->url("/pic.png")).isNull());
}

void tst_BannerPane::decodesCharset_data()
{
    QTest::addColumn<QByteArray>("encoding");
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("meta");

    QTest::newRow("shift_jis by header") << QByteArray("Shift_JIS") << QByteArray("text/html; charset=Shift_JIS")
                                         << QByteArray();
    QTest::newRow("shift_jis by meta") << QByteArray("Shift_JIS") << QByteArray("text/html")
                                       << QByteArray("<meta charset=\"shift_jis\">");
    QTest::newRow("quoted euc-jp") << QByteArray("EUC-JP") << QByteArray("text/html; charset=\"EUC-JP\"")
                                   << QByteArray();
    QTest::newRow("utf-8 unannounced") << QByteArray("UTF-8") << QByteArray("text/html") << QByteArray();
    QTest::newRow("plain text") << QByteArray("UTF-8") << QByteArray("text/plain; charset=utf-8") << QByteArray();
}

void tst_BannerPane::decodesCharset()
{
    QFETCH(QByteArray, encoding);
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, meta);
    QStringEncoder encoder(encoding.constData());
    if (!encoder.isValid())
        QSKIP("this Qt has no such encoding");
    const QString words = QStringLiteral("歯車のページ");
    QByteArray body = "<html><head>" + meta + "</head><body><p>";
    body += QByteArray(encoder.encode(words));
    body += "</p></body></html>";
    m_server->serve("/jp.html", response("200 OK", contentType, body));
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(m_server->url("/jp.html").toString());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    QVERIFY2(m_pane->text().contains(words), qPrintable(m_pane->text()));
}

void tst_BannerPane::secondNavigateCancelsFirst()
{
    m_server->serve("/silent", kSilent);
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(m_server->url("/silent").toString());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openFor("/silent"), 1, kWait);
    m_pane->navigate(m_server->url("/page.html").toString());

    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    QCOMPARE(loaded.at(0).at(0).toBool(), true);
    QVERIFY(m_pane->text().contains(QStringLiteral("Gear works")));
    // The first request was dropped at once, well before its 10 s timeout,
    // and it never reports.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->openFor("/silent"), 0, 5000);
    QCOMPARE(loaded.count(), 1);

    // A refused address after a good page empties the pane again.
    m_pane->navigate(QStringLiteral("file:///etc/hostname"));
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 2, kWait);
    QCOMPARE(loaded.at(1).at(0).toBool(), false);
    QVERIFY(m_pane->isBlank());
}

void tst_BannerPane::linksOpenInDesktopBrowser_data()
{
    QTest::addColumn<QString>("href");
    QTest::addColumn<QString>("opened"); // relative to the page; empty: nothing opens

    QTest::newRow("relative") << "other.html"
                              << "/other.html";
    QTest::newRow("absolute http") << "http://glimra-maker.example/001/"
                                   << "http://glimra-maker.example/001/";
    QTest::newRow("https") << "https://glimra-maker.example/"
                           << "https://glimra-maker.example/";
    QTest::newRow("file") << "file:///etc/passwd"
                          << "";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << "";
    QTest::newRow("mailto") << "mailto:maker@glimra-maker.example"
                            << "";
    QTest::newRow("ftp") << "ftp://glimra-maker.example/"
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
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);
    m_pane->navigate(m_server->url("/links.html").toString());
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);

    QTextBrowser* browser = m_pane->browser();
    const QTextCursor found = browser->document()->find(QStringLiteral("clickhere"));
    QVERIFY(!found.isNull());
    QTextCursor inside(browser->document());
    inside.setPosition(found.selectionStart() + 2);
    const QPoint at = browser->cursorRect(inside).center();
    QSignalSpy clicked(browser, &QTextBrowser::anchorClicked);
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, at);
    QTRY_COMPARE_WITH_TIMEOUT(clicked.count(), 1, kWait);

    const QList<QUrl> expected = opened.isEmpty()
        ? QList<QUrl> {}
        : QList<QUrl> { opened.startsWith(QLatin1Char('/')) ? m_server->url(opened) : QUrl(opened) };
    QCOMPARE(m_links.opened, expected);
    QVERIFY(!m_pane->isBlank()); // the pane itself never goes anywhere
}

void tst_BannerPane::usesSystemProxy()
{
    // The banner's own address, reached through a proxy named the usual way.
    const QByteArray proxied = glimra::kBannerUrl.toUtf8();
    m_server->serve(proxied, response("200 OK", "text/html", "<p>through the proxy</p>"));
    const QByteArray saved = qgetenv("http_proxy");
    qputenv("http_proxy", "http://127.0.0.1:" + QByteArray::number(m_server->port()));
    qunsetenv("no_proxy");
    QSignalSpy loaded(m_pane.get(), &NetworkBannerPane::loaded);

    m_pane->navigate(glimra::kBannerUrl);
    QTRY_COMPARE_WITH_TIMEOUT(loaded.count(), 1, kWait);
    if (saved.isNull())
        qunsetenv("http_proxy");
    else
        qputenv("http_proxy", saved);
    QCOMPARE(m_server->requests(), QList<QByteArray> { proxied });
    QVERIFY(m_pane->text().contains(QStringLiteral("through the proxy")));
}

void tst_BannerPane::loadNavigatesOnceToBanner()
{
    Form1Platform platform;
    platform.fonts = std::make_unique<preview::NamedFontList>(QStringList { QStringLiteral("Glimra Test 00001") });
    platform.dpi = 96;
    RecordingPane* pane = nullptr;
    platform.bannerPane = [&pane](QWidget* parent) { return pane = new RecordingPane(parent); };

    Form1 window(std::move(platform));
    QVERIFY(pane);
    QCOMPARE(pane->calls, QStringList { glimra::kBannerUrl });
    QCOMPARE(window.WebBrowser1, pane);
    QCOMPARE(pane->geometry(), QRect(8, 264, 105, 33));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(pane->calls.size(), 1); // showing and resizing do not navigate again
}

QTEST_MAIN(tst_BannerPane)
#include "tst_banner_pane.moc"
