#pragma once

// The tool tip of a preview entry: its font's name and what of the sample
// that font lacks, which the glyph fallback draws in another font, in grey.
// Widget-free: it reads a document and the desktop's font coverage; the
// view shows it (EntryTips, entry_tips.h). Worked out only when asked for.

#include "base/font_coverage.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class QTextDocument;

namespace view
{

// The characters a font lacks of a sample, as the glyph fallback reckons
// them. White space and line breaks are no one's to lack.
struct Lack {
    int count = 0; // distinct characters
    QStringList first; // the first of them, in the order they come
    bool more = false; // more than `first` holds
    QStringList standIns; // the families that draw them, in order
    int inNoFont = 0; // how many of them no installed font has
};

// How many lacked characters a tip lists, and how many stand-in families.
inline constexpr int kTipCharacters = 20;
inline constexpr int kTipFamilies = 6;

Lack lackOf(const glimra::FontCoverage::Family& font, QStringView sample);

// An entry of the view as it is now: the font its sample was set in, and
// that sample with the user's edits, its lines joined by LF.
struct Entry {
    QString fontName;
    QString sample;
    // Document positions of the entry's first character and past its name.
    int from = 0;
    int to = 0;
};

// The entry whose sample or name label holds the document position.
std::optional<Entry> entryAt(const QTextDocument& document, int position);

// The tip's text, plain, one statement a line.
QString entryTipText(const QString& fontName, QStringView sample);

} // namespace view
