#include "driver.h"

#include "bench.h"
#include "clock.h"
#include "options.h"
#include "report.h"
#include "xvfb.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
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
        QStringLiteral("--click-interval"), QString::number(options.clickIntervalMs), QStringLiteral("--settled"),
        row.settled ? QStringLiteral("1") : QStringLiteral("0") };
}

void runRow(Row& row, const QProcessEnvironment& env, const Options& options)
{
    const QStringList common = buildArgs(row, options);
    const double budgetMs = options.configBudgetS * 1000.0;
    bool referenceGoes = !row.without.isEmpty();
    for (int r = 0; r < options.runs; ++r) {
        const bool oursGoes = r == 0 || row.ours.spentMs < budgetMs;
        referenceGoes = referenceGoes && (r == 0 || row.reference.spentMs < budgetMs);
        if (!oursGoes && !referenceGoes)
            break;
        if (oursGoes)
            runOnce(env, common, kChildTimeoutMs, row.ours);
        QString referenceNote;
        if (referenceGoes) {
            const Outcome o
                = runOnce(env, common + QStringList { QStringLiteral("--view"), kWithoutPrefix + row.without },
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
                     .arg(referenceNote.isEmpty() ? QString()
                                                  : QStringLiteral(", %1 off ").arg(row.without) + referenceNote));
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
                p.rows.push_back(Row { .window = window, .fonts = fonts, .fontSet = kIpa, .sample = sample });
        }
        p.rows.push_back(Row { .window = large, .fonts = fonts, .fontSet = kIpa, .sample = kLatin, .settled = true });
    }
    const auto ensureSingle = [&](Plan& p, const QString& sample) {
        for (const Row& r : p.rows) {
            if (r.window == large && r.sample == sample && r.clicks == 1)
                return;
        }
        p.rows.push_back(Row { .window = large, .fonts = p.fonts, .fontSet = p.fontSet, .sample = sample });
    };
    for (const Clicks& c : options.clicks) {
        Plan& p = plan(c.fonts, kIpa);
        ensureSingle(p, kLatin);
        p.rows.push_back(
            Row { .window = large, .fonts = c.fonts, .fontSet = kIpa, .sample = kLatin, .clicks = c.clicks });
    }
    if (options.mechanismFonts > 0) {
        for (const QString& mechanism : kMechanisms) {
            for (const QString& sample : { kLatin, kJapanese }) {
                plan(options.mechanismFonts, kIpa)
                    .rows.push_back(Row { .window = large,
                        .fonts = options.mechanismFonts,
                        .fontSet = kIpa,
                        .sample = sample,
                        .without = mechanism });
            }
        }
    }
    if (options.megabyteFonts > 0) {
        for (const QString& sample : { kMegabyte, kMegabyteLatin })
            plan(options.megabyteFonts, kIpa)
                .rows.push_back(
                    Row { .window = large, .fonts = options.megabyteFonts, .fontSet = kIpa, .sample = sample });
    }
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
