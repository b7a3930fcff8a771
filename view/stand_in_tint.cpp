#include "stand_in_tint.h"

#include "format_properties.h"

#include <QAbstractTextDocumentLayout>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace view
{

using namespace detail;

QColor halfway(const QColor& a, const QColor& b)
{
    return QColor((a.red() + b.red() + 1) / 2, (a.green() + b.green() + 1) / 2, (a.blue() + b.blue() + 1) / 2);
}

namespace
{

    // The code units of a block that lie in sight, counted from its start; a
    // long block is laid out to find them.
    std::pair<int, int> inSight(const QTextBlock& block, qreal top, const QRect& sight)
    {
        if (block.length() <= kTintStretch)
            return { 0, block.length() };
        block.document()->documentLayout()->blockBoundingRect(block);
        const QTextLayout* layout = block.layout();
        int from = block.length();
        int to = 0;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            if (top + line.y() + line.height() >= sight.top() && top + line.y() <= sight.bottom()) {
                from = std::min(from, line.textStart());
                to = std::max(to, line.textStart() + line.textLength());
            }
        }
        return { from, std::max(from, to) };
    }

} // namespace

void tintStandIns(const QTextBlock& block, const QColor& text, const QColor& background, qreal top, const QRect& sight)
{
    const auto [from, to] = inSight(block, top, sight);
    // Whole stretches, so that scrolling within them keeps the layout.
    const int first = std::max(0, from / kTintStretch - 1) * kTintStretch;
    const int last = (std::max(from, to - 1) / kTintStretch + 2) * kTintStretch;
    QList<QTextLayout::FormatRange> tints;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const int at = fragment.position() - block.position();
        if (at >= last)
            break;
        if (at + fragment.length() <= first)
            continue;
        const QTextCharFormat format = fragment.charFormat();
        if (!format.boolProperty(kStandInProperty))
            continue;
        const QColor own = format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : text;
        QTextCharFormat tint;
        tint.setForeground(halfway(own, background));
        if (!tints.isEmpty() && tints.last().start + tints.last().length == at && tints.last().format == tint)
            tints.last().length += fragment.length();
        else
            tints.append({ at, fragment.length(), tint });
    }
    QTextLayout* layout = block.layout();
    if (layout && layout->formats() != tints)
        layout->setFormats(tints);
}

} // namespace view
