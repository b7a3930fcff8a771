#include "options.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

namespace bench
{

void progress(const QString& line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
    std::fflush(stderr);
}

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

namespace
{

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

} // namespace

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
    const QCommandLineOption mechanisms(QStringLiteral("mechanism-fonts"),
        QStringLiteral("Fonts at which each mechanism of the view is switched off alone; 0 for none."),
        QStringLiteral("n"), QStringLiteral("0"));
    const QCommandLineOption fontSets(QStringLiteral("font-sets"),
        QStringLiteral("Comma-separated sets compared with the IPA one: no-japanese, noto-cjk; empty for none."),
        QStringLiteral("list"), QStringLiteral("no-japanese,noto-cjk"));
    const QCommandLineOption fontSetFonts(QStringLiteral("font-set-fonts"),
        QStringLiteral("Font count for that comparison."), QStringLiteral("n"), QStringLiteral("5000"));
    const QCommandLineOption notoCjk(QStringLiteral("noto-cjk"),
        QStringLiteral("The Noto Sans CJK file, when not installed under /usr/share/fonts."), QStringLiteral("file"));
    const QCommandLineOption budget(QStringLiteral("reference-budget"),
        QStringLiteral("Seconds a run with a mechanism off may take."), QStringLiteral("s"), QStringLiteral("20"));
    const QCommandLineOption configBudget(QStringLiteral("config-budget"),
        QStringLiteral("Seconds after which a configuration starts no more runs."), QStringLiteral("s"),
        QStringLiteral("30"));
    const QCommandLineOption markdown(
        QStringLiteral("markdown"), QStringLiteral("Also write the tables to a file."), QStringLiteral("file"));
    parser.addOptions({ runs, counts, platforms, windows, clicks, interval, megabyte, mechanisms, fontSets,
        fontSetFonts, notoCjk, budget, configBudget, markdown });
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
    options.mechanismFonts = std::max(0, parser.value(mechanisms).toInt());
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

} // namespace bench
