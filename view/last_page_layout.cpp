#include "last_page_layout.h"

#include "tuning.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTextBlock>

namespace view
{

namespace
{

    // How long the program must leave the view alone: about a frame.
    constexpr int kQuietMs = 16;
    // About a frame's worth of work at a time.
    constexpr qint64 kSliceMs = 8;

} // namespace

LastPageLayout::LastPageLayout(QPlainTextEdit* view)
    : m_view(view)
{
    m_timer.setInterval(0);
    QObject::connect(&m_timer, &QTimer::timeout, m_view, [this] { layOutSome(); });
    QObject::connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, m_view, [this](int value) {
        const QScrollBar* bar = m_view->verticalScrollBar();
        if (m_pending && value >= bar->maximum() - 2 * bar->pageStep())
            finish();
    });
}

void LastPageLayout::start()
{
    if (!VIEW_MECHANISM_ON(layOutLastPageLater))
        return;
    m_pending = true;
    m_fromEnd = 0;
    m_filled = 0;
    m_fonts.clear();
    m_view->setCenterOnScroll(true);
    m_timer.start(0);
}

void LastPageLayout::programAtWork()
{
    if (m_pending)
        m_timer.start(kQuietMs);
}

void LastPageLayout::layOutSome()
{
    QElapsedTimer spent;
    spent.start();
    const QTextDocument* document = m_view->document();
    QAbstractTextDocumentLayout* layout = document->documentLayout();
    for (QTextBlock block = document->findBlockByNumber(document->blockCount() - 1 - m_fromEnd);
         block.isValid() && m_filled <= m_view->viewport()->height(); block = block.previous()) {
        const qreal room = m_view->viewport()->height() - m_filled;
        m_filled += layout->blockBoundingRect(block).height();
        // The lines at the block's end that the last page shows.
        const QTextLayout* lines = block.layout();
        int first = lines->lineCount();
        for (qreal below = 0; first > 0 && below < room; below += lines->lineAt(first).height())
            --first;
        m_fonts.hold(*lines, first, lines->lineCount());
        ++m_fromEnd;
        if (spent.elapsed() >= kSliceMs) {
            m_timer.start(0);
            return;
        }
    }
    finish();
}

void LastPageLayout::finish()
{
    if (!m_pending)
        return;
    m_pending = false;
    m_timer.stop();
    m_view->setCenterOnScroll(false);
}

} // namespace view
