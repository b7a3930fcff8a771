#include "driver.h"

#include "bench.h"
#include "clock.h"
#include "xvfb.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <vector>

using namespace bench;

namespace
{

constexpr int kChildTimeoutMs = 180'000;
constexpr double kKiBPerMB = 1024.0;
// make_fonts.py's exit status when the Noto CJK font is not installed.
constexpr int kNoNotoCjk = 3;

// The goals at the opening size, 5,000 fonts, and for start-up.
constexpr int kTargetFonts = 5000;
constexpr double kTargetClickLatinMs = 400;
constexpr double kTargetClickJapaneseMs = 1000;
constexpr double kTargetGapMs = 50;
constexpr double kTargetScrollMs = 150;
constexpr double kTargetRssMB = 100;
constexpr double kTargetStartMs = 100;
// The goals in a maximized window: 5,000 and 32,000 fonts, clicks in quick
// succession, the 1 MiB sample and the other font sets.
constexpr int kTargetManyFonts = 32000;
constexpr int kTargetFewFonts = 1000;
constexpr double kTargetMaxClickJapaneseMs = 700;
constexpr double kTargetMaxGapJapaneseMs = 100;
constexpr double kTargetManyClickLatinMs = 2000;
constexpr double kTargetManyClickJapaneseMs = 3000;
constexpr double kTargetManyGapMs = 100;
constexpr double kTargetManyStartMs = 150;
constexpr double kTargetManyRssMB = 250;
constexpr double kTargetMegabyteMs = 2000;
// Peak RSS against the preview text's size in UTF-16.
constexpr double kTargetMegabyteRssRatio = 3;
constexpr double kTargetFontSetRatio = 1.3;

void progress(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

// Presses of Show in quick succession, at a font count.
struct Clicks {
    int clicks = 2;
    int fonts = kTargetFonts;
};

struct Options {
    int runs = 5;
    QList<int> counts;
    QStringList platforms;
    QStringList windows;
    QList<Clicks> clicks;
    int clickIntervalMs = 60;
    int megabyteFonts = 100;
    // Font sets beside the IPA one, compared with it at one font count.
    QStringList fontSets;
    int fontSetFonts = kTargetFonts;
    QString notoCjk;
    // A reference run that takes longer is ended and shown as "> budget".
    int referenceBudgetS = 20;
    // Once the runs of one configuration have taken this long, no more are
    // started: slow configurations get fewer runs.
    int configBudgetS = 30;
    QString markdownPath;
};

// Each font set the tables name: what make_fonts.py puts beside the
// generated families, and how the tables describe it.
struct FontSetInfo {
    const char* beside;
    const char* label;
};

FontSetInfo fontSetInfo(const QString& fontSet)
{
    if (fontSet == QLatin1String("noto-cjk"))
        return { "noto-cjk", "Noto Sans CJK JP, no IPA" };
    if (fontSet == QLatin1String("no-japanese"))
        return { "dejavu", "no Japanese font (DejaVu)" };
    return { "ipa", "IPA gothics" };
}

QString besideArgument(const QString& fontSet) { return QLatin1String(fontSetInfo(fontSet).beside); }

QString fontSetLabel(const QString& fontSet) { return QLatin1String(fontSetInfo(fontSet).label); }

const QString kIpa = QStringLiteral("ipa");
const QString kOpening = QStringLiteral("opening");
const QString kMaximized = QStringLiteral("maximized");
const QString kLatin = QStringLiteral("latin");
const QString kJapanese = QStringLiteral("japanese");
const QString kMegabyte = QStringLiteral("megabyte");

std::optional<QList<int>> numbers(const QString& list, int least)
{
    QList<int> out;
    for (const QString& c : list.split(u',', Qt::SkipEmptyParts)) {
        bool ok = false;
        const int n = c.toInt(&ok);
        if (!ok || n < least)
            return std::nullopt;
        out << n;
    }
    return out;
}

std::optional<Options> parseOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times glimra's Show button on generated font sets."));
    parser.addHelpOption();
    const QCommandLineOption runs(
        QStringLiteral("runs"), QStringLiteral("Runs per configuration."), QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption counts(QStringLiteral("fonts"), QStringLiteral("Comma-separated font counts."),
        QStringLiteral("list"), QStringLiteral("241,1000,5000,32000"));
    const QCommandLineOption platforms(QStringLiteral("platforms"),
        QStringLiteral("Comma-separated Qt platforms: offscreen, xcb (on a private Xvfb)."), QStringLiteral("list"),
        QStringLiteral("offscreen,xcb"));
    const QCommandLineOption windows(QStringLiteral("windows"),
        QStringLiteral("Comma-separated window sizes: opening, maximized (1920×1080)."), QStringLiteral("list"),
        QStringLiteral("opening,maximized"));
    const QCommandLineOption clicks(QStringLiteral("clicks"),
        QStringLiteral("Comma-separated presses in quick succession, as clicks@fonts; empty for none."),
        QStringLiteral("list"), QStringLiteral("2@5000,3@5000,50@3000"));
    const QCommandLineOption interval(QStringLiteral("click-interval"),
        QStringLiteral("Milliseconds between those presses."), QStringLiteral("ms"), QStringLiteral("60"));
    const QCommandLineOption megabyte(QStringLiteral("megabyte-fonts"),
        QStringLiteral("Fonts for the 1 MiB sample; 0 for none."), QStringLiteral("n"), QStringLiteral("100"));
    const QCommandLineOption fontSets(QStringLiteral("font-sets"),
        QStringLiteral("Comma-separated sets compared with the IPA one: no-japanese, noto-cjk; empty for none."),
        QStringLiteral("list"), QStringLiteral("no-japanese,noto-cjk"));
    const QCommandLineOption fontSetFonts(QStringLiteral("font-set-fonts"),
        QStringLiteral("Font count for that comparison."), QStringLiteral("n"), QStringLiteral("5000"));
    const QCommandLineOption notoCjk(QStringLiteral("noto-cjk"),
        QStringLiteral("The Noto Sans CJK file, when not installed under /usr/share/fonts."), QStringLiteral("file"));
    const QCommandLineOption budget(QStringLiteral("reference-budget"),
        QStringLiteral("Seconds a reference run may take."), QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption configBudget(QStringLiteral("config-budget"),
        QStringLiteral("Seconds after which a configuration starts no more runs."), QStringLiteral("s"),
        QStringLiteral("30"));
    const QCommandLineOption markdown(
        QStringLiteral("markdown"), QStringLiteral("Also write the tables to a file."), QStringLiteral("file"));
    parser.addOptions({ runs, counts, platforms, windows, clicks, interval, megabyte, fontSets, fontSetFonts, notoCjk,
        budget, configBudget, markdown });
    parser.process(app);

    Options options;
    options.runs = std::max(1, parser.value(runs).toInt());
    const auto parsedCounts = numbers(parser.value(counts), 2);
    if (!parsedCounts) {
        progress(QStringLiteral("font counts are numbers from 2"));
        return std::nullopt;
    }
    options.counts = *parsedCounts;
    options.platforms = parser.value(platforms).split(u',', Qt::SkipEmptyParts);
    options.windows = parser.value(windows).split(u',', Qt::SkipEmptyParts);
    for (const QString& w : options.windows) {
        if (w != kOpening && w != kMaximized) {
            progress(QStringLiteral("windows are opening or maximized"));
            return std::nullopt;
        }
    }
    if (options.windows.isEmpty())
        options.windows << kOpening;
    for (const QString& c : parser.value(clicks).split(u',', Qt::SkipEmptyParts)) {
        const QStringList parts = c.split(u'@');
        const auto pair = numbers(parts.join(u','), 2);
        if (parts.size() != 2 || !pair) {
            progress(QStringLiteral("clicks are written clicks@fonts, such as 2@5000"));
            return std::nullopt;
        }
        options.clicks << Clicks { pair->at(0), pair->at(1) };
    }
    options.clickIntervalMs = std::max(0, parser.value(interval).toInt());
    options.megabyteFonts = std::max(0, parser.value(megabyte).toInt());
    options.fontSets = parser.value(fontSets).split(u',', Qt::SkipEmptyParts);
    for (const QString& f : options.fontSets) {
        if (f != QLatin1String("no-japanese") && f != QLatin1String("noto-cjk")) {
            progress(QStringLiteral("font sets are no-japanese or noto-cjk"));
            return std::nullopt;
        }
    }
    options.fontSetFonts = std::max(2, parser.value(fontSetFonts).toInt());
    options.notoCjk = parser.value(notoCjk);
    options.referenceBudgetS = std::max(1, parser.value(budget).toInt());
    options.configBudgetS = std::max(1, parser.value(configBudget).toInt());
    options.markdownPath = parser.value(markdown);
    return options;
}

struct Series {
    QList<Figures> runs;
    int timedOut = 0;
    int failed = 0;
    double spentMs = 0;
};

enum class Outcome { Ok, TimedOut, Failed };

Outcome runOnce(const QProcessEnvironment& env, QStringList args, int timeoutMs, Series& into)
{
    QProcess child;
    child.setProcessEnvironment(env);
    child.setProgram(QCoreApplication::applicationFilePath());
    const qint64 spawnedAt = nowNs();
    args.prepend(QString::fromLatin1(kChildFlag));
    args << QStringLiteral("--spawned-at") << QString::number(spawnedAt);
    child.setArguments(args);
    child.start();
    const bool finished = child.waitForFinished(timeoutMs);
    into.spentMs += msBetween(spawnedAt, nowNs());
    if (!finished) {
        const bool running = child.state() != QProcess::NotRunning;
        child.kill();
        child.waitForFinished();
        if (running) {
            if (timeoutMs == kChildTimeoutMs)
                progress(QStringLiteral("  run stopped after %1 s: %2")
                             .arg(timeoutMs / 1000)
                             .arg(QString::fromUtf8(child.readAllStandardError()).right(2000)));
            ++into.timedOut;
            return Outcome::TimedOut;
        }
    }
    const QString out = QString::fromUtf8(child.readAllStandardOutput());
    for (const QString& line : out.split(u'\n')) {
        if (!line.startsWith(kResultTag))
            continue;
        Figures figures;
        for (const QString& pair : line.mid(kResultTag.size()).split(u' ', Qt::SkipEmptyParts)) {
            const qsizetype eq = pair.indexOf(u'=');
            figures[pair.left(eq)] = pair.mid(eq + 1).toDouble();
        }
        if (child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) {
            into.runs << figures;
            return Outcome::Ok;
        }
    }
    ++into.failed;
    progress(QStringLiteral("  run failed (exit %1): %2")
                 .arg(child.exitCode())
                 .arg(QString::fromUtf8(child.readAllStandardError()).right(2000)));
    return Outcome::Failed;
}

struct Stat {
    double median = 0;
    double min = 0;
    double max = 0;
    qsizetype n = 0;
    qsizetype planned = 0;
};

// Runs per configuration, for marking the ones cut short.
int g_plannedRuns = 1;

std::optional<Stat> statOf(const Series& series, const QString& name)
{
    std::vector<double> values;
    for (const Figures& f : series.runs) {
        if (f.contains(name))
            values.push_back(f.value(name));
    }
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Stat { median, values.front(), values.back(), qsizetype(n), g_plannedRuns };
}

// Times read best in ms below a second and in s above, the range in the
// median's unit.
QString timeCell(const std::optional<Stat>& s)
{
    if (!s)
        return QStringLiteral("—");
    const bool seconds = s->median >= 1000;
    const double div = seconds ? 1000 : 1;
    const int decimals = seconds ? 2 : (s->median < 10 ? 1 : 0);
    const auto num = [&](double v) { return QString::number(v / div, 'f', decimals); };
    const QString unit = seconds ? QStringLiteral(" s") : QStringLiteral(" ms");
    if (s->n == 1)
        return num(s->median) + unit + QStringLiteral(" (1 run)");
    return num(s->median) + unit + QStringLiteral(" (") + num(s->min) + QStringLiteral("–") + num(s->max)
        + QStringLiteral(")") + (s->n < s->planned ? QStringLiteral(", %1 runs").arg(s->n) : QString());
}

QString memoryCell(const std::optional<Stat>& s)
{
    if (!s)
        return QStringLiteral("—");
    const auto num = [](double kib) { return QString::number(kib / kKiBPerMB, 'f', 0); };
    if (s->n == 1)
        return num(s->median) + QStringLiteral(" MB (1 run)");
    return num(s->median) + QStringLiteral(" MB (") + num(s->min) + QStringLiteral("–") + num(s->max)
        + QStringLiteral(")");
}

// One configuration of the build, run by our view and, where asked, by the
// reference view alternately with it.
struct Row {
    QString platform;
    QString window;
    int fonts = 0;
    QString fontSet;
    QString sample;
    int clicks = 1;
    bool withReference = false;
    Series ours;
    Series reference;
};

struct StartRow {
    QString platform;
    QString window;
    int fonts = 0;
    QString fontSet;
    Series start;
};

QString sampleLabel(const QString& name)
{
    if (name == kMegabyte)
        return QStringLiteral("1 MiB");
    return name == kJapanese ? QStringLiteral("サンプル SAMPLE") : QStringLiteral("SAMPLE");
}

QString displayLabel(const QString& platform)
{
    return platform == QLatin1String("xcb") ? QStringLiteral("Xvfb (xcb)") : platform;
}

QString windowLabel(const QString& window)
{
    return window == kMaximized ? QStringLiteral("1920×1080") : QStringLiteral("opening");
}

QString count(int n) { return QLocale::c().toString(n); }

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (info.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("model name"))
                return QString::fromUtf8(line.mid(line.indexOf(':') + 1).trimmed());
        }
    }
    return QSysInfo::currentCpuArchitecture();
}

class Report
{
public:
    explicit Report(const Options& options)
        : m_options(options)
    {
    }

    std::vector<Row> rows;
    std::vector<StartRow> starts;

    QString markdown() const;

private:
    QString referenceCell(const Row& row, const QString& name, bool memory) const;
    QString ratioCell(const Row& row, const QString& name) const;
    QString targets() const;
    const Row* find(const QString& platform, const QString& window, int fonts, const QString& sample, int clicks = 1,
        const QString& fontSet = kIpa) const;
    const StartRow* findStart(
        const QString& platform, const QString& window, int fonts, const QString& fontSet = kIpa) const;

    const Options& m_options;
};

QString Report::referenceCell(const Row& row, const QString& name, bool memory) const
{
    const auto s = statOf(row.reference, name);
    const QString over = QStringLiteral("> %1 s").arg(m_options.referenceBudgetS);
    // A stopped run tells only that it took longer than its budget.
    const bool bounded = name == key::clickToPainted || name == key::worstGap;
    if (!s)
        return row.reference.timedOut && bounded ? over : QStringLiteral("—");
    QString cell = memory ? memoryCell(s) : timeCell(s);
    if (row.reference.timedOut)
        cell += QStringLiteral(", %1 × %2").arg(row.reference.timedOut).arg(over);
    return cell;
}

QString ratioOf(double numerator, double denominator)
{
    const double ratio = numerator / denominator;
    return QStringLiteral("×%1").arg(ratio, 0, 'f', ratio < 10 ? (ratio < 2 ? 2 : 1) : 0);
}

QString Report::ratioCell(const Row& row, const QString& name) const
{
    const auto ours = statOf(row.ours, name);
    const auto ref = statOf(row.reference, name);
    if (!ours || ours->median <= 0)
        return QStringLiteral("—");
    if (!ref) {
        if (!row.reference.timedOut || name != key::clickToPainted)
            return QStringLiteral("—");
        const double atLeast = m_options.referenceBudgetS * 1000.0 / ours->median;
        return QStringLiteral("> ×%1").arg(atLeast, 0, 'f', atLeast < 10 ? 1 : 0);
    }
    return ratioOf(ref->median, ours->median);
}

const Row* Report::find(const QString& platform, const QString& window, int fonts, const QString& sample, int clicks,
    const QString& fontSet) const
{
    for (const Row& row : rows) {
        if (row.platform == platform && row.window == window && row.fonts == fonts && row.sample == sample
            && row.clicks == clicks && row.fontSet == fontSet)
            return &row;
    }
    return nullptr;
}

const StartRow* Report::findStart(
    const QString& platform, const QString& window, int fonts, const QString& fontSet) const
{
    for (const StartRow& s : starts) {
        if (s.platform == platform && s.window == window && s.fonts == fonts && s.fontSet == fontSet)
            return &s;
    }
    return nullptr;
}

QString mark(bool medianMet, bool worstMet)
{
    if (!medianMet)
        return QStringLiteral("**missed**");
    return worstMet ? QStringLiteral("met") : QStringLiteral("met by the median, not by every run");
}

QString Report::targets() const
{
    QString out;
    const auto line = [&](const QString& what, const std::optional<Stat>& s, double limit, bool memory) {
        if (!s)
            return;
        const double median = memory ? s->median / kKiBPerMB : s->median;
        const double worst = memory ? s->max / kKiBPerMB : s->max;
        out += QStringLiteral("- %1: %2 against %3 — %4\n")
                   .arg(what, memory ? memoryCell(s) : timeCell(s),
                       memory ? QStringLiteral("%1 MB").arg(limit) : QStringLiteral("%1 ms").arg(limit),
                       mark(median <= limit, worst <= limit));
    };
    const auto ratioLine
        = [&](const QString& what, const std::optional<Stat>& a, const std::optional<Stat>& b, double limit) {
              if (!a || !b || b->median <= 0)
                  return;
              const double ratio = a->median / b->median;
              out += QStringLiteral("- %1: %2 against ×%3 — %4\n")
                         .arg(what, ratioOf(a->median, b->median))
                         .arg(limit)
                         .arg(mark(ratio <= limit, true));
          };
    const auto click = [](const Row* row) { return row ? statOf(row->ours, key::clickToPainted) : std::nullopt; };
    const auto gap = [](const Row* row) { return row ? statOf(row->ours, key::worstGap) : std::nullopt; };
    for (const QString& platform : m_options.platforms) {
        const QString d = displayLabel(platform);
        if (const Row* latin = find(platform, kOpening, kTargetFonts, kLatin)) {
            const QString at = QStringLiteral("%1, opening window, 5,000 fonts, SAMPLE").arg(d);
            line(at + QStringLiteral(", click → painted"), click(latin), kTargetClickLatinMs, false);
            line(at + QStringLiteral(", worst event-loop gap"), gap(latin), kTargetGapMs, false);
            line(at + QStringLiteral(", scroll to end"), statOf(latin->ours, key::scrollToPainted), kTargetScrollMs,
                false);
            line(at + QStringLiteral(", peak RSS"), statOf(latin->ours, key::maxRssKb), kTargetRssMB, true);
        }
        line(QStringLiteral("%1, opening window, 5,000 fonts, サンプル SAMPLE, click → painted").arg(d),
            click(find(platform, kOpening, kTargetFonts, kJapanese)), kTargetClickJapaneseMs, false);
        for (const StartRow& start : starts) {
            if (start.platform == platform && start.window == kOpening && start.fontSet == kIpa)
                line(QStringLiteral("%1, opening window, %2 fonts, start → first paint").arg(d, count(start.fonts)),
                    statOf(start.start, key::startToPaint), kTargetStartMs, false);
        }

        const QString at5 = QStringLiteral("%1, 1920×1080, 5,000 fonts").arg(d);
        line(at5 + QStringLiteral(", SAMPLE, click → painted"), click(find(platform, kMaximized, kTargetFonts, kLatin)),
            kTargetClickLatinMs, false);
        line(at5 + QStringLiteral(", SAMPLE, worst gap"), gap(find(platform, kMaximized, kTargetFonts, kLatin)),
            kTargetGapMs, false);
        line(at5 + QStringLiteral(", サンプル SAMPLE, click → painted"),
            click(find(platform, kMaximized, kTargetFonts, kJapanese)), kTargetMaxClickJapaneseMs, false);
        line(at5 + QStringLiteral(", サンプル SAMPLE, worst gap"),
            gap(find(platform, kMaximized, kTargetFonts, kJapanese)), kTargetMaxGapJapaneseMs, false);

        const QString at32 = QStringLiteral("%1, 1920×1080, 32,000 fonts").arg(d);
        const Row* manyLatin = find(platform, kMaximized, kTargetManyFonts, kLatin);
        const Row* manyJapanese = find(platform, kMaximized, kTargetManyFonts, kJapanese);
        line(at32 + QStringLiteral(", SAMPLE, click → painted"), click(manyLatin), kTargetManyClickLatinMs, false);
        line(at32 + QStringLiteral(", サンプル SAMPLE, click → painted"), click(manyJapanese),
            kTargetManyClickJapaneseMs, false);
        line(at32 + QStringLiteral(", SAMPLE, worst gap"), gap(manyLatin), kTargetManyGapMs, false);
        line(at32 + QStringLiteral(", サンプル SAMPLE, worst gap"), gap(manyJapanese), kTargetManyGapMs, false);
        if (const StartRow* s = findStart(platform, kMaximized, kTargetManyFonts))
            line(at32 + QStringLiteral(", start → first paint"), statOf(s->start, key::startToPaint),
                kTargetManyStartMs, false);
        if (manyJapanese)
            line(at32 + QStringLiteral(", サンプル SAMPLE, peak RSS"), statOf(manyJapanese->ours, key::maxRssKb),
                kTargetManyRssMB, true);
        for (const QString& sample : { kLatin, kJapanese }) {
            ratioLine(QStringLiteral("%1, 1920×1080, %2, click → painted, 32,000 ÷ 1,000 fonts (font count ×32)")
                          .arg(d, sampleLabel(sample)),
                click(find(platform, kMaximized, kTargetManyFonts, sample)),
                click(find(platform, kMaximized, kTargetFewFonts, sample)), double(kTargetManyFonts) / kTargetFewFonts);
        }

        for (const Row& row : rows) {
            if (row.platform != platform)
                continue;
            const QString at = QStringLiteral("%1, %2, %3 fonts").arg(d, windowLabel(row.window), count(row.fonts));
            if (row.clicks == 2 || row.clicks == 3) {
                ratioLine(at + QStringLiteral(", %1 clicks → title back and painted, ÷ one click").arg(row.clicks),
                    click(&row), click(find(platform, row.window, row.fonts, row.sample)), row.clicks == 2 ? 1.5 : 2);
            } else if (row.clicks > 3) {
                line(at + QStringLiteral(", %1 clicks → title back and painted").arg(row.clicks), click(&row), 10'000,
                    false);
            } else if (row.sample == kMegabyte) {
                line(at + QStringLiteral(", 1 MiB sample, click → painted"), click(&row), kTargetMegabyteMs, false);
                const auto rss = statOf(row.ours, key::maxRssKb);
                const auto units = statOf(row.ours, key::textUnits);
                if (rss && units && units->median > 0) {
                    const double ratio = rss->median * 1024 / (units->median * 2);
                    out += QStringLiteral("- %1, 1 MiB sample, peak RSS ÷ the text in UTF-16: ×%2 against ×%3 — %4\n")
                               .arg(at)
                               .arg(ratio, 0, 'f', 2)
                               .arg(kTargetMegabyteRssRatio)
                               .arg(mark(ratio <= kTargetMegabyteRssRatio, true));
                }
            } else if (row.fontSet != kIpa) {
                ratioLine(at
                        + QStringLiteral(", %1, %2, click → painted, ÷ IPA")
                              .arg(fontSetLabel(row.fontSet), sampleLabel(row.sample)),
                    click(&row), click(find(platform, row.window, row.fonts, row.sample)), kTargetFontSetRatio);
            }
        }
        for (const StartRow& s : starts) {
            if (s.platform != platform || s.fontSet == kIpa)
                continue;
            const StartRow* ipa = findStart(platform, s.window, s.fonts);
            ratioLine(QStringLiteral("%1, %2, %3 fonts, %4, start → first paint, ÷ IPA")
                          .arg(d, windowLabel(s.window), count(s.fonts), fontSetLabel(s.fontSet)),
                statOf(s.start, key::startToPaint), ipa ? statOf(ipa->start, key::startToPaint) : std::nullopt,
                kTargetFontSetRatio);
        }
    }
    return out;
}

QString Report::markdown() const
{
    QString out;
    out += QStringLiteral("Median of %1 runs, min–max in brackets, each run a fresh process. A configuration "
                          "starts no new run after %2 s, so slow ones show \"(1 run)\" or \"n runs\". Generated "
                          "fonts beside the two IPA gothics unless a row says otherwise.\n\n")
               .arg(m_options.runs)
               .arg(m_options.configBudgetS);
    const auto single = [](const Row& r) { return r.clicks == 1 && r.fontSet == kIpa && r.sample != kMegabyte; };
    out += QStringLiteral(
        "| Display | Window | Fonts | Sample | Click → painted | Worst event-loop gap | Scroll to end "
        "| Peak RSS |\n");
    out += QStringLiteral("|---|---|---:|---|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        if (!single(r))
            continue;
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                   .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), sampleLabel(r.sample),
                       timeCell(statOf(r.ours, key::clickToPainted)), timeCell(statOf(r.ours, key::worstGap)),
                       timeCell(statOf(r.ours, key::scrollToPainted)), memoryCell(statOf(r.ours, key::maxRssKb)));
    }

    out += QStringLiteral("\nStart → first paint of the window (no click; the view is empty):\n\n");
    out += QStringLiteral("| Display | Window | Fonts | Font set | Start → first paint | Peak RSS |\n");
    out += QStringLiteral("|---|---|---:|---|---:|---:|\n");
    for (const StartRow& s : starts) {
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                   .arg(displayLabel(s.platform), windowLabel(s.window), count(s.fonts), fontSetLabel(s.fontSet),
                       timeCell(statOf(s.start, key::startToPaint)), memoryCell(statOf(s.start, key::maxRssKb)));
    }

    QString clicks;
    for (const Row& r : rows) {
        if (r.clicks == 1)
            continue;
        const Row* one = find(r.platform, r.window, r.fonts, r.sample);
        const auto mine = statOf(r.ours, key::clickToPainted);
        const auto theirs = one ? statOf(one->ours, key::clickToPainted) : std::nullopt;
        clicks += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                      .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), QString::number(r.clicks),
                          timeCell(mine), timeCell(theirs),
                          mine && theirs ? ratioOf(mine->median, theirs->median) : QStringLiteral("—"),
                          timeCell(statOf(r.ours, key::worstGap)));
    }
    if (!clicks.isEmpty()) {
        out += QStringLiteral("\nPresses of Show %1 ms apart, SAMPLE: first press → the title back and the view "
                              "painted after the last build:\n\n")
                   .arg(m_options.clickIntervalMs);
        out += QStringLiteral("| Display | Window | Fonts | Presses | First press → done | One press | ratio | Worst "
                              "gap |\n|---|---|---:|---:|---:|---:|---:|---:|\n");
        out += clicks;
    }

    QString megabyte;
    for (const Row& r : rows) {
        if (r.sample != kMegabyte)
            continue;
        const auto units = statOf(r.ours, key::textUnits);
        const auto rss = statOf(r.ours, key::maxRssKb);
        megabyte += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |\n")
                        .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts),
                            timeCell(statOf(r.ours, key::clickToPainted)), memoryCell(rss),
                            units ? QStringLiteral("%1 MB").arg(units->median * 2 / kKiBPerMB / 1024, 0, 'f', 0)
                                  : QStringLiteral("—"),
                            units && rss ? ratioOf(rss->median * 1024, units->median * 2) : QStringLiteral("—"));
    }
    if (!megabyte.isEmpty()) {
        out += QStringLiteral("\nA 1 MiB sample (サンプル SAMPLE and a space, over and over):\n\n");
        out += QStringLiteral("| Display | Window | Fonts | Click → painted | Peak RSS | Preview text, UTF-16 | RSS "
                              "÷ text |\n|---|---|---:|---:|---:|---:|---:|\n");
        out += megabyte;
    }

    QString sets;
    for (const Row& r : rows) {
        if (r.fontSet == kIpa)
            continue;
        const Row* ipa = find(r.platform, r.window, r.fonts, r.sample);
        const StartRow* start = findStart(r.platform, r.window, r.fonts, r.fontSet);
        const StartRow* ipaStart = findStart(r.platform, r.window, r.fonts);
        const auto ratio = [](const std::optional<Stat>& a, const std::optional<Stat>& b) {
            return a && b && b->median > 0 ? ratioOf(a->median, b->median) : QStringLiteral("—");
        };
        const auto click = statOf(r.ours, key::clickToPainted);
        const auto ipaClick = ipa ? statOf(ipa->ours, key::clickToPainted) : std::nullopt;
        const auto st = start ? statOf(start->start, key::startToPaint) : std::nullopt;
        const auto ipaSt = ipaStart ? statOf(ipaStart->start, key::startToPaint) : std::nullopt;
        sets += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |\n")
                    .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), fontSetLabel(r.fontSet),
                        sampleLabel(r.sample), timeCell(st), ratio(st, ipaSt), timeCell(click), ratio(click, ipaClick));
    }
    if (!sets.isEmpty()) {
        out += QStringLiteral("\nOther font sets beside the generated families, against the IPA gothics in the "
                              "same run (ratio = this set ÷ IPA):\n\n");
        out += QStringLiteral("| Display | Window | Fonts | Font set | Sample | Start → first paint | ratio | Click → "
                              "painted | ratio |\n|---|---|---:|---|---|---:|---:|---:|---:|\n");
        out += sets;
    }

    out += QStringLiteral("\nAgainst the reference view (every assignment rebuilds the document, layout runs while "
                          "hidden), run alternately with ours in separate processes; ratio = reference ÷ ours. A "
                          "reference run is stopped after %1 s:\n\n")
               .arg(m_options.referenceBudgetS);
    out += QStringLiteral("| Display | Window | Fonts | Sample | Click → painted, reference | ratio | Worst gap, "
                          "reference | ratio | Peak RSS, reference | ratio |\n");
    out += QStringLiteral("|---|---|---:|---|---:|---:|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        if (!r.withReference)
            continue;
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 |\n")
                   .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), sampleLabel(r.sample),
                       referenceCell(r, key::clickToPainted, false), ratioCell(r, key::clickToPainted),
                       referenceCell(r, key::worstGap, false), ratioCell(r, key::worstGap),
                       referenceCell(r, key::maxRssKb, true))
                   .arg(ratioCell(r, key::maxRssKb));
    }

    out += QStringLiteral("\nWhere the click's time goes (ours, medians): text pass = click → first yield; "
                          "formatting pass = first → last yield; finish = last yield → painted.\n\n");
    out += QStringLiteral(
        "| Display | Window | Fonts | Sample | Text pass | Formatting pass | Finish and paint | Yields |\n");
    out += QStringLiteral("|---|---|---:|---|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        if (!single(r))
            continue;
        const auto yields = statOf(r.ours, key::turns);
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 |\n")
                   .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), sampleLabel(r.sample),
                       timeCell(statOf(r.ours, key::firstYield)), timeCell(statOf(r.ours, key::formatPass)),
                       timeCell(statOf(r.ours, key::lastYieldToPainted)),
                       yields ? QString::number(yields->median, 'f', 0) : QStringLiteral("—"));
    }

    out += QStringLiteral("\nTargets:\n\n") + targets();
    return out;
}

QProcessEnvironment childEnvironment(const QString& fontsConf, const QString& platform, const QString& display)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("FONTCONFIG_FILE"), fontsConf);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!display.isEmpty())
        env.insert(QStringLiteral("DISPLAY"), display);
    return env;
}

// make_fonts.py's answer: 0 when the fonts were written.
int makeFonts(const QString& dir, int generated, const QString& fontSet, const QString& notoCjk)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QStringList args { QStringLiteral(GLIMRA_SOURCE_DIR "/tools/make_fonts.py"), dir, QString::number(generated),
        QStringLiteral("--beside=") + besideArgument(fontSet) };
    if (!notoCjk.isEmpty())
        args << QStringLiteral("--noto-cjk=") + notoCjk;
    python.start(QStringLiteral("/usr/bin/python3"), args);
    if (!python.waitForFinished(kChildTimeoutMs) || python.exitStatus() != QProcess::NormalExit)
        return -1;
    return python.exitCode();
}

QString lastFigure(const Series& series, const QString& name)
{
    if (series.runs.isEmpty())
        return QStringLiteral("—");
    return QString::number(series.runs.constLast().value(name), 'f', 1);
}

// A generated font set whose family list, as Qt gives it, is `fonts` long.
struct FontDir {
    std::unique_ptr<QTemporaryDir> dir;
    int fonts = 0;
    QString conf() const { return dir->filePath(QStringLiteral("fonts.conf")); }
};

// Qt lists the families beside the generated ones and the desktop's generic
// names (Serif, Sans Serif, Monospace) too; the first try shows how many,
// the second makes the list exactly `fonts` long. Empty when the set cannot
// be made here (no Noto CJK installed) or the window does not start.
std::optional<FontDir> prepareFonts(int fonts, const QString& fontSet, const QString& notoCjk)
{
    FontDir out;
    int generated = fonts - 2;
    int seen = 0;
    for (int attempt = 0; attempt < 2 && seen != fonts; ++attempt) {
        out.dir = std::make_unique<QTemporaryDir>();
        const int made
            = out.dir->isValid() && generated >= 1 ? makeFonts(out.dir->path(), generated, fontSet, notoCjk) : -1;
        if (made == kNoNotoCjk) {
            progress(QStringLiteral("no Noto Sans CJK installed under /usr/share/fonts (--noto-cjk names one): the "
                                    "Noto CJK set is left out"));
            return std::nullopt;
        }
        if (made != 0) {
            progress(QStringLiteral("could not generate %1 fonts").arg(generated));
            return std::nullopt;
        }
        // A few tries: now and then an offscreen window never gets its first
        // paint, and that run is dropped like any failed one.
        Series probe;
        for (int tries = 0; tries < 3 && probe.runs.isEmpty(); ++tries)
            runOnce(childEnvironment(out.conf(), QStringLiteral("offscreen"), {}),
                { QStringLiteral("--mode"), QStringLiteral("start") }, kChildTimeoutMs, probe);
        if (probe.runs.isEmpty()) {
            progress(QStringLiteral("the window does not start on %1 generated fonts").arg(generated));
            return std::nullopt;
        }
        seen = int(probe.runs.constFirst().value(key::fonts));
        generated -= seen - fonts;
    }
    if (seen != fonts)
        progress(QStringLiteral("note: asked for %1 fonts, Qt lists %2").arg(fonts).arg(seen));
    progress(QStringLiteral("%1 fonts, %2: %3 generated")
                 .arg(seen)
                 .arg(fontSetLabel(fontSet))
                 .arg(generated + seen - fonts));
    out.fonts = seen;
    return out;
}

QStringList buildArgs(const Row& row, const Options& options)
{
    return { QStringLiteral("--mode"), QStringLiteral("build"), QStringLiteral("--sample"), row.sample,
        QStringLiteral("--window"), row.window, QStringLiteral("--clicks"), QString::number(row.clicks),
        QStringLiteral("--click-interval"), QString::number(options.clickIntervalMs) };
}

void runRow(Row& row, const QProcessEnvironment& env, const Options& options)
{
    const QStringList common = buildArgs(row, options);
    const double budgetMs = options.configBudgetS * 1000.0;
    bool referenceGoes = row.withReference;
    for (int r = 0; r < options.runs; ++r) {
        const bool oursGoes = r == 0 || row.ours.spentMs < budgetMs;
        referenceGoes = referenceGoes && (r == 0 || row.reference.spentMs < budgetMs);
        if (!oursGoes && !referenceGoes)
            break;
        if (oursGoes)
            runOnce(env, common + QStringList { QStringLiteral("--view"), QStringLiteral("ours") }, kChildTimeoutMs,
                row.ours);
        QString referenceNote;
        if (referenceGoes) {
            const Outcome o
                = runOnce(env, common + QStringList { QStringLiteral("--view"), QStringLiteral("reference") },
                    options.referenceBudgetS * 1000, row.reference);
            // One run over the budget says enough.
            referenceGoes = o != Outcome::TimedOut;
            referenceNote = o == Outcome::TimedOut
                ? QStringLiteral("> %1 s").arg(options.referenceBudgetS)
                : lastFigure(row.reference, key::clickToPainted) + QStringLiteral(" ms");
        }
        progress(QStringLiteral("[%1 %2 %3 %4 %5 ×%6] run %7/%8: ours %9 ms%10")
                     .arg(row.platform, row.window)
                     .arg(row.fonts)
                     .arg(row.fontSet, row.sample)
                     .arg(row.clicks)
                     .arg(r + 1)
                     .arg(options.runs)
                     .arg(oursGoes ? lastFigure(row.ours, key::clickToPainted) : QStringLiteral("(done)"))
                     .arg(referenceNote.isEmpty() ? QString() : QStringLiteral(", reference ") + referenceNote));
    }
}

// Everything measured on one font set.
struct Plan {
    int fonts = 0;
    QString fontSet;
    std::vector<Row> rows;
    bool starts = false;
};

std::vector<Plan> makePlans(const Options& options)
{
    std::map<std::pair<int, QString>, Plan> plans;
    const auto plan = [&](int fonts, const QString& fontSet) -> Plan& {
        Plan& p = plans[{ fonts, fontSet }];
        p.fonts = fonts;
        p.fontSet = fontSet;
        return p;
    };
    // The scenarios beyond the main table are timed in the largest window
    // asked for.
    const QString large = options.windows.contains(kMaximized) ? kMaximized : options.windows.constFirst();
    for (const int fonts : options.counts) {
        Plan& p = plan(fonts, kIpa);
        p.starts = true;
        for (const QString& window : options.windows) {
            for (const QString& sample : { kLatin, kJapanese })
                p.rows.push_back(Row { {}, window, fonts, kIpa, sample, 1, true, {}, {} });
        }
    }
    const auto ensureSingle = [&](Plan& p, const QString& sample) {
        for (const Row& r : p.rows) {
            if (r.window == large && r.sample == sample && r.clicks == 1)
                return;
        }
        p.rows.push_back(Row { {}, large, p.fonts, p.fontSet, sample, 1, false, {}, {} });
    };
    for (const Clicks& c : options.clicks) {
        Plan& p = plan(c.fonts, kIpa);
        ensureSingle(p, kLatin);
        p.rows.push_back(Row { {}, large, c.fonts, kIpa, kLatin, c.clicks, false, {}, {} });
    }
    if (options.megabyteFonts > 0)
        plan(options.megabyteFonts, kIpa)
            .rows.push_back(Row { {}, large, options.megabyteFonts, kIpa, kMegabyte, 1, false, {}, {} });
    if (!options.fontSets.isEmpty()) {
        Plan& ipa = plan(options.fontSetFonts, kIpa);
        ipa.starts = true;
        ensureSingle(ipa, kLatin);
        ensureSingle(ipa, kJapanese);
        for (const QString& set : options.fontSets) {
            Plan& p = plan(options.fontSetFonts, set);
            p.starts = true;
            ensureSingle(p, kLatin);
            ensureSingle(p, kJapanese);
        }
    }
    std::vector<Plan> out;
    for (auto& [key, p] : plans)
        out.push_back(std::move(p));
    // The IPA set first at each count, for the ratios' sake nothing else.
    std::stable_sort(out.begin(), out.end(), [](const Plan& a, const Plan& b) { return a.fonts < b.fonts; });
    return out;
}

} // namespace

namespace bench
{

int runDriver(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const std::optional<Options> parsed = parseOptions(app);
    if (!parsed)
        return 2;
    const Options& options = *parsed;
    g_plannedRuns = options.runs;

    Xvfb xvfb;
    std::signal(SIGINT, Xvfb::endAndExit);
    std::signal(SIGTERM, Xvfb::endAndExit);
    QStringList platforms;
    for (const QString& p : options.platforms) {
        if (p == QLatin1String("xcb") && !xvfb.start(kMaximizedWidth, kMaximizedHeight)) {
            progress(QStringLiteral("Xvfb did not start; the xcb runs are left out"));
            continue;
        }
        platforms << p;
    }
    Options effective = options;
    effective.platforms = platforms;
    Report report(effective);
    const qint64 began = nowNs();

    for (Plan& plan : makePlans(options)) {
        std::optional<FontDir> dir = prepareFonts(plan.fonts, plan.fontSet, options.notoCjk);
        if (!dir) {
            if (plan.fontSet == kIpa)
                return 1;
            continue;
        }
        for (const QString& platform : platforms) {
            const QProcessEnvironment env = childEnvironment(
                dir->conf(), platform, platform == QLatin1String("xcb") ? xvfb.display() : QString());
            // Not timed: the first process on a platform pays for cold caches.
            Series warm;
            runOnce(env, { QStringLiteral("--mode"), QStringLiteral("start") }, kChildTimeoutMs, warm);
            if (plan.starts) {
                for (const QString& window : options.windows) {
                    StartRow start { platform, window, dir->fonts, plan.fontSet, {} };
                    for (int r = 0; r < options.runs; ++r)
                        runOnce(env,
                            { QStringLiteral("--mode"), QStringLiteral("start"), QStringLiteral("--window"), window },
                            kChildTimeoutMs, start.start);
                    progress(QStringLiteral("[%1 %2 %3 %4] start → first paint %5")
                                 .arg(platform, window)
                                 .arg(dir->fonts)
                                 .arg(plan.fontSet, timeCell(statOf(start.start, key::startToPaint))));
                    report.starts.push_back(std::move(start));
                }
            }
            for (const Row& planned : plan.rows) {
                Row row = planned;
                row.platform = platform;
                row.fonts = dir->fonts;
                runRow(row, env, options);
                report.rows.push_back(std::move(row));
            }
        }
    }
    xvfb.stop();

    QString text = QStringLiteral("glimra benchmark, %1 (%2 cores), Qt %3, %4; took %5 s.\n\n")
                       .arg(cpuModel())
                       .arg(sysconf(_SC_NPROCESSORS_ONLN))
                       .arg(QString::fromLatin1(qVersion()))
                       .arg(QDateTime::currentDateTime().toString(Qt::ISODate))
                       .arg(msBetween(began, nowNs()) / 1000, 0, 'f', 0);
    text += report.markdown();
    std::printf("%s", qPrintable(text));
    std::fflush(stdout);
    if (!options.markdownPath.isEmpty()) {
        QFile file(options.markdownPath);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(text.toUtf8());
    }
    return 0;
}

} // namespace bench
