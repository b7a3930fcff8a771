#include "driver.h"

#include "bench.h"
#include "clock.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

using namespace bench;

namespace
{

// make_fonts.py --japanese adds the two IPA gothic families to the ones it
// generates; a desktop of N fonts is N - 2 generated ones and these.
constexpr int kIpaFamilies = 2;
constexpr int kChildTimeoutMs = 180'000;
constexpr int kXvfbReadyMs = 15'000;
constexpr double kKiBPerMB = 1024.0;

// The goals for 5,000 fonts and for start-up.
constexpr int kTargetFonts = 5000;
constexpr double kTargetClickLatinMs = 400;
constexpr double kTargetClickJapaneseMs = 1000;
constexpr double kTargetGapMs = 50;
constexpr double kTargetScrollMs = 150;
constexpr double kTargetRssMB = 100;
constexpr double kTargetStartMs = 100;

void progress(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

struct Options {
    int runs = 5;
    QList<int> counts { 241, 1000, 5000 };
    QStringList platforms { QStringLiteral("offscreen"), QStringLiteral("xcb") };
    // A reference run that takes longer is ended and shown as "> budget".
    int referenceBudgetS = 20;
    // Once the runs of one configuration have taken this long, no more are
    // started: slow configurations get fewer runs.
    int configBudgetS = 30;
    QString markdownPath;
};

std::optional<Options> parseOptions(const QCoreApplication& app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Times glimra's Show button on generated font sets."));
    parser.addHelpOption();
    const QCommandLineOption runs(
        QStringLiteral("runs"), QStringLiteral("Runs per configuration."), QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption counts(QStringLiteral("fonts"), QStringLiteral("Comma-separated font counts."),
        QStringLiteral("list"), QStringLiteral("241,1000,5000"));
    const QCommandLineOption platforms(QStringLiteral("platforms"),
        QStringLiteral("Comma-separated Qt platforms: offscreen, xcb (on a private Xvfb)."), QStringLiteral("list"),
        QStringLiteral("offscreen,xcb"));
    const QCommandLineOption budget(QStringLiteral("reference-budget"),
        QStringLiteral("Seconds a reference run may take."), QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption configBudget(QStringLiteral("config-budget"),
        QStringLiteral("Seconds after which a configuration starts no more runs."), QStringLiteral("s"),
        QStringLiteral("30"));
    const QCommandLineOption markdown(
        QStringLiteral("markdown"), QStringLiteral("Also write the tables to a file."), QStringLiteral("file"));
    parser.addOptions({ runs, counts, platforms, budget, configBudget, markdown });
    parser.process(app);

    Options options;
    options.runs = std::max(1, parser.value(runs).toInt());
    options.counts.clear();
    for (const QString& c : parser.value(counts).split(u',', Qt::SkipEmptyParts)) {
        const int n = c.toInt();
        if (n < kIpaFamilies) {
            progress(QStringLiteral("font counts start at %1").arg(kIpaFamilies));
            return std::nullopt;
        }
        options.counts << n;
    }
    options.platforms = parser.value(platforms).split(u',', Qt::SkipEmptyParts);
    options.referenceBudgetS = std::max(1, parser.value(budget).toInt());
    options.configBudgetS = std::max(1, parser.value(configBudget).toInt());
    options.markdownPath = parser.value(markdown);
    return options;
}

// The X server's pid, for ending it when the driver is interrupted.
volatile sig_atomic_t g_xvfbPid = 0;

void endXvfbAndExit(int signal)
{
    if (g_xvfbPid > 0)
        kill(pid_t(g_xvfbPid), SIGTERM);
    _exit(128 + signal);
}

// A private X server on a display it picks itself, ended by its pid.
class Xvfb
{
public:
    Xvfb() = default;
    Xvfb(const Xvfb&) = delete;
    Xvfb& operator=(const Xvfb&) = delete;
    ~Xvfb() { stop(); }

    bool start();
    QString display() const { return QStringLiteral(":%1").arg(m_display); }
    void stop()
    {
        if (m_pid > 0) {
            g_xvfbPid = 0;
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
            m_pid = 0;
        }
    }

private:
    pid_t m_pid = 0;
    int m_display = -1;
};

bool Xvfb::start()
{
    constexpr int kDisplayFd = 3;
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (fds[1] == kDisplayFd)
        fcntl(fds[1], F_SETFD, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, fds[1], kDisplayFd); // the copy is kept across exec
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::vector<std::string> args { "Xvfb", "-displayfd", std::to_string(kDisplayFd), "-screen", "0", "1280x1024x24",
        "-nolisten", "tcp" };
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const int spawned = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (spawned != 0) {
        m_pid = 0;
        close(fds[0]);
        return false;
    }
    // Xvfb writes its display number once it accepts connections.
    QByteArray number;
    const qint64 deadline = nowNs() + qint64(kXvfbReadyMs) * 1'000'000;
    while (!number.contains('\n')) {
        pollfd p { fds[0], POLLIN, 0 };
        const int left = int((deadline - nowNs()) / 1'000'000);
        if (left <= 0 || poll(&p, 1, left) <= 0)
            break;
        char buffer[32];
        const ssize_t got = read(fds[0], buffer, sizeof buffer);
        if (got <= 0)
            break;
        number.append(buffer, got);
    }
    close(fds[0]);
    g_xvfbPid = m_pid;
    bool ok = false;
    m_display = number.trimmed().toInt(&ok);
    if (!ok) {
        stop();
        return false;
    }
    return true;
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

struct Row {
    QString platform;
    int fonts = 0;
    QString sampleName;
    Series ours;
    Series reference;
};

struct StartRow {
    QString platform;
    int fonts = 0;
    Series start;
};

QString sampleLabel(const QString& name)
{
    return name == QLatin1String("japanese") ? QStringLiteral("サンプル SAMPLE") : QStringLiteral("SAMPLE");
}

QString displayLabel(const QString& platform)
{
    return platform == QLatin1String("xcb") ? QStringLiteral("Xvfb (xcb)") : platform;
}

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
    Report(const Options& options)
        : m_options(options)
    {
    }

    QList<Row> rows;
    QList<StartRow> starts;

    QString markdown() const;

private:
    QString referenceCell(const Row& row, const QString& name, bool memory) const;
    QString ratioCell(const Row& row, const QString& name) const;
    QString targets() const;
    const Row* find(const QString& platform, int fonts, const QString& sample) const;

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
    const double ratio = ref->median / ours->median;
    return QStringLiteral("×%1").arg(ratio, 0, 'f', ratio < 10 ? 1 : 0);
}

const Row* Report::find(const QString& platform, int fonts, const QString& sample) const
{
    for (const Row& row : rows) {
        if (row.platform == platform && row.fonts == fonts && row.sampleName == sample)
            return &row;
    }
    return nullptr;
}

QString Report::targets() const
{
    QString out;
    const auto line = [&](const QString& what, const std::optional<Stat>& s, double limit, bool memory) {
        if (!s)
            return;
        const double median = memory ? s->median / kKiBPerMB : s->median;
        const double worst = memory ? s->max / kKiBPerMB : s->max;
        const QString mark = median <= limit
            ? (worst <= limit ? QStringLiteral("met") : QStringLiteral("met by the median, not by every run"))
            : QStringLiteral("**missed**");
        out += QStringLiteral("- %1: %2 against %3 — %4\n")
                   .arg(what, memory ? memoryCell(s) : timeCell(s),
                       memory ? QStringLiteral("%1 MB").arg(limit) : QStringLiteral("%1 ms").arg(limit), mark);
    };
    for (const QString& platform : m_options.platforms) {
        const QString d = displayLabel(platform);
        if (const Row* latin = find(platform, kTargetFonts, QStringLiteral("latin"))) {
            line(QStringLiteral("%1, 5,000 fonts, SAMPLE, click → painted").arg(d),
                statOf(latin->ours, key::clickToPainted), kTargetClickLatinMs, false);
            line(QStringLiteral("%1, 5,000 fonts, SAMPLE, worst event-loop gap").arg(d),
                statOf(latin->ours, key::worstGap), kTargetGapMs, false);
            line(QStringLiteral("%1, 5,000 fonts, SAMPLE, scroll to end").arg(d),
                statOf(latin->ours, key::scrollToPainted), kTargetScrollMs, false);
            line(QStringLiteral("%1, 5,000 fonts, SAMPLE, peak RSS").arg(d), statOf(latin->ours, key::maxRssKb),
                kTargetRssMB, true);
        }
        if (const Row* japanese = find(platform, kTargetFonts, QStringLiteral("japanese")))
            line(QStringLiteral("%1, 5,000 fonts, サンプル SAMPLE, click → painted").arg(d),
                statOf(japanese->ours, key::clickToPainted), kTargetClickJapaneseMs, false);
        for (const StartRow& start : starts) {
            if (start.platform == platform)
                line(QStringLiteral("%1, %2 fonts, start → first paint").arg(d).arg(start.fonts),
                    statOf(start.start, key::startToPaint), kTargetStartMs, false);
        }
    }
    return out;
}

QString Report::markdown() const
{
    QString out;
    out += QStringLiteral("Median of %1 runs, min–max in brackets, each run a fresh process. A configuration "
                          "starts no new run after %2 s, so slow ones show \"(1 run)\" or \"n runs\".\n\n")
               .arg(m_options.runs)
               .arg(m_options.configBudgetS);
    out += QStringLiteral(
        "| Display | Fonts | Sample | Click → painted | Worst event-loop gap | Scroll to end | Peak RSS |\n");
    out += QStringLiteral("|---|---:|---|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |\n")
                   .arg(displayLabel(r.platform), QLocale::c().toString(r.fonts), sampleLabel(r.sampleName),
                       timeCell(statOf(r.ours, key::clickToPainted)), timeCell(statOf(r.ours, key::worstGap)),
                       timeCell(statOf(r.ours, key::scrollToPainted)), memoryCell(statOf(r.ours, key::maxRssKb)));
    }

    out += QStringLiteral("\nStart → first paint of the window (no click; the view is empty):\n\n");
    out += QStringLiteral("| Display | Fonts | Start → first paint | Peak RSS |\n|---|---:|---:|---:|\n");
    for (const StartRow& s : starts) {
        out += QStringLiteral("| %1 | %2 | %3 | %4 |\n")
                   .arg(displayLabel(s.platform), QLocale::c().toString(s.fonts),
                       timeCell(statOf(s.start, key::startToPaint)), memoryCell(statOf(s.start, key::maxRssKb)));
    }

    out += QStringLiteral("\nAgainst the reference view (every assignment rebuilds the document, layout runs while "
                          "hidden), run alternately with ours in separate processes; ratio = reference ÷ ours. A "
                          "reference run is stopped after %1 s:\n\n")
               .arg(m_options.referenceBudgetS);
    out += QStringLiteral("| Display | Fonts | Sample | Click → painted, reference | ratio | Worst gap, reference | "
                          "ratio | Scroll, reference | ratio | Peak RSS, reference | ratio |\n");
    out += QStringLiteral("|---|---:|---|---:|---:|---:|---:|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 | %10 | %11 |\n")
                   .arg(displayLabel(r.platform), QLocale::c().toString(r.fonts), sampleLabel(r.sampleName),
                       referenceCell(r, key::clickToPainted, false), ratioCell(r, key::clickToPainted),
                       referenceCell(r, key::worstGap, false), ratioCell(r, key::worstGap),
                       referenceCell(r, key::scrollToPainted, false), ratioCell(r, key::scrollToPainted))
                   .arg(referenceCell(r, key::maxRssKb, true), ratioCell(r, key::maxRssKb));
    }

    out += QStringLiteral("\nWhere the click's time goes (ours, medians): text pass = click → first yield; "
                          "formatting pass = first → last yield; finish = last yield → painted.\n\n");
    out += QStringLiteral("| Display | Fonts | Sample | Text pass | Formatting pass | Finish and paint | Yields |\n");
    out += QStringLiteral("|---|---:|---|---:|---:|---:|---:|\n");
    for (const Row& r : rows) {
        const auto yields = statOf(r.ours, key::turns);
        out += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 |\n")
                   .arg(displayLabel(r.platform), QLocale::c().toString(r.fonts), sampleLabel(r.sampleName),
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

bool makeFonts(const QString& dir, int generated)
{
    QProcess python;
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QStringLiteral("/usr/bin/python3"),
        { QStringLiteral(GLIMRA_SOURCE_DIR "/tools/make_fonts.py"), dir, QString::number(generated),
            QStringLiteral("--japanese") });
    return python.waitForFinished(kChildTimeoutMs) && python.exitStatus() == QProcess::NormalExit
        && python.exitCode() == 0;
}

QString lastFigure(const Series& series, const QString& name)
{
    if (series.runs.isEmpty())
        return QStringLiteral("—");
    return QString::number(series.runs.constLast().value(name), 'f', 1);
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
    std::signal(SIGINT, endXvfbAndExit);
    std::signal(SIGTERM, endXvfbAndExit);
    QStringList platforms;
    for (const QString& p : options.platforms) {
        if (p == QLatin1String("xcb") && !xvfb.start()) {
            progress(QStringLiteral("Xvfb did not start; the xcb runs are left out"));
            continue;
        }
        platforms << p;
    }
    Options effective = options;
    effective.platforms = platforms;
    Report report(effective);
    const qint64 began = nowNs();

    for (const int count : options.counts) {
        // Qt lists the IPA families and the desktop's generic names (Serif,
        // Sans Serif, Monospace) beside the generated ones; the first try
        // shows how many, the second makes the list exactly `count` long.
        std::unique_ptr<QTemporaryDir> dir;
        int generated = count - kIpaFamilies;
        int seen = 0;
        for (int attempt = 0; attempt < 2 && seen != count; ++attempt) {
            dir = std::make_unique<QTemporaryDir>();
            if (!dir->isValid() || generated < 1 || !makeFonts(dir->path(), generated)) {
                progress(QStringLiteral("could not generate %1 fonts").arg(generated));
                return 1;
            }
            // A few tries: now and then an offscreen window never gets its
            // first paint, and that run is dropped like any failed one.
            Series probe;
            for (int tries = 0; tries < 3 && probe.runs.isEmpty(); ++tries)
                runOnce(childEnvironment(dir->filePath(QStringLiteral("fonts.conf")), QStringLiteral("offscreen"), {}),
                    { QStringLiteral("--mode"), QStringLiteral("start") }, kChildTimeoutMs, probe);
            if (probe.runs.isEmpty()) {
                progress(QStringLiteral("the window does not start on %1 generated fonts").arg(generated));
                return 1;
            }
            seen = int(probe.runs.constFirst().value(key::fonts));
            generated -= seen - count;
        }
        if (seen != count)
            progress(QStringLiteral("note: asked for %1 fonts, Qt lists %2").arg(count).arg(seen));
        progress(QStringLiteral("%1 fonts: %2 generated, the rest the IPA gothics and Qt's generic names")
                     .arg(seen)
                     .arg(generated + seen - count));
        const QString conf = dir->filePath(QStringLiteral("fonts.conf"));
        for (const QString& platform : platforms) {
            const QProcessEnvironment env
                = childEnvironment(conf, platform, platform == QLatin1String("xcb") ? xvfb.display() : QString());
            // Not timed: the first process on a platform pays for cold caches.
            Series warm;
            runOnce(env, { QStringLiteral("--mode"), QStringLiteral("start") }, kChildTimeoutMs, warm);

            StartRow start { platform, seen, {} };
            for (int r = 0; r < options.runs; ++r)
                runOnce(env, { QStringLiteral("--mode"), QStringLiteral("start") }, kChildTimeoutMs, start.start);
            progress(QStringLiteral("[%1 %2] start → first paint %3")
                         .arg(platform)
                         .arg(seen)
                         .arg(timeCell(statOf(start.start, key::startToPaint))));
            report.starts << start;

            for (const QString& sample : { QStringLiteral("latin"), QStringLiteral("japanese") }) {
                Row row { platform, seen, sample, {}, {} };
                const QStringList common { QStringLiteral("--mode"), QStringLiteral("build"),
                    QStringLiteral("--sample"), sample };
                const double budgetMs = options.configBudgetS * 1000.0;
                bool referenceGoes = true;
                for (int r = 0; r < options.runs; ++r) {
                    const bool oursGoes = r == 0 || row.ours.spentMs < budgetMs;
                    referenceGoes = referenceGoes && (r == 0 || row.reference.spentMs < budgetMs);
                    if (!oursGoes && !referenceGoes)
                        break;
                    if (oursGoes)
                        runOnce(env, common + QStringList { QStringLiteral("--view"), QStringLiteral("ours") },
                            kChildTimeoutMs, row.ours);
                    QString referenceNote;
                    if (referenceGoes) {
                        const Outcome o = runOnce(env,
                            common + QStringList { QStringLiteral("--view"), QStringLiteral("reference") },
                            options.referenceBudgetS * 1000, row.reference);
                        // One run over the budget says enough.
                        referenceGoes = o != Outcome::TimedOut;
                        referenceNote = o == Outcome::TimedOut
                            ? QStringLiteral("> %1 s").arg(options.referenceBudgetS)
                            : lastFigure(row.reference, key::clickToPainted) + QStringLiteral(" ms");
                    }
                    progress(
                        QStringLiteral("[%1 %2 %3] run %4/%5: ours %6 ms%7")
                            .arg(platform)
                            .arg(seen)
                            .arg(sample)
                            .arg(r + 1)
                            .arg(options.runs)
                            .arg(oursGoes ? lastFigure(row.ours, key::clickToPainted) : QStringLiteral("(done)"))
                            .arg(referenceNote.isEmpty() ? QString() : QStringLiteral(", reference ") + referenceNote));
                }
                report.rows << row;
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
