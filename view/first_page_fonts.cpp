#include "first_page_fonts.h"

#include "tuning.h"

#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>

namespace view
{

void FirstPageFonts::start(int blocks, qreal height, qreal width)
{
    m_held.clear();
    m_loading = VIEW_MECHANISM_ON(loadFirstPageEarly);
    m_blocks = blocks;
    m_height = height;
    m_width = width;
    m_filled = 0;
    m_nextBlock = 0;
}

void FirstPageFonts::loadBlocksBefore(const QTextDocument& document, int end)
{
    for (QTextBlock block = document.findBlockByNumber(m_nextBlock);
         m_loading && block.isValid() && block.position() + block.length() - 1 <= end; block = block.next()) {
        if (m_filled >= m_height || block.blockNumber() >= m_blocks) {
            m_loading = false;
            return;
        }
        m_nextBlock = block.blockNumber() + 1;
        if (block.text().isEmpty())
            continue;
        QList<QTextLayout::FormatRange> runs;
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            runs.append({ fragment.position() - block.position(), fragment.length(), fragment.charFormat() });
        }
        QTextLayout layout(block.text(), document.defaultFont());
        layout.setFormats(runs);
        qreal height = 0;
        layout.beginLayout();
        // Only the lines the page shows: Qt shapes a long sample's text as
        // its lines need it.
        while (m_filled + height < m_height) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(m_width);
            line.setPosition({ 0, height });
            height += line.height();
        }
        layout.endLayout();
        m_filled += height;
        m_held.hold(layout, 0, layout.lineCount());
    }
}

} // namespace view
