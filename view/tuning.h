#pragma once

// The switches of the view's speed mechanisms, for the bench to time a view
// without them. Each switches off its own mechanism and no other; all are
// on in the program.

namespace view
{

struct Tuning {
    // DocumentWriter: a text that extends the last one is appended.
    bool appendWhenExtending = true;
    // RichTextBox::catchUp: while hidden, a growing text reaches the
    // document as the build formats it, not when it is set.
    bool insertWhenReached = true;
    // HiddenEdits: no layout while hidden.
    bool deferLayoutWhileHidden = true;
    // FirstPageFonts: the first page's fonts loaded between the build's yields.
    bool loadFirstPageEarly = true;
    // LastPageLayout: the last page laid out after the first paint.
    bool layOutLastPageLater = true;

    static constexpr Tuning none() { return { false, false, false, false, false }; }
};

} // namespace view
