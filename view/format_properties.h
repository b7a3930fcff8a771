#pragma once

// The view's own character-format properties, shared by its source files.

#include <QTextBlock>
#include <QTextFormat>

namespace view::detail
{

inline constexpr int kProperty17 = QTextFormat::UserProperty + 17;
// The font name as the program set it. The family Qt draws with may differ:
// a generic name resolved, or a fallback for glyphs the font lacks. Qt also
// hashes a format's family list by its type alone, so the formats of
// thousands of fonts would share one hash bucket and every lookup walk them
// all; the name as a plain string hashes by value and keeps them apart.
inline constexpr int kFamilyKeyProperty = QTextFormat::UserProperty + 3;
// Set on the characters another font draws because the one the program set
// lacks them; the view tints them (stand_in_tint.h).
inline constexpr int kStandInProperty = QTextFormat::UserProperty + 4;

// The format every character takes when the text is set, drawn with the
// label font's stand-in.
const QTextCharFormat& defaultFormat();
// Makes the label font's name find its stand-in in Qt's font lookup.
void substituteLabelFont();

// The format of the paragraph separator that ends `block`: Qt keeps it as
// the next block's char format. Empty for the document's last block.
inline QTextCharFormat separatorFormat(const QTextBlock& block) { return block.next().charFormat(); }

} // namespace view::detail
