#pragma once

// The switches of the view's speed mechanisms, for the bench to time a view
// without them. They exist only in a tree configured with GLIMRA_TUNING (the
// bench's, `make bench`); in every other build each mechanism is simply on
// and VIEW_MECHANISM_ON(name) is the constant true.
//
// Not every switch stands alone, since some mechanisms build on others:
// - appendWhenExtending off also switches off insertWhenReached: a text that
//   is rebuilt whole reaches the document when it is set;
// - deferLayoutWhileHidden off also makes a hidden view work as a shown one
//   does: it skips formats that change nothing, checks a font name's runs
//   before setting them, and merges an entry's stand-in runs at once rather
//   than after its other formats (outside an edit block each change lays
//   its block out again, so these pay there).

#ifdef GLIMRA_TUNING

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

// The switches every view reads as it works; the bench sets them before it
// makes its window.
inline Tuning& tuning()
{
    static Tuning switches;
    return switches;
}

} // namespace view

#define VIEW_MECHANISM_ON(name) (::view::tuning().name)

#else

#define VIEW_MECHANISM_ON(name) true

#endif
