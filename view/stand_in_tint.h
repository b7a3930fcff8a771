#pragma once

// The tint of the glyphs a stand-in draws. Where an entry's font lacks a
// character, another font draws it (the glyph fallback); so that no one takes
// that glyph for the font's own, it is drawn in a colour halfway between its
// text colour and the view's background. The tint is how the view draws, not
// part of the text: it lives in the blocks' layouts, which copies of the
// document leave out, and is worked out as a block is drawn, from the colours
// it has then (the background comes last in a build).

#include <QColor>
#include <QTextBlock>
#include <QTextCharFormat>

namespace view
{

// Halfway between the two, channel by channel.
QColor halfway(const QColor& a, const QColor& b);

// How many code units of a block get their tint at a time: all of a block
// no longer than this, of a longer one the stretches of this size that hold
// the characters in sight and one more on either side. Qt 6 lays a block out
// in time that grows with the product of its format changes and its
// layout's formats (QTextEngine::itemize walks the layout's formats at each
// change), which for a 1 MiB sample of kana and Latin is seconds a layout.
inline constexpr int kTintStretch = 2048;

// Gives the layout of a block drawn from `top` down the tint of its
// stand-in glyphs in `sight`, drawn on `background`, where a character
// without a colour of its own has `text`. Leaves a layout that has it
// already alone: setting it again would make Qt lay the block out again.
void tintStandIns(const QTextBlock& block, const QColor& text, const QColor& background, qreal top, const QRect& sight);

} // namespace view
