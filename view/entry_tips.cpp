#include "entry_tips.h"

#include "entry_tip.h"

#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QTextLayout>
#include <QToolTip>

namespace view
{

EntryTips::EntryTips(QPlainTextEdit* view, Geometry geometry)
    : QObject(view)
    , m_view(view)
    , m_viewport(view->viewport())
    , m_geometry(std::move(geometry))
{
    m_viewport->installEventFilter(this);
}

std::optional<EntryTips::Line> EntryTips::lineAt(const QPoint& point) const
{
    const int bottom = m_viewport->height();
    for (QTextBlock block = m_geometry.firstVisibleBlock(); block.isValid(); block = block.next()) {
        const QRectF rect = m_geometry.blockRect(block);
        if (rect.top() > point.y() || rect.top() > bottom)
            return std::nullopt;
        const QTextLayout* layout = block.layout();
        if (rect.bottom() < point.y() || !layout)
            continue;
        for (int i = 0; i < layout->lineCount(); ++i) {
            const QTextLine line = layout->lineAt(i);
            const QRectF ink = line.naturalTextRect().translated(rect.topLeft());
            if (point.y() >= ink.top() && point.y() < ink.bottom() && point.x() >= ink.left() && point.x() < ink.right()
                && line.textLength() > 0)
                return Line { block.position() + line.textStart(), ink.toAlignedRect() };
        }
        return std::nullopt;
    }
    return std::nullopt;
}

QString EntryTips::tipAt(const QPoint& point)
{
    const std::optional<Line> line = lineAt(point);
    if (!line)
        return {};
    std::optional<Entry> entry = entryAt(*m_view->document(), line->position);
    if (!entry)
        return {};
    if (entry->fontName != m_last.fontName || entry->sample != m_last.sample) {
        QString tip = entryTipText(entry->fontName, entry->sample);
        m_last = { std::move(entry->fontName), std::move(entry->sample), std::move(tip) };
    }
    return m_last.tip;
}

bool EntryTips::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: the viewport's last events come while the view is
    // being destroyed, and must not reach it.
    if (event->type() != QEvent::ToolTip || watched != m_viewport)
        return false;
    const auto* help = static_cast<QHelpEvent*>(event);
    QString tip = tipAt(help->pos());
    if (tip.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
        return true;
    }
    // Plain text, whatever a font's name holds: only a first line that
    // looks like markup would make Qt read the whole tip as rich text.
    if (Qt::mightBeRichText(tip))
        tip = Qt::convertFromPlainText(tip, Qt::WhiteSpaceNormal);
    // Shown until the pointer leaves the text of the line it rests on.
    QToolTip::showText(help->globalPos(), tip, m_viewport, lineAt(help->pos())->rect);
    return true;
}

} // namespace view
