#pragma once

// The glyph fallback: which characters of a run its font cannot draw, and
// which installed family draws them instead, before Qt goes looking (Qt 6.4
// checks every candidate fontconfig offers against every family it knows,
// most of a second per font and script on a desktop with thousands of
// fonts). Widget-free: it reads the text and the desktop's font coverage.

#include "base/font_coverage.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace view
{

// A stretch of a run that another family draws: a stand-in.
struct StandInRun {
    qint32 from;
    qint32 to;
    // Empty where no installed font has these characters: they are drawn as
    // missing glyphs, all by one font, so that no font is loaded per entry.
    QString family;

    bool operator==(const StandInRun&) const = default;
};

// The stretches of text[from, to) that `font` does not draw itself, in order,
// and who draws them among the fonts of `coverage`.
// Line breaks and other controls are drawn by no font and belong to none.
// Qt shapes a space or a bracket in its neighbours' script (the one before
// it, or at the start of a paragraph the one after) and loads a font without
// English once for each script it is shaped in; such a character beside
// glyphs drawn elsewhere goes with them, where their family has it.
std::vector<StandInRun> standInRuns(glimra::GlyphCoverage& coverage, const glimra::GlyphCoverage::Family& font,
    QStringView text, qint32 from, qint32 to);

} // namespace view
