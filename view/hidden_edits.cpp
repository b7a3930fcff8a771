#include "hidden_edits.h"

#include "tuning.h"

#include <algorithm>

namespace view
{

HiddenEdits::HiddenEdits(QPlainTextEdit* view)
    : m_view(view)
{
}

void HiddenEdits::begin(DocumentWriter& writer)
{
    m_active = true;
    m_caret = m_view->textCursor().position();
    m_view->setTextCursor(QTextCursor());
    if (VIEW_MECHANISM_ON(deferLayoutWhileHidden)) {
        DocumentWriter::Edit edit(writer);
        m_block = QTextCursor(m_view->document());
        m_block.beginEditBlock();
    }
}

void HiddenEdits::end(DocumentWriter& writer)
{
    m_active = false;
    if (!m_block.isNull()) {
        DocumentWriter::Edit edit(writer);
        m_block.endEditBlock();
        m_block = QTextCursor();
    }
}

QTextCursor HiddenEdits::caretAsHidden() const
{
    QTextCursor caret(m_view->document());
    caret.setPosition(std::clamp(m_caret, 0, m_view->document()->characterCount() - 1));
    return caret;
}

} // namespace view
