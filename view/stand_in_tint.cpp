#include "stand_in_tint.h"

#include "format_properties.h"

#include <QTextLayout>

namespace view
{

using namespace detail;

QColor halfway(const QColor& a, const QColor& b)
{
    return QColor((a.red() + b.red() + 1) / 2, (a.green() + b.green() + 1) / 2, (a.blue() + b.blue() + 1) / 2);
}

void tintStandIns(const QTextBlock& block, const QColor& text, const QColor& background)
{
    QList<QTextLayout::FormatRange> tints;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        const QTextCharFormat format = fragment.charFormat();
        if (!format.boolProperty(kStandInProperty))
            continue;
        const QColor own = format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color() : text;
        QTextCharFormat tint;
        tint.setForeground(halfway(own, background));
        const int start = fragment.position() - block.position();
        if (!tints.isEmpty() && tints.last().start + tints.last().length == start && tints.last().format == tint)
            tints.last().length += fragment.length();
        else
            tints.append({ start, fragment.length(), tint });
    }
    QTextLayout* layout = block.layout();
    if (layout && layout->formats() != tints)
        layout->setFormats(tints);
}

} // namespace view
