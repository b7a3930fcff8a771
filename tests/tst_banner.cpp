// The banner's logic, without a network: where it may go, what is left of a
// page once sanitized, and the document built from it.

#include "test_pictures.h"

#include "banner/document.h"
#include "banner/pictures.h"
#include "banner/sanitizer.h"
#include "banner/url_policy.h"

#include <QAbstractTextDocumentLayout>
#include <QFile>
#include <QStringEncoder>
#include <QTest>
#include <QTextBlock>
#include <QTextFrame>

using namespace banner;

namespace
{

const QUrl kPage(QStringLiteral("http://glimra-maker.example/002/gear.shtml"));

// A page as one line: paragraphs split by |, *bold*, /italic/, _underline_,
// [text](link), {picture WxH} with the address relative to kPage's folder.
QString dump(const Page& page)
{
    const QString folder = kPage.resolved(QUrl(QStringLiteral("."))).toString();
    QStringList paragraphs;
    for (const Paragraph& paragraph : page.paragraphs) {
        QString line = paragraph.alignment == Qt::AlignHCenter ? QStringLiteral("^") : QString();
        for (const Run& run : paragraph.runs) {
            QString piece = run.text;
            if (!run.picture.isEmpty()) {
                piece = QStringLiteral("{") + run.picture.toString().remove(folder);
                if (run.size.isValid())
                    piece += QStringLiteral(" %1x%2").arg(run.size.width()).arg(run.size.height());
                piece += QStringLiteral("}");
            }
            if (run.bold)
                piece = QStringLiteral("*") + piece + QStringLiteral("*");
            if (run.italic)
                piece = QStringLiteral("/") + piece + QStringLiteral("/");
            if (run.underline)
                piece = QStringLiteral("_") + piece + QStringLiteral("_");
            if (!run.link.isEmpty())
                piece = QStringLiteral("[") + piece + QStringLiteral("](") + run.link.toString().remove(folder)
                    + QStringLiteral(")");
            line += piece;
        }
        paragraphs << line;
    }
    return paragraphs.join(QLatin1Char('|'));
}

QByteArray bigEndian(quint32 v)
{
    const char bytes[] = { char(v >> 24), char((v >> 16) & 0xff), char((v >> 8) & 0xff), char(v & 0xff) };
    return QByteArray(bytes, sizeof bytes);
}

QByteArray pngChunk(const QByteArray& type, const QByteArray& data)
{
    quint32 crc = 0xffffffff;
    for (const char c : QByteArray(type + data)) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return bigEndian(quint32(data.size())) + type + data + bigEndian(~crc);
}

QByteArray pngHeader(quint32 width, quint32 height, char depth, char colourType, char interlace)
{
    return QByteArray("\x89PNG\r\n\x1a\n", 8)
        + pngChunk("IHDR", bigEndian(width) + bigEndian(height) + depth + colourType + QByteArray(2, '\0') + interlace);
}

// A PNG whose header claims a size no one could unpack, with valid
// checksums, so that a reader trusts the claim.
QByteArray claimedPng(quint32 width, quint32 height, char depth = 8)
{
    return pngHeader(width, height, depth, 2, 0)
        + pngChunk(
            "IDAT", qCompress(QByteArray(int(std::min<quint64>(4096, quint64(height) * (width * 3 + 1))), '\0')).mid(4))
        + pngChunk("IEND", {});
}

// A red PNG stored in Adam7's seven passes, which Qt's reader cannot
// scale while it reads.
QByteArray interlacedRedPng(int width, int height)
{
    struct Pass {
        int x, y, dx, dy;
    };
    const Pass passes[] = { { 0, 0, 8, 8 }, { 4, 0, 8, 8 }, { 0, 4, 4, 8 }, { 2, 0, 4, 4 }, { 0, 2, 2, 4 },
        { 1, 0, 2, 2 }, { 0, 1, 1, 2 } };
    QByteArray raw;
    for (const Pass& pass : passes) {
        const int columns = width > pass.x ? (width - pass.x + pass.dx - 1) / pass.dx : 0;
        const int rows = height > pass.y ? (height - pass.y + pass.dy - 1) / pass.dy : 0;
        if (columns > 0)
            for (int row = 0; row < rows; ++row)
                raw += '\0' + repeated(QByteArray("\xff\x00\x00", 3), columns);
    }
    return pngHeader(quint32(width), quint32(height), 8, 2, 1) + pngChunk("IDAT", qCompress(raw).mid(4))
        + pngChunk("IEND", {});
}

// A red PNG that goes on as an animation of so many 1x1 frames.
QByteArray animatedRedPng(int width, int height, int frames)
{
    const QByteArray still = png(redImage(width, height));
    const qsizetype afterHeader = 8 + 25;
    QByteArray animation;
    quint32 sequence = 0;
    for (int i = 0; i < frames; ++i) {
        const QByteArray place = bigEndian(1) + bigEndian(1) + bigEndian(0) + bigEndian(0);
        animation += pngChunk("fcTL", bigEndian(sequence++) + place + QByteArray("\x00\x0a\x00\x64\x00\x00", 6));
        animation += pngChunk("fdAT", bigEndian(sequence++) + qCompress(QByteArray("\0\xff\0\0", 4)).mid(4));
    }
    const qsizetype end = still.size() - 12; // IEND
    return still.left(afterHeader) + pngChunk("acTL", bigEndian(quint32(frames)) + bigEndian(0))
        + still.mid(afterHeader, end - afterHeader) + animation + still.mid(end);
}

QByteArray littleEndian16(int v) { return QByteArray(1, char(v & 0xff)) + char((v >> 8) & 0xff); }

// A GIF of so many 1x1 frames, red first, looping for ever.
QByteArray animatedGif(int frames)
{
    QByteArray gif = "GIF89a" + littleEndian16(1) + littleEndian16(1) + QByteArray("\x80\x00\x00", 3)
        + QByteArray("\xff\x00\x00\x00\x00\xff", 6) + QByteArray("\x21\xff\x0bNETSCAPE2.0\x03\x01\x00\x00\x00", 19);
    for (int i = 0; i < frames; ++i) {
        gif += QByteArray("\x21\xf9\x04\x00\x0a\x00\x00\x00", 8);
        gif += QByteArray("\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00", 10);
        // LZW, two-bit codes: clear, colour index 0 or 1, end.
        gif += QByteArray(i == 0 ? "\x02\x02\x44\x01\x00" : "\x02\x02\x4c\x01\x00", 5);
    }
    return gif + ';';
}

// A real, mid-grey baseline JPEG, one grey channel: Huffman tables of one
// one-bit code each, so that every 8x8 block is two zero bits.
QByteArray greyJpeg(int width, int height)
{
    const auto segment = [](char marker, const QByteArray& data) -> QByteArray {
        return QByteArray(1, '\xff') + marker + char((data.size() + 2) >> 8) + char((data.size() + 2) & 0xff) + data;
    };
    const QByteArray oneCode = QByteArray(1, '\x01') + QByteArray(15, '\0') + '\0';
    const qint64 blocks = qint64((width + 7) / 8) * ((height + 7) / 8);
    return QByteArray("\xff\xd8", 2) + segment('\xdb', '\0' + QByteArray(64, '\x01'))
        + segment('\xc0',
            QByteArray(1, '\x08') + char(height >> 8) + char(height & 0xff) + char(width >> 8) + char(width & 0xff)
                + QByteArray("\x01\x01\x11\x00", 4))
        + segment('\xc4', QByteArray(1, '\x00') + oneCode) + segment('\xc4', QByteArray(1, '\x10') + oneCode)
        + segment('\xda', QByteArray("\x01\x01\x00\x00\x3f\x00", 6)) + QByteArray((blocks * 2 + 7) / 8, '\0')
        + QByteArray("\xff\xd9", 2);
}

QRgb centre(const QImage& image) { return image.pixel(image.width() / 2, image.height() / 2); }

} // namespace

class tst_Banner : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void references_data();
    void references();
    void redirects_data();
    void redirects();
    void noProxy_data();
    void noProxy();
    void keepsWhatIsSafe_data();
    void keepsWhatIsSafe();
    void boundsHostilePages_data();
    void boundsHostilePages();
    void decodesPictures_data();
    void decodesPictures();
    void decodeSizes_data();
    void decodeSizes();
    void documentIsBuiltUnlaidAndLocal();
};

void tst_Banner::references_data()
{
    QTest::addColumn<QString>("reference");
    QTest::addColumn<QString>("picture"); // what an <img src> becomes; empty: refused
    QTest::addColumn<QString>("link"); // what an <a href> becomes; empty: no link

    const QString here = kPage.toString();
    QTest::newRow("relative") << "pic.png"
                              << "http://glimra-maker.example/002/pic.png"
                              << "http://glimra-maker.example/002/pic.png";
    QTest::newRow("root-relative") << "/x"
                                   << "http://glimra-maker.example/x"
                                   << "http://glimra-maker.example/x";
    QTest::newRow("protocol-relative") << "//cdn.example/a"
                                       << "http://cdn.example/a"
                                       << "http://cdn.example/a";
    QTest::newRow("https, upper case") << "HTTPS://Maker.Example/"
                                       << "https://maker.example/"
                                       << "https://maker.example/";
    QTest::newRow("padded with spaces") << "  b.png \n"
                                        << "http://glimra-maker.example/002/b.png"
                                        << "http://glimra-maker.example/002/b.png";
    QTest::newRow("same page anchor") << "#top" << here + "#top"
                                      << "";
    QTest::newRow("other page anchor") << "/001/#top"
                                       << "http://glimra-maker.example/001/#top"
                                       << "http://glimra-maker.example/001/#top";
    QTest::newRow("file") << "file:///etc/passwd"
                          << ""
                          << "";
    QTest::newRow("file, no slashes") << "file:etc/passwd"
                                      << ""
                                      << "";
    QTest::newRow("qrc") << "qrc:/glimra/glimra.png"
                         << ""
                         << "";
    // Only ever a path on the web server.
    QTest::newRow("resource path") << ":/glimra/glimra.png"
                                   << "http://glimra-maker.example/002/:/glimra/glimra.png"
                                   << "http://glimra-maker.example/002/:/glimra/glimra.png";
    QTest::newRow("data") << "data:image/png;base64,iVBORw0KGgo="
                          << ""
                          << "";
    QTest::newRow("javascript") << "javascript:alert(1)"
                                << ""
                                << "";
    QTest::newRow("javascript, padded and mixed case") << " JavaScript:alert(1)"
                                                       << ""
                                                       << "";
    QTest::newRow("mailto") << "mailto:maker@glimra-maker.example"
                            << ""
                            << "";
    QTest::newRow("ftp") << "ftp://glimra-maker.example/"
                         << ""
                         << "";
    QTest::newRow("http without host") << "http:///etc/passwd"
                                       << ""
                                       << "";
}

void tst_Banner::references()
{
    QFETCH(QString, reference);
    QFETCH(QString, picture);
    QFETCH(QString, link);
    QCOMPARE(webReference(kPage, reference), QUrl(picture));
    QCOMPARE(linkTarget(kPage, reference), QUrl(link));

    // And the same through a page: nothing refused reaches what is shown.
    const QByteArray escaped = reference.toHtmlEscaped().toUtf8();
    const auto page
        = sanitize("<p><img src=\"" + escaped + "\"><a href=\"" + escaped + "\">go</a></p>", "text/html", kPage);
    QVERIFY(page);
    QCOMPARE(page->pictures, picture.isEmpty() ? QList<QUrl> {} : QList<QUrl> { QUrl(picture) });
    QCOMPARE(page->paragraphs.constLast().runs.constLast().link, QUrl(link));
}

void tst_Banner::redirects_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("location");
    QTest::addColumn<int>("hops");
    QTest::addColumn<QString>("target"); // empty: refused

    QTest::newRow("relative") << "http://a.example/x/y"
                              << "z" << 0 << "http://a.example/x/z";
    QTest::newRow("to https") << "http://a.example/"
                              << "https://a.example/" << 0 << "https://a.example/";
    QTest::newRow("last allowed hop") << "http://a.example/"
                                      << "/b" << kMaxRedirects - 1 << "http://a.example/b";
    QTest::newRow("one hop too far") << "http://a.example/"
                                     << "/b" << kMaxRedirects << "";
    QTest::newRow("https down to http") << "https://a.example/"
                                        << "http://a.example/" << 0 << "";
    QTest::newRow("to file") << "http://a.example/"
                             << "file:///etc/hostname" << 0 << "";
    QTest::newRow("to qrc") << "http://a.example/"
                            << "qrc:/glimra/glimra.png" << 0 << "";
    QTest::newRow("to data") << "http://a.example/"
                             << "data:text/html,hi" << 0 << "";
    QTest::newRow("no location") << "http://a.example/x"
                                 << "" << 0 << "http://a.example/x";
}

void tst_Banner::redirects()
{
    QFETCH(QString, from);
    QFETCH(QString, location);
    QFETCH(int, hops);
    QFETCH(QString, target);
    QCOMPARE(redirectTarget(QUrl(from), QUrl(location), hops), QUrl(target));
}

void tst_Banner::noProxy_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("direct");

    const QString maker = kPage.toString();
    QTest::newRow("empty") << "" << maker << false;
    QTest::newRow("every host") << "*" << maker << true;
    QTest::newRow("every host, padded") << " * " << maker << true;
    QTest::newRow("a star among names is a name") << "a.example,*" << maker << false;
    QTest::newRow("the host") << "glimra-maker.example" << maker << true;
    QTest::newRow("the host, other case") << "Glimra-Maker.EXAMPLE" << maker << true;
    QTest::newRow("a bare domain") << "example" << maker << true;
    QTest::newRow("a domain with a dot") << ".example" << maker << true;
    QTest::newRow("a dot before the host itself") << ".glimra-maker.example" << maker << true;
    QTest::newRow("trailing dots") << "example."
                                   << "http://glimra-maker.example./" << true;
    QTest::newRow("a name ending alike") << "maker.example" << maker << false;
    QTest::newRow("a host under the host") << "cdn.glimra-maker.example" << maker << false;
    QTest::newRow("among others, commas and blanks")
        << "a.example,, b.example\tglimra-maker.example ,c" << maker << true;
    QTest::newRow("a glob is no pattern") << "*.example" << maker << false;
    QTest::newRow("the host's port") << "glimra-maker.example:80" << maker << true;
    QTest::newRow("another port") << "glimra-maker.example:8080" << maker << false;
    QTest::newRow("https's port") << "example:443"
                                  << "https://glimra-maker.example/" << true;
    QTest::newRow("an address") << "127.0.0.1"
                                << "http://127.0.0.1:8080/" << true;
    QTest::newRow("an address is not a domain") << "0.0.1"
                                                << "http://127.0.0.1/" << false;
    QTest::newRow("a network") << "10.0.0.0/8"
                               << "http://10.1.2.3/" << true;
    QTest::newRow("outside the network") << "10.0.0.0/8"
                                         << "http://11.1.2.3/" << false;
    QTest::newRow("an IPv6 address") << "::1"
                                     << "http://[::1]:8080/" << true;
    QTest::newRow("an IPv6 address in brackets, with its port") << "[::1]:8080"
                                                                << "http://[::1]:8080/" << true;
    QTest::newRow("an IPv6 network") << "fd00::/8"
                                     << "http://[fd12::1]/" << true;
    QTest::newRow("an address does not cover a name") << "127.0.0.1"
                                                      << "http://localhost/" << false;
}

void tst_Banner::noProxy()
{
    QFETCH(QString, list);
    QFETCH(QString, url);
    QFETCH(bool, direct);
    QCOMPARE(bypassesProxy(QUrl(url), list), direct);
}

void tst_Banner::keepsWhatIsSafe_data()
{
    QTest::addColumn<QByteArray>("contentType");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("shown");

    QTest::newRow("inline formatting") << QByteArray("text/html")
                                       << QByteArray("<p>Gear <b>bold</b> <i>it</i> <u>under</u></p>")
                                       << "Gear* bold*/ it/_ under_";
    QTest::newRow("link and picture")
        << QByteArray("text/html") << QByteArray("<a href=\"/001/\"><img src=\"g.png\" width=88 height=31>Gear</a>")
        << "[{g.png 88x31}](http://glimra-maker.example/001/)[Gear](http://glimra-maker.example/001/)";
    QTest::newRow("paragraphs, centred") << QByteArray("text/html")
                                         << QByteArray("<div>one</div><center>two</center><p align=center>three")
                                         << "one|^two|^three";
    QTest::newRow("white space folded") << QByteArray("text/html") << QByteArray("<p>  a \n\t b  </p>\n<p>c</p>")
                                        << "a b|c";
    QTest::newRow("entities") << QByteArray("text/html") << QByteArray("<p>&lt;b&gt; &amp; &#x6B6F;&#36554;</p>")
                              << "<b> & 歯車";
    QTest::newRow("table cells side by side")
        << QByteArray("text/html") << QByteArray("<table><tr><td>a</td><td>b</td></tr></table>") << "a b";
    QTest::newRow("head, script, style, frames and forms dropped")
        << QByteArray("text/html")
        << QByteArray("<head><title>T</title><style>p{font-size:900px}</style><script>x()</script></head>"
                      "<body><iframe src=\"http://a.example/\">F</iframe><object>O</object><p>kept</p>"
                      "<form><input value=I><textarea>X</textarea><button>B</button></form><noscript>N</noscript>")
        << "kept";
    QTest::newRow("sizes in attributes and styles ignored")
        << QByteArray("text/html")
        << QByteArray("<font size=100000 style=\"font-size:99999px\"><h1 style=\"width:9999999px\">big</h1></font>"
                      "<table width=99999999><tr><td width=99999999>wide</td></tr></table>"
                      "<img src=a.png width=99999999 height=99999999>")
        << "*big*|wide|{a.png 1024x1024}";
    // What parsers make of a nameless end tag differs (HTML5 drops "</>"
    // whole); that no broken tag eats the text after it does not.
    QTest::newRow("broken markup") << QByteArray("text/html")
                                   << QByteArray("<p>a<b>b<i>c</p>d</b></i>&bogus;<p <p>e</td></table>")
                                   << "a*b*/*c*/|d&bogus;|e";
    QTest::newRow("stray brackets") << QByteArray("text/html") << QByteArray("<p>1 < 2 > 0 <> <3 </p4")
                                    << "1 < 2 > 0 <> <3";
    QTest::newRow("plain text stays words")
        << QByteArray("text/plain") << QByteArray("<b>not bold</b>\nline two") << "<b>not bold</b>|line two";
    QTest::newRow("no type is html") << QByteArray() << QByteArray("<b>x</b>") << "*x*";
    QTest::newRow("invalid UTF-8")
        << QByteArray("text/html; charset=utf-8") << QByteArray("<p>a\xff\xfe b\xc3 c\xed\xa0\x80</p>")
        << QString::fromUtf8("a\xef\xbf\xbd\xef\xbf\xbd b\xef\xbf\xbd c\xef\xbf\xbd\xef\xbf\xbd\xef\xbf\xbd");
    QTest::newRow("controls and NULs dropped") << QByteArray("text/html")
                                               << QByteArray("<p>a\0b\x1b[31mc\xe2\x80\xae"
                                                             "d</p>",
                                                      21)
                                               << "ab[31mcd";
    QStringEncoder sjis("Shift_JIS");
    QTest::newRow("Shift_JIS by header") << QByteArray("text/html; charset=\"Shift_JIS\"")
                                         << QByteArray("<p>" + QByteArray(sjis.encode(QStringLiteral("歯車"))))
                                         << "歯車";
    QTest::newRow("Shift_JIS by meta") << QByteArray(
        "text/html") << QByteArray("<meta charset=shift_jis><p>" + QByteArray(sjis.encode(QStringLiteral("歯車"))))
                                       << "歯車";
}

void tst_Banner::keepsWhatIsSafe()
{
    QFETCH(QByteArray, contentType);
    QFETCH(QByteArray, body);
    QFETCH(QString, shown);
    const auto page = sanitize(body, contentType, kPage);
    QVERIFY(page);
    QCOMPARE(dump(*page), shown);
}

void tst_Banner::boundsHostilePages_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("kept"); // text the bounds must not lose

    const int deep = 10000;
    QTest::newRow("nested tables") << "<p>top</p>" + repeated("<table><tr><td>", deep) + "x"
                                   << "top";
    QTest::newRow("nested lists") << "<p>top</p>" + repeated("<ul><li>", deep) + "x"
                                  << "top";
    QTest::newRow("nested divs") << "<p>top</p>" + repeated("<div>", deep) + "x"
                                 << "top";
    QTest::newRow("nested inline") << "<p>top</p>" + repeated("<b><i><span><a href=/x>", deep) + "x"
                                   << "top";
    QTest::newRow("nested, mixed") << "<p>top</p>"
            + repeated("<table><tr><td><ol><li><div><blockquote><font size=7>", deep) + "x"
                                   << "top";
    QTest::newRow("closed nesting, then more") << repeated("<div>", 200) + repeated("</div>", 200) + "<p>after</p>"
                                               << "after";
    QTest::newRow("thousands of pictures") << "<p>top</p>" + repeated("<img src=p.png>", 2000) << "top";
    QTest::newRow("thousands of distinct pictures") << [] {
        QByteArray body = "<p>top</p>";
        for (int i = 0; i < 2000; ++i)
            body += "<img src=p" + QByteArray::number(i) + ".png width=9999 height=9999>";
        return body;
    }() << "top";
    QTest::newRow("a megabyte of text") << "<p>top " + QByteArray(1024 * 1024, 'w') << "top";
    QTest::newRow("a megabyte of paragraphs") << "<p>top" + repeated("<p>w", 256 * 1024) << "top";
    QTest::newRow("a megabyte of runs") << "<p>top " + repeated("<b>w</b>w", 128 * 1024) << "top";
    QTest::newRow("a megabyte in one attribute")
        << "<p>top<a href=\"http://a.example/" + QByteArray(1024 * 1024, 'a') + "\">x</a>"
        << "top";
    QTest::newRow("tags without end") << "<p>top" + repeated("<", 1024 * 1024) << "top";
    QTest::newRow("open, then unmatched end tags")
        << "<p>top</p>" + repeated("<x>", 16000) + repeated("</y>", 250 * 1024) << "top";
    QTest::newRow("nested inline, stray end tags")
        << "<p>top</p>" + repeated("<i><b>", 9000) + repeated("</p></b>", 16000) << "top";
}

void tst_Banner::boundsHostilePages()
{
    QFETCH(QByteArray, body);
    QFETCH(QString, kept);
    const auto page = sanitize(body, "text/html", kPage);
    QVERIFY(page);
    QVERIFY2(page->paragraphs.size() <= kMaxParagraphs, qPrintable(QString::number(page->paragraphs.size())));
    qsizetype runs = 0, text = 0, pictures = 0;
    for (const Paragraph& paragraph : page->paragraphs) {
        runs += paragraph.runs.size();
        for (const Run& run : paragraph.runs) {
            text += run.text.size();
            if (!run.picture.isEmpty()) {
                ++pictures;
                QVERIFY(run.size.width() <= kMaxPictureSide && run.size.height() <= kMaxPictureSide);
            }
        }
    }
    QVERIFY2(runs <= kMaxRuns, qPrintable(QString::number(runs)));
    QVERIFY2(text <= kMaxTextLength, qPrintable(QString::number(text)));
    QVERIFY(pictures <= kMaxPictures);
    QVERIFY(page->pictures.size() <= kMaxPictures);
    QVERIFY(page->paragraphs.value(0).runs.value(0).text.startsWith(kept));

    // What Qt is given is as flat as the page: one frame, no tables or lists.
    QHash<QUrl, QImage> fetched;
    const QImage picture = redImage(8, 8);
    for (const QUrl& url : std::as_const(page->pictures))
        fetched.insert(url, picture);
    Document document;
    build(document, *page, fetched);
    QVERIFY(document.rootFrame()->childFrames().isEmpty());
    QVERIFY(document.blockCount() <= std::max<int>(1, kMaxParagraphs));
    QVERIFY(document.characterCount() <= kMaxTextLength + kMaxParagraphs + kMaxPictures + 1);
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next())
        QVERIFY(!block.textList());
}

void tst_Banner::decodesPictures_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QSize>("box");
    QTest::addColumn<bool>("exact");
    QTest::addColumn<QSize>("size"); // invalid: refused
    QTest::addColumn<QRgb>("colour"); // at the centre; 0: any

    const QRgb red = qRgb(255, 0, 0);
    const QSize large(4096, 4096);
    const QImage small = redImage(3, 2);
    // A reader holds four bytes a pixel at least: 2896x2896 is just 32 MiB.
    QImage largest(2896, 2896, QImage::Format_Mono);
    largest.fill(0);
    QImage oneRowMore(2896, 2897, QImage::Format_Mono);
    oneRowMore.fill(0);
    QImage deep(512, 512, QImage::Format_RGBA64);
    deep.fill(Qt::red);
    QTest::newRow("small png") << png(small) << large << false << QSize(3, 2) << red;
    QTest::newRow("fitted in the box") << png(redImage(400, 200)) << QSize(100, 100) << false << QSize(100, 50) << red;
    QTest::newRow("as the page draws it") << png(redImage(400, 200)) << QSize(20, 20) << true << QSize(20, 20) << red;
    QTest::newRow("never larger than its own") << png(small) << QSize(20, 20) << true << QSize(3, 2) << red;
    QTest::newRow("largest a reader may hold") << png(largest) << QSize(20, 20) << true << QSize(20, 20) << QRgb(0);
    QTest::newRow("one row more") << png(oneRowMore) << QSize(20, 20) << true << QSize() << QRgb(0);
    QTest::newRow("claims 60000x60000") << claimedPng(60000, 60000) << large << false << QSize() << QRgb(0);
    QTest::newRow("claims 16x16, the same way") << claimedPng(16, 16) << large << false << QSize(16, 16) << QRgb(0);
    QTest::newRow("16 bits a channel") << png(deep) << QSize(20, 20) << true << QSize(20, 20) << red;
    QTest::newRow("16 bits a channel, claims 2048x2049")
        << claimedPng(2048, 2049, 16) << QSize(20, 20) << true << QSize() << QRgb(0);
    QTest::newRow("interlaced") << interlacedRedPng(300, 200) << QSize(30, 30) << false << QSize(30, 20) << red;
    QTest::newRow("animated PNG, 2000 frames")
        << animatedRedPng(300, 200, 2000) << QSize(30, 30) << false << QSize(30, 20) << red;
    QTest::newRow("animated GIF, 5000 frames: the first") << animatedGif(5000) << large << false << QSize(1, 1) << red;
    QTest::newRow("JPEG of 20000x20000") << greyJpeg(20000, 20000) << QSize(20, 20) << true << QSize(20, 20)
                                         << qRgb(128, 128, 128);
    QFile lyingIco(QStringLiteral(CORPUS_DIR "/pictures/ico-directory-lies"));
    QVERIFY(lyingIco.open(QIODevice::ReadOnly));
    QTest::newRow("ICO: says 16x16 of a 5700x5700 PNG") << lyingIco.readAll() << large << false << QSize() << QRgb(0);
    QFile lyingGif(QStringLiteral(CORPUS_DIR "/pictures/gif-screen-larger-than-its-frame"));
    QVERIFY(lyingGif.open(QIODevice::ReadOnly));
    QTest::newRow("GIF: an 8x8 frame on a 13576x2048 screen")
        << lyingGif.readAll() << large << false << QSize() << QRgb(0);
    QTest::newRow("not a picture") << QByteArray("just words") << large << false << QSize() << QRgb(0);
    QTest::newRow("truncated png") << png(small).left(20) << large << false << QSize() << QRgb(0);
    QTest::newRow("nothing") << QByteArray() << large << false << QSize() << QRgb(0);
}

void tst_Banner::decodesPictures()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QSize, box);
    QFETCH(bool, exact);
    QFETCH(QSize, size);
    QFETCH(QRgb, colour);
    const QImage image = decodePicture(bytes, DecodeSize { box, exact });
    QCOMPARE(image.isNull() ? QSize() : image.size(), size);
    if (image.isNull())
        return;
    // As the view draws it best, whatever the file's depth.
    QVERIFY(image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32);
    if (colour)
        QCOMPARE(QColor(centre(image)), QColor(colour));
}

void tst_Banner::decodeSizes_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QSize>("pane");
    QTest::addColumn<double>("scale");
    QTest::addColumn<QSize>("box"); // of the first picture
    QTest::addColumn<bool>("exact");

    const QSize pane(300, 200);
    QTest::newRow("as drawn") << QByteArray("<img src=a.png width=20 height=10>") << pane << 1.0 << QSize(20, 10)
                              << true;
    QTest::newRow("as drawn, at twice the pixels")
        << QByteArray("<img src=a.png width=20 height=10>") << pane << 2.0 << QSize(40, 20) << true;
    QTest::newRow("no size: within the pane") << QByteArray("<img src=a.png>") << pane << 1.0 << pane << false;
    QTest::newRow("no size, huge pane: within the largest drawn")
        << QByteArray("<img src=a.png>") << QSize(5000, 5000) << 1.0 << QSize(kMaxPictureSide, kMaxPictureSide)
        << false;
    QTest::newRow("drawn twice: the largest") << QByteArray("<img src=a.png width=20 height=10><img src=a.png "
                                                            "width=10 height=30>")
                                              << pane << 1.0 << QSize(20, 30) << true;
    QTest::newRow("drawn, and at its own size")
        << QByteArray("<img src=a.png width=400 height=10><img src=a.png>") << pane << 1.0 << QSize(400, 200) << false;
    // 32 pictures drawn 1024x1024 would take 32 Mi pixels.
    QTest::newRow("a page's worth, shrunk alike") << repeated("<img src=a.png width=1024 height=1024>", 1) + [] {
        QByteArray more;
        for (int i = 1; i < kMaxPictures; ++i)
            more += "<img src=p" + QByteArray::number(i) + ".png width=1024 height=1024>";
        return more;
    }() << pane << 1.0 << QSize(362, 362) << true;
}

void tst_Banner::decodeSizes()
{
    QFETCH(QByteArray, body);
    QFETCH(QSize, pane);
    QFETCH(double, scale);
    QFETCH(QSize, box);
    QFETCH(bool, exact);
    const auto page = sanitize(body, "text/html", kPage);
    QVERIFY(page);
    const QHash<QUrl, DecodeSize> sizes = banner::decodeSizes(*page, pane, scale);
    QCOMPARE(sizes.size(), page->pictures.size());
    QCOMPARE(sizes.value(page->pictures.value(0)), (DecodeSize { box, exact }));
    qint64 total = 0;
    for (const DecodeSize& size : sizes)
        total += qint64(size.box.width()) * size.box.height();
    QVERIFY2(total <= kMaxPagePixels, qPrintable(QString::number(total)));
}

void tst_Banner::documentIsBuiltUnlaidAndLocal()
{
    const auto page = sanitize(
        "<p><b>Gear</b> <img src=a.png> <img src=missing.png><a href=/001/>go</a></p><p>two</p>", "text/html", kPage);
    QVERIFY(page);
    const QImage picture = redImage(40, 3000);
    const QUrl a = kPage.resolved(QUrl(QStringLiteral("a.png")));
    Document document;
    build(document, *page, { { a, picture } });

    // Nothing was laid out while building: the view does that, once.
    QVERIFY(!document.findChild<QAbstractTextDocumentLayout*>());
    QCOMPARE(document.toPlainText(), QStringLiteral("Gear \uFFFC go\ntwo"));
    QCOMPARE(document.resource(QTextDocument::ImageResource, a).value<QImage>(), picture);

    // The fetched picture is drawn within bounds, the missing one not at all.
    QTextCursor cursor(&document);
    cursor.setPosition(6);
    const QTextImageFormat drawn = cursor.charFormat().toImageFormat();
    QCOMPARE(drawn.name(), a.toString());
    QCOMPARE(QSize(int(drawn.width()), int(drawn.height())), QSize(13, kMaxPictureSide));
    cursor.setPosition(9);
    QCOMPARE(cursor.charFormat().anchorHref(), QStringLiteral("http://glimra-maker.example/001/"));

    // Names it was not given never reach the disk, whatever they say.
    for (const char* name : { "file:///etc/hostname", "qrc:/glimra/glimra.png", "/etc/hostname" }) {
        QCOMPARE(document.resource(QTextDocument::ImageResource, QUrl(name)).value<QImage>().size(), QSize(1, 1));
        QCOMPARE(document.resource(QTextDocument::StyleSheetResource, QUrl(name)).toByteArray(), QByteArray(""));
    }
}

QTEST_MAIN(tst_Banner)
#include "tst_banner.moc"
