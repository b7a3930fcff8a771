#pragma once

// LastPageLayout: the last page of a view just shown, laid out after the
// first paint, between events.
//
// Qt counts the scroll range from the last page's lines, and lays that page
// out to count them as soon as the view is shown. Shown instead with the
// range counted as if every line could come to the top (centerOnScroll on:
// QPlainTextEditPrivate::_q_adjustScrollbars then needs no layout), the view
// lays out its first page only; the last page's blocks are laid out from the
// end, about a frame's worth at each turn of the event loop once the program
// leaves the view alone, until they fill the view, and the range is then
// counted as always (centerOnScroll off). Until then the view may scroll
// past its end; a user who scrolls towards the end waits for the rest. The
// fonts of the last page are held until the view is shown again, so that
// scrolling there later loads none of them again.

#include "held_fonts.h"

#include <QPlainTextEdit>
#include <QTextBlock>
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
    // Lays out whatever of the last page is left, now.
    void finish();
    bool pending() const { return m_pending; }

    // A switch for the bench: off, the view is shown with its range counted.
    void setEnabled(bool on) { m_enabled = on; }

private:
    void layOutSome();

    QPlainTextEdit* m_view;
    bool m_enabled = true;
    bool m_pending = false;
    QTextBlock m_block; // the next one up
    qreal m_filled = 0;
    HeldFonts m_fonts;
    QTimer m_timer;
};

} // namespace view
