#pragma once

// The preview view read back in the program's terms, for tests: each
// character's format as the program set it, the family that draws it, and
// where a program position lies in the document.

#include "../view/format_properties.h"
#include "../view/position_map.h"
#include "../view/rich_text_box.h"
#include "base/constants.h"

#include <QTextBlock>
#include <QTextDocument>

#include <optional>

namespace view
{

// One character's format as the program sees it.
struct CharFormat {
    QString fontName;
    double pointSize = 0;
    int weight = 0; // 400 regular, 700 bold
    bool italic = false;
    std::optional<glimra::Colour> colour; // empty: the view's default text colour
    int property17 = 0; // 0 where never set

    bool bold() const { return weight >= 700; }
    bool operator==(const CharFormat&) const = default;
};

// The format every character takes when the text is set.
inline CharFormat defaultCharFormat()
{
    CharFormat f;
    f.fontName = glimra::kLabelFontName;
    f.pointSize = glimra::kLabelFontSize;
    f.weight = glimra::kLabelFontWeight;
    return f;
}

inline PositionMap positionsOf(const RichTextBox& box)
{
    PositionMap map;
    map.assign(box.text());
    return map;
}

// The document position a program position maps to.
inline int documentPosition(const RichTextBox& box, qint32 position)
{
    return positionsOf(box).documentPosition(position);
}

// The document's format of the character at a program position; a line
// break's is that of the paragraph separator it became.
inline QTextCharFormat documentFormatAt(const RichTextBox& box, qint32 position)
{
    return documentFormatAt(*box.document(), positionsOf(box), position);
}

// The family the character is drawn with, which may stand in for the name
// the program set.
inline QString drawnFamilyAt(const RichTextBox& box, qint32 position)
{
    return documentFormatAt(box, position).fontFamilies().toStringList().value(0);
}

inline CharFormat charFormatAt(const RichTextBox& box, qint32 position)
{
    using namespace detail;
    const QTextCharFormat f = documentFormatAt(box, position);
    if (!f.isValid() || f.properties().isEmpty())
        return {};
    CharFormat out;
    out.fontName = f.hasProperty(kFamilyKeyProperty) ? f.stringProperty(kFamilyKeyProperty)
                                                     : f.fontFamilies().toStringList().value(0);
    out.pointSize = f.fontPointSize();
    out.weight = f.fontWeight();
    out.italic = f.fontItalic();
    if (f.hasProperty(QTextFormat::ForegroundBrush)) {
        const QColor c = f.foreground().color();
        out.colour = glimra::Colour(c.red() | c.green() << 8 | c.blue() << 16);
    }
    out.property17 = f.intProperty(kProperty17);
    return out;
}

// What the program set and the view keeps for itself.
struct ViewReader {
    static qint32 selStart(const RichTextBox& box) { return box.m_selection.start; }
    static qint32 selLength(const RichTextBox& box) { return box.m_selection.length; }
    static glimra::Colour backColour(const RichTextBox& box) { return box.m_backColour; }
};

} // namespace view
