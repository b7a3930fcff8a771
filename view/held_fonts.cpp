#include "held_fonts.h"

#include <QGlyphRun>

#include <algorithm>

namespace view
{

void HeldFonts::hold(const QTextLayout& layout, int first, int last)
{
    // Line by line: the runs of the whole layout are merged across its
    // lines, which for a long sample costs the square of its length.
    for (int i = std::max(0, first); i < std::min(last, layout.lineCount()); ++i) {
        for (const QGlyphRun& run : layout.lineAt(i).glyphRuns()) {
            const QRawFont font = run.rawFont();
            if (std::find(m_fonts.begin(), m_fonts.end(), font) == m_fonts.end())
                m_fonts.push_back(font);
        }
    }
}

} // namespace view
