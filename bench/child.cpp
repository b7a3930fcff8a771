#include "child.h"

#include "bench.h"
#include "clock.h"

#include "../app/form1.h"
#include "../app/start_up.h"
#include "../view/rich_text_box.h"
#include "../view/tuning.h"
#include "base/constants.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextDocument>
#include <QThread>
#include <QTimer>
#include <QToolTip>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace bench;
using glimra::Form1;

namespace
{

// Long enough for the slowest run with a mechanism off; the driver's own budget
// usually ends such a run first.
constexpr int kWaitLimitMs = 170'000;
// A window that gets no first paint is given up early and counted as failed.
constexpr int kFirstPaintLimitMs = 20'000;
// Lets the window settle after its first paint before anything is timed.
constexpr int kSettleMs = 200;
// Wakes waits that would otherwise sleep with nothing to do.
constexpr int kWakeMs = 50;

[[noreturn]] void die(const char* why)
{
    std::fprintf(stderr, "glimra_bench child: %s\n", why);
    std::fflush(stderr);
    std::_Exit(3);
}

// Sees every event dispatch so that it can tell when a widget has been
// painted completely: at the end of the outermost dispatch that painted it,
// which on a real display includes flushing the window to the X server.
class BenchApplication : public QApplication
{
public:
    using QApplication::QApplication;

    void watchPaint(QObject* widget)
    {
        m_watched = widget;
        m_sawPaint = false;
        m_paintedAt = 0;
    }
    // 0 until the watched widget has been painted.
    qint64 paintedAt() const { return m_paintedAt; }

    bool notify(QObject* receiver, QEvent* event) override
    {
        // Other threads' events pass through here too (D-Bus's, for one):
        // counted with the window's, they would leave the depth off for
        // good, and the paint would never be seen to end.
        if (QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        if (m_watched && receiver == m_watched && event->type() == QEvent::Paint)
            m_sawPaint = true;
        ++m_depth;
        const bool result = QApplication::notify(receiver, event);
        --m_depth;
        if (m_sawPaint && m_depth == 0) {
            m_paintedAt = nowNs();
            m_sawPaint = false;
            m_watched = nullptr;
        }
        return result;
    }

private:
    QObject* m_watched = nullptr;
    bool m_sawPaint = false;
    qint64 m_paintedAt = 0;
    int m_depth = 0;
};

void waitFor(const char* what, const std::function<bool()>& done, int limitMs = kWaitLimitMs)
{
    QTimer wake;
    wake.start(kWakeMs);
    const qint64 deadline = nowNs() + qint64(limitMs) * 1'000'000;
    while (!done()) {
        if (nowNs() > deadline)
            die(what);
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
}

// The widget must have been given to watchPaint() before whatever makes it
// paint, since a paint may happen before control comes back.
qint64 waitForPaint(BenchApplication& app, const char* what, int limitMs = kWaitLimitMs)
{
    waitFor(
        what, [&] { return app.paintedAt() != 0; }, limitMs);
    return app.paintedAt();
}

// Peak resident set of this process in KiB as /proc reports it: the high
// water mark of this image alone, which ru_maxrss is not (it keeps the
// forking parent's size as a floor).
double highWaterMarkKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble();
    }
    return 0;
}

double maxRssKb()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_maxrss);
}

void report(const Figures& figures)
{
    QString line = kResultTag;
    for (auto it = figures.begin(); it != figures.end(); ++it)
        line += QStringLiteral(" %1=%2").arg(it.key()).arg(it.value(), 0, 'f', 3);
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

#ifdef GLIMRA_TUNING
// Every mechanism on but the one named.
view::Tuning tuningWithout(const QString& mechanism)
{
    static const std::pair<QString, bool view::Tuning::*> kSwitches[] = {
        { kMechanisms.at(0), &view::Tuning::appendWhenExtending },
        { kMechanisms.at(1), &view::Tuning::insertWhenReached },
        { kMechanisms.at(2), &view::Tuning::deferLayoutWhileHidden },
        { kMechanisms.at(3), &view::Tuning::loadFirstPageEarly },
        { kMechanisms.at(4), &view::Tuning::layOutLastPageLater },
    };
    view::Tuning tuning;
    bool known = false;
    for (const auto& [name, on] : kSwitches) {
        if (name == mechanism) {
            tuning.*on = false;
            known = true;
        }
    }
    if (!known)
        die("no such mechanism");
    return tuning;
}
#endif

ChildArgs parse(const QStringList& args)
{
    ChildArgs out;
    for (qsizetype i = 1; i + 1 < args.size(); i += 2) {
        const QString& name = args.at(i);
        const QString& value = args.at(i + 1);
        if (name == QLatin1String("--mode"))
            out.mode = value == QLatin1String("start") ? ChildMode::Start : ChildMode::Build;
        else if (name == QLatin1String("--view") && value.startsWith(kWithoutPrefix))
            out.without = value.mid(kWithoutPrefix.size());
        else if (name == QLatin1String("--sample"))
            out.sample = sampleNamed(value);
        else if (name == QLatin1String("--window"))
            out.maximized = value == QLatin1String("maximized");
        else if (name == QLatin1String("--settled"))
            out.settled = value == QLatin1String("1");
        else if (name == QLatin1String("--clicks"))
            out.clicks = std::max(1, value.toInt());
        else if (name == QLatin1String("--click-interval"))
            out.clickIntervalMs = std::max(0, value.toInt());
        else if (name == QLatin1String("--spawned-at"))
            out.spawnedAtNs = value.toLongLong();
    }
    return out;
}

// The event-loop turns seen by a zero-interval timer, which fires once on
// every turn, the build's own processEvents() calls included.
struct Turns {
    std::vector<qint64> at;

    // The longest stretch without a turn from `from` to `to`, both ends
    // counting as turns: the text pass before the first yield and the
    // finishing steps after the last one are stretches like any other.
    double worstGapMs(qint64 from, qint64 to) const
    {
        qint64 previous = from;
        qint64 worst = 0;
        for (qint64 t : at) {
            if (t <= from || t >= to)
                continue;
            worst = std::max(worst, t - previous);
            previous = t;
        }
        worst = std::max(worst, to - previous);
        return double(worst) / 1e6;
    }
    qint64 firstAfter(qint64 from) const
    {
        for (qint64 t : at) {
            if (t > from)
                return t;
        }
        return 0;
    }
    qint64 lastBefore(qint64 to) const
    {
        qint64 last = 0;
        for (qint64 t : at) {
            if (t < to)
                last = t;
        }
        return last;
    }
    int countBetween(qint64 from, qint64 to) const
    {
        return int(std::count_if(at.begin(), at.end(), [&](qint64 t) { return t > from && t < to; }));
    }
};

void showWindow(Form1& form, const ChildArgs& args)
{
    // No window manager maximizes on Xvfb: the window is given the whole
    // screen, as a maximized one without decorations has.
    if (args.maximized)
        form.setGeometry(QRect(0, 0, kMaximizedWidth, kMaximizedHeight));
    form.show();
}

int measureStart(BenchApplication& app, Form1& form, const ChildArgs& args)
{
    app.watchPaint(&form);
    showWindow(form, args);
    const qint64 painted = waitForPaint(app, "no first paint of the window", kFirstPaintLimitMs);
    Figures figures;
    figures[key::startToPaint] = msBetween(args.spawnedAtNs, painted);
    figures[key::fonts] = double(QFontDatabase::families().size());
    figures[key::maxRssKb] = maxRssKb();
    figures[key::hwmKb] = highWaterMarkKb();
    report(figures);
    return 0;
}

int measureBuild(BenchApplication& app, Form1& form, const ChildArgs& args)
{
    app.watchPaint(&form);
    showWindow(form, args);
    waitForPaint(app, "no first paint of the window", kFirstPaintLimitMs);
    QTest::qWait(kSettleMs);
    form.Text1->setPlainText(args.sample);
    QTest::qWait(kSettleMs);

    Turns turns;
    turns.at.reserve(1 << 16);
    QTimer ticker;
    ticker.setInterval(0);
    QObject::connect(&ticker, &QTimer::timeout, &ticker, [&turns] { turns.at.push_back(nowNs()); });
    ticker.start();

    // The later presses come while the first build yields, each running a
    // whole build inside it, as a double-click does.
    int delivered = 1;
    for (int k = 1; k < args.clicks; ++k) {
        QTimer::singleShot(k * args.clickIntervalMs, &form, [&] {
            ++delivered;
            QTest::mouseClick(form.Command1, Qt::LeftButton);
        });
    }
    const qint64 clickAt = nowNs();
    QTest::mouseClick(form.Command1, Qt::LeftButton);
    if (delivered < args.clicks)
        waitFor("the later clicks", [&] { return delivered == args.clicks; });
    const qint64 returnedAt = nowNs();
    app.watchPaint(form.RichTextBox1->viewport());
    // After a nested build the view may have been painted already, with
    // nothing left to paint: one paint is asked for, so that the time counts
    // a view painted after the last build.
    if (args.clicks > 1)
        form.RichTextBox1->viewport()->update();
    const qint64 paintedAt = waitForPaint(app, "no paint of the view after the build");
    ticker.stop();

    if (!form.RichTextBox1->isVisible() || form.windowTitle() != glimra::kAppTitle)
        die("the build did not finish: view hidden or title not restored");

    // The first entry's tool tip, as Qt asks for it once the pointer rests
    // there: worked out whole inside that one event. The entry is found as
    // the pointer finds it, down the view's left edge: a text cursor placed
    // in it would lay out the whole of a 1 MiB block, which the view never does.
    QWidget* viewport = form.RichTextBox1->viewport();
    qint64 restAt = 0;
    qint64 tippedAt = 0;
    for (QPoint at(6, 0); at.y() < viewport->height() && !QToolTip::isVisible(); at.ry() += 2) {
        QHelpEvent rest(QEvent::ToolTip, at, viewport->mapToGlobal(at));
        restAt = nowNs();
        QApplication::sendEvent(viewport, &rest);
        tippedAt = nowNs();
    }
    if (!QToolTip::isVisible())
        die("no tip on the first entry");
    QToolTip::hideText();

    // The view's own scroll bar, as a user dragging it to the bottom.
    QScrollBar* bar = form.RichTextBox1->verticalScrollBar();
    if (bar->value() == bar->maximum())
        die("nothing to scroll after the build");
    if (args.settled)
        waitFor("the last page laid out", [&] { return !form.RichTextBox1->centerOnScroll(); });
    app.watchPaint(form.RichTextBox1->viewport());
    const qint64 scrollAt = nowNs();
    bar->setValue(bar->maximum());
    const qint64 scrolledAt = waitForPaint(app, "no paint of the view after scrolling");

    const qint64 firstYield = turns.firstAfter(clickAt);
    const qint64 lastYield = turns.lastBefore(returnedAt);
    Figures figures;
    figures[key::clickToPainted] = msBetween(clickAt, paintedAt);
    figures[key::clickToReturn] = msBetween(clickAt, returnedAt);
    figures[key::worstGap] = turns.worstGapMs(clickAt, paintedAt);
    figures[key::firstYield] = firstYield ? msBetween(clickAt, firstYield) : 0;
    figures[key::formatPass] = firstYield && lastYield ? msBetween(firstYield, lastYield) : 0;
    figures[key::lastYieldToPainted] = lastYield ? msBetween(lastYield, paintedAt) : 0;
    figures[key::scrollToPainted] = msBetween(scrollAt, scrolledAt);
    figures[key::tip] = msBetween(restAt, tippedAt);
    figures[key::maxRssKb] = maxRssKb();
    figures[key::hwmKb] = highWaterMarkKb();
    figures[key::fonts] = double(QFontDatabase::families().size());
    figures[key::blocks] = double(form.RichTextBox1->document()->blockCount());
    figures[key::turns] = double(turns.countBetween(clickAt, returnedAt));
    figures[key::textUnits] = double(form.RichTextBox1->text().size());
    figures[key::viewWidth] = double(form.RichTextBox1->viewport()->width());
    figures[key::viewHeight] = double(form.RichTextBox1->viewport()->height());
    report(figures);
    return 0;
}

} // namespace

namespace bench
{

int runChild(int argc, char** argv)
{
    BenchApplication app(argc, argv);
    const ChildArgs args = parse(QCoreApplication::arguments().mid(1));
    glimra::installJapaneseUiFont();
#ifdef GLIMRA_TUNING
    if (!args.without.isEmpty())
        view::tuning() = tuningWithout(args.without);
#else
    if (!args.without.isEmpty())
        die("the view's switches are built only with -DGLIMRA_TUNING=ON, as make bench builds them");
#endif
    Form1 form(glimra::Form1Platform {});
    return args.mode == ChildMode::Start ? measureStart(app, form, args) : measureBuild(app, form, args);
}

} // namespace bench
