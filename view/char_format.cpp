// Reading formats back: what a character has, and whether a range has a
// format already.

#include "format_properties.h"
#include "rich_text_box.h"

#include "base/colour_value.h"

#include <QTextBlock>
#include <QTextDocument>

namespace view
{

using namespace detail;

namespace
{

    bool isLineBreak(QChar c) { return c == u'\r' || c == u'\n'; }

} // namespace

bool RichTextBox::rangeHasFormat(const QTextCharFormat& format, int from, int to) const
{
    const QMap<int, QVariant> wanted = format.properties();
    const auto has = [&](const QTextCharFormat& f) {
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            if (f.property(it.key()) != it.value())
                return false;
        }
        return true;
    };
    QTextBlock block = document()->findBlock(from);
    // A sample's runs are checked from left to right, so a check starts
    // where the last one ended when nothing changed in between: a block of
    // a 1 MiB sample holds tens of thousands of fragments.
    QTextBlock::iterator it = block.begin();
    if (m_scan.changes == m_changes && m_scan.block == block && !m_scan.fragment.atEnd()
        && m_scan.fragment.fragment().position() <= from)
        it = m_scan.fragment;
    for (; block.isValid() && block.position() < to; block = block.next(), it = block.begin()) {
        for (; !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() >= to)
                break;
            if (fragment.position() + fragment.length() <= from)
                continue;
            m_scan = { block, it, m_changes };
            if (!has(fragment.charFormat()))
                return false;
        }
        // The paragraph separator that ends the block carries the next
        // block's char format.
        const int separator = block.position() + block.length() - 1;
        if (separator >= from && separator < to && block.next().isValid() && !has(block.next().charFormat()))
            return false;
    }
    return true;
}

QTextCharFormat RichTextBox::documentFormatAt(qint32 position) const
{
    syncFromDocument();
    if (position < 0 || position >= m_map.length())
        return {};
    const qint32 p = m_map.characterStart(position);
    const int d = documentPosition(p);
    const QTextBlock block = document()->findBlock(d);
    if (isLineBreak(m_map.text().at(p)) || d == block.position() + block.length() - 1) {
        // A paragraph separator: its format is the next block's char format.
        return block.next().charFormat();
    }
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (d >= frag.position() && d < frag.position() + frag.length())
            return frag.charFormat();
    }
    return {};
}

QString RichTextBox::drawnFamilyAt(qint32 position) const
{
    return documentFormatAt(position).fontFamilies().toStringList().value(0);
}

CharFormat RichTextBox::charFormatAt(qint32 position) const
{
    const QTextCharFormat f = documentFormatAt(position);
    if (!f.isValid() || f.properties().isEmpty())
        return {};
    CharFormat out;
    out.fontName = f.hasProperty(kFamilyKeyProperty) ? f.stringProperty(kFamilyKeyProperty)
                                                     : f.fontFamilies().toStringList().value(0);
    out.pointSize = f.fontPointSize();
    out.weight = f.fontWeight();
    out.italic = f.fontItalic();
    if (f.hasProperty(kColourProperty))
        out.colour = glimra::Colour(f.property(kColourProperty).toUInt());
    out.property17 = f.intProperty(kProperty17);
    out.charset = f.intProperty(kCharsetProperty);
    return out;
}

CharFormat RichTextBox::defaultCharFormat()
{
    CharFormat f;
    f.fontName = glimra::kLabelFontName;
    f.pointSize = glimra::kLabelFontSize;
    f.weight = glimra::kLabelFontWeight;
    f.charset = glimra::kLabelFontCharset;
    return f;
}

} // namespace view
