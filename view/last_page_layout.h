#pragma once

// LastPageLayout: the last page of a view just shown, laid out after the
// first paint, between events.
//
// Qt counts the scroll range from the last page's lines, and lays that page
// out to count them as soon as the view is shown. Shown instead with the
// range counted as if every line could come to the top (centerOnScroll on:
// Qt's adjustScrollbars, _q_adjustScrollbars on 6.4, then needs no layout), the view
// lays out its first page only; the last page's blocks are laid out from the
// end, about a frame's worth at each turn of the event loop once the program
// leaves the view alone, until they fill the view, and the range is then
// counted as always (centerOnScroll off). Until then the view may scroll
// past its end; a user who scrolls towards the end waits for the rest. The
// fonts of the last page are held until the view is shown again, so that
// scrolling there later loads none of them again.

#include "held_fonts.h"

#include <QPlainTextEdit>
#include <QTimer>

namespace view
{

class LastPageLayout
{
public:
    explicit LastPageLayout(QPlainTextEdit* view);

    void start();
    // The program is at work on the view (a build resuming over a shown
    // view): the layout waits until it has been left alone for a while.
    void programAtWork();
    // Stops the wait: with centerOnScroll off again, Qt counts the scroll
    // range from the last page's lines and lays out what is left of them.
    void finish();

private:
    void layOutSome();

    QPlainTextEdit* m_view;
    bool m_pending = false;
    // The blocks laid out so far, counted from the end: a number, not a
    // QTextBlock, since the program may set a new text in the meantime.
    int m_fromEnd = 0;
    qreal m_filled = 0;
    HeldFonts m_fonts;
    QTimer m_timer;
};

} // namespace view
