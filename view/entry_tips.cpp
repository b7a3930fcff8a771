#include "entry_tips.h"

#include "entry_tip.h"

#include <QHelpEvent>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolTip>

namespace view
{

EntryTips::EntryTips(QPlainTextEdit* view)
    : QObject(view)
    , m_view(view)
{
    view->viewport()->installEventFilter(this);
}

std::optional<int> EntryTips::characterAt(const QPoint& point) const
{
    const QTextDocument& document = *m_view->document();
    const int near = m_view->cursorForPosition(point).position();
    // The caret nearest the point stands before or after the character.
    for (const int p : { near, near - 1 }) {
        if (p < 0 || p + 1 >= document.characterCount() || document.characterAt(p) == QChar::ParagraphSeparator)
            continue;
        QTextCursor at(m_view->document());
        at.setPosition(p);
        const QRect before = m_view->cursorRect(at);
        at.setPosition(p + 1);
        const QRect after = m_view->cursorRect(at);
        if (before.top() != after.top())
            continue; // the line wraps here
        if (point.y() >= before.top() && point.y() <= before.bottom()
            && point.x() >= std::min(before.left(), after.left()) && point.x() <= std::max(before.left(), after.left()))
            return p;
    }
    return std::nullopt;
}

QString EntryTips::tipAt(const QPoint& point)
{
    const std::optional<int> character = characterAt(point);
    if (!character)
        return {};
    std::optional<Entry> entry = entryAt(*m_view->document(), *character);
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
    if (watched != m_view->viewport() || event->type() != QEvent::ToolTip)
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
    // Shown until the pointer leaves the line it rests on.
    const QRect line = m_view->cursorRect(m_view->cursorForPosition(help->pos()));
    QToolTip::showText(
        help->globalPos(), tip, m_view->viewport(), QRect(0, line.top(), m_view->viewport()->width(), line.height()));
    return true;
}

} // namespace view
