#pragma once

// FirstPageFonts: the fonts of the view's first page, loaded while the view
// is hidden, as the build finishes each block.
//
// Showing the view lays out its first page, and would load each font there
// for the first time in one go: each load costs a fontconfig match over every
// installed font. Loaded block by block, the cost falls between the build's
// yields. Qt loads a font once for each script it is shaped in, and the
// script of a space or a bracket is its neighbours', so a block is shaped
// whole, each run in its own font; the fonts shaping loaded are then held
// until the next build, as shaping left them, since a font no one holds is
// soon dropped from Qt's cache and would be matched again when shown.

#include "held_fonts.h"

#include <QTextDocument>

#include <vector>

namespace view
{

class FirstPageFonts
{
public:
    // A new first page, `height` high, its lines `width` wide, of at most
    // `blocks` blocks. Drops the fonts held for the last one.
    void start(int blocks, qreal height, qreal width);
    // Loads the fonts of the finished blocks on the first page not loaded
    // yet: those whose line break, or the text's end, lies before document
    // position `end`.
    void loadBlocksBefore(const QTextDocument& document, int end);
    // No more loading until the next start().
    void stop() { m_loading = false; }

private:
    bool m_loading = false;
    int m_blocks = 0;
    qreal m_height = 0;
    qreal m_width = 0;
    qreal m_filled = 0; // by the blocks loaded so far
    int m_nextBlock = 0;
    HeldFonts m_held;
};

} // namespace view
