#pragma once

// The driver's command line.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QCoreApplication;

namespace bench
{

inline constexpr int kChildTimeoutMs = 180'000;
inline constexpr double kKiBPerMB = 1024.0;
// make_fonts.py's exit status when the Noto CJK font is not installed.
inline constexpr int kNoNotoCjk = 3;

// The font count the figures in bench/README.md are compared at.
inline constexpr int kTargetFonts = 5000;

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
    // Each mechanism of the view switched off alone, at this font count; 0
    // for none.
    int mechanismFonts = 0;
    // Font sets beside the IPA one, compared with it at one font count.
    QStringList fontSets;
    int fontSetFonts = kTargetFonts;
    QString notoCjk;
    // A run with a mechanism off that takes longer is ended and shown as
    // "> budget".
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

FontSetInfo fontSetInfo(const QString& fontSet);
// What make_fonts.py puts beside the generated families, and how the tables
// name it.
QString besideArgument(const QString& fontSet);
QString fontSetLabel(const QString& fontSet);

inline const QString kIpa = QStringLiteral("ipa");
inline const QString kOpening = QStringLiteral("opening");
inline const QString kMaximized = QStringLiteral("maximized");
inline const QString kLatin = QStringLiteral("latin");
inline const QString kJapanese = QStringLiteral("japanese");
inline const QString kMegabyte = QStringLiteral("megabyte");
inline const QString kMegabyteLatin = QStringLiteral("megabyte-latin");
inline bool isMegabyte(const QString& sample) { return sample == kMegabyte || sample == kMegabyteLatin; }

// One line of progress on stderr.
void progress(const QString& line);

// Empty, after saying why, when the command line makes no sense.
std::optional<Options> parseOptions(const QCoreApplication& app);

} // namespace bench
