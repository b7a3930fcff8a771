// glimra_banner_bench: the banner pane against a picture bomb, measured from
// outside the pane. A server process hands out a page naming many large
// pictures, each on a host of its own (127.0.0.2, 127.0.0.3, ...); a fresh
// pane process per run loads it and reports its peak memory and the longest
// time its event loop went without a turn. The driver runs an empty page
// beside each case, alternating, and prints the medians.
//
//   glimra_banner_bench [--runs N] [--pictures N] [--side PX] [--drawn PX]
//
// Not a test: the machine's load decides the figures.

#include "../app/network_banner_pane.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace
{

constexpr char kServeFlag[] = "--serve";
constexpr char kPaneFlag[] = "--pane";
// Lets painting and late work finish after the page reports.
constexpr int kSettleMs = 500;
constexpr int kLoadLimitMs = 60'000;

struct Case {
    QString name;
    int pictures = 40;
    int side = 2048;
    int depth = 16; // bits per channel, RGBA
    int drawn = 20;
};

QByteArray pictureBytes(int side, int depth)
{
    QImage image(side, side, depth == 16 ? QImage::Format_RGBA64 : QImage::Format_RGBA8888);
    // One colour, as small on the wire as deflate allows (about 1/1000).
    image.fill(QColor::fromRgbF(0.2f, 0.4f, 0.6f, 0.8f));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// Answers GET /page.html and GET /pic.png on every loopback address, one
// answer per request, keeping connections open.
int serve(const Case& c, const QString& portFile)
{
    const QByteArray picture = c.pictures > 0 ? pictureBytes(c.side, c.depth) : QByteArray();
    QByteArray page = "<html><body><p>Gear</p>";
    for (int i = 0; i < c.pictures; ++i)
        page += "<img src=\"http://127.0.0." + QByteArray::number(2 + i)
            + ":PORT/pic.png\" width=" + QByteArray::number(c.drawn) + " height=" + QByteArray::number(c.drawn) + ">";
    page += "</body></html>";

    QTcpServer server;
    if (!server.listen(QHostAddress::AnyIPv4, 0))
        return 2;
    page.replace("PORT", QByteArray::number(server.serverPort()));
    const auto answer = [](const QByteArray& type, const QByteArray& body) -> QByteArray {
        return "HTTP/1.1 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
            + "\r\n\r\n" + body;
    };
    const QByteArray pageAnswer = answer("text/html", page);
    const QByteArray pictureAnswer = answer("image/png", picture);
    QObject::connect(&server, &QTcpServer::newConnection, &server, [&] {
        while (QTcpSocket* socket = server.nextPendingConnection()) {
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, &pageAnswer, &pictureAnswer] {
                QByteArray pending = socket->property("pending").toByteArray() + socket->readAll();
                qsizetype end;
                while ((end = pending.indexOf("\r\n\r\n")) >= 0) {
                    const QByteArray line = pending.left(pending.indexOf("\r\n"));
                    pending.remove(0, end + 4);
                    socket->write(line.contains("/page.html") ? pageAnswer : pictureAnswer);
                }
                socket->setProperty("pending", pending);
            });
        }
    });
    QFile out(portFile);
    if (!out.open(QIODevice::WriteOnly))
        return 2;
    out.write(QByteArray::number(server.serverPort()) + ' ' + QByteArray::number(picture.size()));
    out.close();
    return QCoreApplication::exec();
}

long peakRssKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// One load of the page in a pane the window's size, watched for at least
// `observeMs`; prints "peak_kb stall_ms loaded_ms pictures".
int pane(quint16 port, int observeMs)
{
    glimra::NetworkBannerPane pane;
    pane.resize(105, 33);
    pane.show();
    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 worst = 0;
    // GLIMRA_BENCH_TRACE=1 lists every stall over 50 ms on stderr.
    const bool trace = qEnvironmentVariableIsSet("GLIMRA_BENCH_TRACE");
    // A fine timer on the window's thread: each late tick is a stall.
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, &tick, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (trace && now - last > 50'000'000)
            std::fprintf(stderr, "stall of %.0f ms ending at %.0f ms\n", double(now - last) / 1e6, double(now) / 1e6);
        worst = std::max(worst, now - last);
        last = now;
    });
    std::optional<qint64> loadedAt;
    bool shown = false;
    QObject::connect(&pane, &glimra::NetworkBannerPane::loaded, &pane, [&](bool ok) {
        loadedAt = clock.nsecsElapsed();
        shown = ok;
        QTimer::singleShot(std::max(kSettleMs, observeMs - int(*loadedAt / 1'000'000)), qApp, &QCoreApplication::quit);
    });
    QTimer::singleShot(kLoadLimitMs, qApp, &QCoreApplication::quit);
    QTimer::singleShot(0, &pane, [&] {
        clock.restart();
        last = 0;
        tick.start();
        pane.navigate(QStringLiteral("http://127.0.0.1:%1/page.html").arg(port));
    });
    QCoreApplication::exec();
    if (!loadedAt || !shown)
        return 1;
    int pictures = 0;
    for (QTextBlock block = pane.browser()->document()->begin(); block.isValid(); block = block.next())
        for (auto it = block.begin(); !it.atEnd(); ++it)
            pictures += it.fragment().charFormat().isImageFormat() ? 1 : 0;
    std::printf("%ld %.1f %.1f %d\n", peakRssKb(), double(worst) / 1e6, double(*loadedAt) / 1e6, pictures);
    return 0;
}

struct Run {
    double peakMb = 0;
    double stallMs = 0;
    double loadedMs = 0;
    int pictures = 0;
};

std::optional<Run> runOnce(const QString& self, const Case& c, int observeMs = 0)
{
    const QString portFile = QStringLiteral("/tmp/glimra-banner-bench-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(portFile);
    QProcess server;
    server.start(self,
        { kServeFlag, portFile, QString::number(c.pictures), QString::number(c.side), QString::number(c.depth),
            QString::number(c.drawn) });
    QElapsedTimer waited;
    waited.start();
    while (!QFile::exists(portFile) || QFile(portFile).size() == 0) {
        if (waited.elapsed() > 30'000 || server.state() == QProcess::NotRunning)
            return std::nullopt;
        QThread::msleep(20);
    }
    QThread::msleep(20);
    QFile file(portFile);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    const QList<QByteArray> served = file.readAll().split(' ');
    file.remove();
    QProcess pane;
    pane.start(self, { kPaneFlag, QString::fromLatin1(served.value(0)), QString::number(observeMs) });
    pane.waitForFinished(kLoadLimitMs + observeMs + 10'000);
    server.kill();
    server.waitForFinished();
    const QList<QByteArray> figures = pane.readAllStandardOutput().trimmed().split(' ');
    if (pane.exitCode() != 0 || figures.size() != 4) {
        std::fprintf(stderr, "%s", pane.readAllStandardError().constData());
        return std::nullopt;
    }
    return Run { figures[0].toDouble() / 1024, figures[1].toDouble(), figures[2].toDouble(), figures[3].toInt() };
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values.at(values.size() / 2);
}

int drive(const QStringList& args)
{
    int runs = 5;
    Case bomb { QStringLiteral("bomb"), 40, 2048, 16, 20 };
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args.at(i);
        const int value = args.at(i + 1).toInt();
        if (name == QLatin1String("--runs"))
            runs = std::max(1, value);
        else if (name == QLatin1String("--pictures"))
            bomb.pictures = value;
        else if (name == QLatin1String("--side"))
            bomb.side = value;
        else if (name == QLatin1String("--drawn"))
            bomb.drawn = value;
    }
    Case bomb8 = bomb;
    bomb8.name = QStringLiteral("bomb, 8-bit");
    bomb8.depth = 8;
    const Case empty { QStringLiteral("empty page"), 0, 0, 8, 0 };
    // The machine's own noise: an empty page watched as long as the bomb took.
    const Case idle { QStringLiteral("idle as long"), 0, 0, 8, 0 };
    const QList<Case> cases { empty, bomb, idle, bomb8 };

    std::printf("picture bomb: %d pictures of %dx%d RGBA on distinct hosts, drawn %dx%d; pane 105x33; %d runs\n",
        bomb.pictures, bomb.side, bomb.side, bomb.drawn, bomb.drawn, runs);
    QMap<QString, QList<Run>> results;
    for (int r = 0; r < runs; ++r) {
        int observe = 0;
        for (const Case& c : cases) {
            const std::optional<Run> run
                = runOnce(QCoreApplication::applicationFilePath(), c, c.name == idle.name ? observe : 0);
            if (!run) {
                std::printf("%s: run %d failed\n", qPrintable(c.name), r + 1);
                continue;
            }
            if (c.name == bomb.name)
                observe = int(run->loadedMs);
            results[c.name].append(*run);
        }
    }
    const auto column = [](const QList<Run>& list, double Run::*field) {
        QList<double> values;
        for (const Run& run : list)
            values.append(run.*field);
        return values;
    };
    const double emptyPeak = median(column(results.value(empty.name), &Run::peakMb));
    std::printf(
        "%-14s %12s %14s %16s %12s %9s\n", "case", "peak MB", "above empty", "worst stall ms", "loaded ms", "pictures");
    for (const Case& c : cases) {
        const QList<Run> list = results.value(c.name);
        if (list.isEmpty())
            continue;
        const QList<double> stalls = column(list, &Run::stallMs);
        const double peak = median(column(list, &Run::peakMb));
        std::printf("%-14s %12.1f %14.1f %9.1f (max %.0f) %10.0f %9d\n", qPrintable(c.name), peak, peak - emptyPeak,
            median(stalls), *std::max_element(stalls.begin(), stalls.end()), median(column(list, &Run::loadedMs)),
            list.constFirst().pictures);
    }
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    if (argc > 1 && qstrcmp(argv[1], kServeFlag) == 0) {
        QCoreApplication app(argc, argv);
        const QStringList a = app.arguments();
        return serve(
            Case { {}, a.value(3).toInt(), a.value(4).toInt(), a.value(5).toInt(), a.value(6).toInt() }, a.value(2));
    }
    if (argc > 1 && qstrcmp(argv[1], kPaneFlag) == 0) {
        qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
        QApplication app(argc, argv);
        return pane(quint16(app.arguments().value(2).toUInt()), app.arguments().value(3).toInt());
    }
    QCoreApplication app(argc, argv);
    return drive(app.arguments());
}
