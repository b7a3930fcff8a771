#pragma once

// What the driver and its children agree on: the command line of a child
// and the one line of figures it prints.

#include <QMap>
#include <QString>
#include <QStringList>

namespace bench
{

// argv[1] of a child; everything else is the driver.
inline constexpr char kChildFlag[] = "--child";

enum class ChildMode {
    Start, // show the window, time its first paint, exit
    Build, // show, click Show, time the build, its paint and a scroll
};

// The view's mechanisms the bench can switch off one at a time, by the name
// of their switch in view::Tuning.
inline const QStringList kMechanisms { QStringLiteral("appendWhenExtending"), QStringLiteral("insertWhenReached"),
    QStringLiteral("deferLayoutWhileHidden"), QStringLiteral("loadFirstPageEarly"),
    QStringLiteral("layOutLastPageLater") };
// "--view without:NAME": ours with that one mechanism off.
inline const QString kWithoutPrefix = QStringLiteral("without:");

struct ChildArgs {
    ChildMode mode = ChildMode::Build;
    QString without; // a mechanism switched off in our view, if any
    QString sample; // one of the samples below
    // The window at its opening size, or filling a 1920×1080 screen as a
    // maximized one does.
    bool maximized = false;
    // Presses of Show, the later ones while the first build runs.
    int clicks = 1;
    int clickIntervalMs = 60;
    // Scroll to the end only once the view has laid out its last page.
    bool settled = false;
    qint64 spawnedAtNs = 0;
};

inline constexpr int kMaximizedWidth = 1920;
inline constexpr int kMaximizedHeight = 1080;

inline const QString kLatinSample = QStringLiteral("SAMPLE");
inline const QString kJapaneseSample = QStringLiteral("サンプル SAMPLE");
// 1 MiB of UTF-16: a sample and a space, over and over.
inline QString megabyteSample(const QString& sample)
{
    constexpr qsizetype kUnits = 512 * 1024;
    const QString piece = sample + u' ';
    QString out;
    out.reserve(kUnits);
    while (out.size() < kUnits)
        out += piece;
    out.truncate(kUnits);
    return out;
}
// Samples travel on the command line by name, whatever the locale.
inline QString sampleNamed(const QString& name)
{
    if (name == QLatin1String("megabyte"))
        return megabyteSample(kJapaneseSample);
    if (name == QLatin1String("megabyte-latin"))
        return megabyteSample(kLatinSample);
    return name == QLatin1String("japanese") ? kJapaneseSample : kLatinSample;
}

// The child's figures come as one line: "RESULT key=value key=value ...".
inline const QString kResultTag = QStringLiteral("RESULT");
using Figures = QMap<QString, double>;

namespace key
{
    inline const QString startToPaint = QStringLiteral("start_ms");
    inline const QString clickToPainted = QStringLiteral("click_ms");
    inline const QString clickToReturn = QStringLiteral("return_ms");
    inline const QString worstGap = QStringLiteral("gap_ms");
    inline const QString firstYield = QStringLiteral("first_yield_ms");
    inline const QString formatPass = QStringLiteral("format_ms");
    inline const QString lastYieldToPainted = QStringLiteral("tail_ms");
    inline const QString scrollToPainted = QStringLiteral("scroll_ms");
    inline const QString tip = QStringLiteral("tip_ms");
    inline const QString maxRssKb = QStringLiteral("maxrss_kb");
    inline const QString hwmKb = QStringLiteral("hwm_kb");
    inline const QString fonts = QStringLiteral("fonts");
    inline const QString blocks = QStringLiteral("blocks");
    inline const QString turns = QStringLiteral("turns");
    inline const QString textUnits = QStringLiteral("text_units");
    inline const QString viewWidth = QStringLiteral("view_w");
    inline const QString viewHeight = QStringLiteral("view_h");
} // namespace key

} // namespace bench
