#pragma once

// The driver's tables: each configuration's runs, their statistics, and the
// Markdown report with the goals met or missed.

#include "bench.h"
#include "options.h"

#include <QList>
#include <QString>

#include <optional>
#include <vector>

namespace bench
{

struct Series {
    QList<Figures> runs;
    int timedOut = 0;
    int failed = 0;
    double spentMs = 0;
};

struct Stat {
    double median = 0;
    double min = 0;
    double max = 0;
    qsizetype n = 0;
    qsizetype planned = 0;
};

// Runs per configuration, for marking the ones cut short.
inline int g_plannedRuns = 1;

std::optional<Stat> statOf(const Series& series, const QString& name);
QString timeCell(const std::optional<Stat>& s);
QString memoryCell(const std::optional<Stat>& s);
QString ratioOf(double numerator, double denominator);

// One configuration of the build, run by our view and, for a mechanism's
// row, alternately by our view with that mechanism off.
struct Row {
    QString platform = {};
    QString window = {};
    int fonts = 0;
    QString fontSet = {};
    QString sample = {};
    int clicks = 1;
    Series ours = {};
    Series reference = {}; // with the mechanism off
    QString without = {};
    // Scrolled to the end once the last page was laid out, not right after.
    bool settled = false;
};

struct StartRow {
    QString platform;
    QString window;
    int fonts = 0;
    QString fontSet;
    Series start;
};

QString sampleLabel(const QString& name);
QString displayLabel(const QString& platform);
QString windowLabel(const QString& window);
QString count(int n);
QString cpuModel();

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
    QString ratioCell(const Row& row, const QString& name) const;
    const Row* find(const QString& platform, const QString& window, int fonts, const QString& sample, int clicks = 1,
        const QString& fontSet = kIpa) const;
    const StartRow* findStart(
        const QString& platform, const QString& window, int fonts, const QString& fontSet = kIpa) const;

    const Options& m_options;
};

} // namespace bench
