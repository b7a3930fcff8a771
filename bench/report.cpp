#include "report.h"

#include <QFile>
#include <QLocale>
#include <QSysInfo>

#include <algorithm>

namespace bench
{

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

QString sampleLabel(const QString& name)
{
    if (name == kMegabyte)
        return QStringLiteral("1 MiB of サンプル SAMPLE");
    if (name == kMegabyteLatin)
        return QStringLiteral("1 MiB of SAMPLE");
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
            && row.clicks == clicks && row.fontSet == fontSet && row.without.isEmpty() && !row.settled)
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

QString Report::markdown() const
{
    QString out;
    out += QStringLiteral("Median of %1 runs, min–max in brackets, each run a fresh process. A configuration "
                          "starts no new run after %2 s, so slow ones show \"(1 run)\" or \"n runs\". Generated "
                          "fonts beside the two IPA gothics unless a row says otherwise.\n\n")
               .arg(m_options.runs)
               .arg(m_options.configBudgetS);
    const auto single = [](const Row& r) {
        return r.clicks == 1 && r.fontSet == kIpa && !isMegabyte(r.sample) && r.without.isEmpty() && !r.settled;
    };
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
        if (!isMegabyte(r.sample))
            continue;
        const auto units = statOf(r.ours, key::textUnits);
        const auto rss = statOf(r.ours, key::maxRssKb);
        megabyte += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |")
                        .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), sampleLabel(r.sample),
                            timeCell(statOf(r.ours, key::clickToPainted)), timeCell(statOf(r.ours, key::worstGap)),
                            memoryCell(rss),
                            units ? QStringLiteral("%1 MB").arg(units->median * 2 / kKiBPerMB / 1024, 0, 'f', 0)
                                  : QStringLiteral("—"),
                            units && rss ? ratioOf(rss->median * 1024, units->median * 2) : QStringLiteral("—"))
            + QStringLiteral(" %1 |\n").arg(timeCell(statOf(r.ours, key::tip)));
    }
    if (!megabyte.isEmpty()) {
        out += QStringLiteral("\nA 1 MiB sample (a sample and a space, over and over):\n\n");
        out += QStringLiteral(
            "| Display | Window | Fonts | Sample | Click → painted | Worst gap | Peak RSS | Preview "
            "text, UTF-16 | RSS ÷ text | An entry's tip |\n|---|---|---:|---|---:|---:|---:|---:|---:|---:|\n");
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

    QString mechanisms;
    for (const Row& r : rows) {
        if (r.without.isEmpty())
            continue;
        mechanisms
            += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 | %7 | %8 | %9 |\n")
                   .arg(displayLabel(r.platform), count(r.fonts), sampleLabel(r.sample), r.without,
                       timeCell(statOf(r.ours, key::clickToPainted)), ratioCell(r, key::clickToPainted),
                       ratioCell(r, key::worstGap), ratioCell(r, key::scrollToPainted), ratioCell(r, key::maxRssKb));
    }
    QString settled;
    for (const Row& r : rows) {
        if (!r.settled)
            continue;
        const Row* now = find(r.platform, r.window, r.fonts, r.sample);
        settled += QStringLiteral("| %1 | %2 | %3 | %4 | %5 | %6 |\n")
                       .arg(displayLabel(r.platform), windowLabel(r.window), count(r.fonts), sampleLabel(r.sample),
                           now ? timeCell(statOf(now->ours, key::scrollToPainted)) : QStringLiteral("—"),
                           timeCell(statOf(r.ours, key::scrollToPainted)));
    }
    if (!settled.isEmpty()) {
        out += QStringLiteral("\nScroll to the end right after the paint, and once the view has laid out its last "
                              "page between events:\n\n| Display | Window | Fonts | Sample | Right after | Once laid "
                              "out |\n|---|---|---:|---|---:|---:|\n");
        out += settled;
    }
    if (!mechanisms.isEmpty()) {
        out += QStringLiteral("\nEach mechanism of the view switched off alone, run alternately with all on; ratio = "
                              "off ÷ on, so above 1 the mechanism pays:\n\n");
        out += QStringLiteral(
            "| Display | Fonts | Sample | Off | Click → painted, all on | ratio | Worst gap ratio "
            "| Scroll to end ratio | Peak RSS ratio |\n|---|---:|---|---|---:|---:|---:|---:|---:|\n");
        out += mechanisms;
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
    return out;
}

} // namespace bench
