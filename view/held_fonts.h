#pragma once

// HeldFonts: the fonts some lines were shaped in, held so that Qt keeps
// them. Qt drops a font from its cache soon after no one holds it
// (QFontCache::decreaseCache), and loading it again costs a fontconfig match
// over every installed font; a glyph run's raw font holds the very font the
// view draws with.

#include <QRawFont>
#include <QTextLayout>

#include <vector>

namespace view
{

class HeldFonts
{
public:
    // Holds the fonts of lines [first, last) of a laid-out layout.
    void hold(const QTextLayout& layout, int first, int last);
    void clear() { m_fonts.clear(); }

private:
    std::vector<QRawFont> m_fonts;
};

} // namespace view
