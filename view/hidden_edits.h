#pragma once

// HiddenEdits: what the view does differently while it is hidden.
//
// The document's changes are gathered in one edit block, so that Qt lays out
// nothing until the view is shown (QTextDocumentPrivate::finishEdit tells the
// layout of the changes only when the outermost block closes). And the view
// holds no caret: one standing where text is inserted (the start of an
// emptied text) would be pushed along to the end, and moved from there when
// shown, the end's rectangle would be repainted, which lays out two pages;
// nor can the caret be moved back inside the edit block, since placing it
// asks for the layout of its line, and the layout of a block that has grown
// is held back until the block closes.

#include "document_writer.h"

#include <QPlainTextEdit>
#include <QTextCursor>

namespace view
{

class HiddenEdits
{
public:
    explicit HiddenEdits(QPlainTextEdit* view);

    void begin(DocumentWriter& writer);
    // Closes the edit block; the caret is the view's to place again.
    void end(DocumentWriter& writer);
    bool active() const { return m_active; }
    // Whether changes are being held back from the layout now.
    bool deferring() const { return !m_block.isNull(); }
    // The caret as it stood when the view was hidden, as far as the text
    // still reaches.
    QTextCursor caretAsHidden() const;

private:
    QPlainTextEdit* m_view;
    bool m_active = false;
    int m_caret = 0;
    QTextCursor m_block;
};

} // namespace view
