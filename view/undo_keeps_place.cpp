#include "undo_keeps_place.h"

#include <QKeyEvent>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <climits>

namespace view
{

UndoKeepsPlace::UndoKeepsPlace(QPlainTextEdit* view)
    : QObject(view)
    , m_view(view)
{
    view->installEventFilter(this);
}

bool UndoKeepsPlace::eventFilter(QObject* watched, QEvent* event)
{
    // The type first: events that come while the view is being destroyed
    // must not reach it.
    if (event->type() != QEvent::KeyPress || watched != m_view || m_view->isReadOnly())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const bool undo = key->matches(QKeySequence::Undo);
    if (!undo && !key->matches(QKeySequence::Redo))
        return false;
    int first = INT_MAX;
    const QMetaObject::Connection watch = connect(m_view->document(), &QTextDocument::contentsChange, this,
        [&first](int from, int, int) { first = std::min(first, from); });
    if (undo)
        m_view->undo();
    else
        m_view->redo();
    disconnect(watch);
    if (first != INT_MAX) {
        QTextCursor caret = m_view->textCursor();
        caret.setPosition(std::min(first, m_view->document()->characterCount() - 1));
        m_view->setTextCursor(caret);
        m_view->ensureCursorVisible();
    }
    event->accept();
    return true;
}

} // namespace view
