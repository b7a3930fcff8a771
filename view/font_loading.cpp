// How the view draws the fonts it is given: the label font's stand-in, the
// glyphs a font lacks drawn with one that has them, the fonts of the first
// page loaded early and the last page laid out once the view is shown.

#include "format_properties.h"
#include "rich_text_box.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QGlyphRun>
#include <QRawFont>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>

namespace view
{

using namespace detail;

QTextCharFormat detail::makeDefaultFormat()
{
    QTextCharFormat f;
    // Drawn with the stand-in straight away: Qt resolves a name it does not
    // know through a fallback search that grows with the square of the
    // number of installed fonts.
    f.setFontFamilies(QStringList { glimra::labelFontStandIn() });
    f.setProperty(kFamilyKeyProperty, glimra::kLabelFontName);
    f.setFontPointSize(glimra::kLabelFontSize);
    f.setFontWeight(glimra::kLabelFontWeight);
    f.setFontItalic(false);
    f.setProperty(kCharsetProperty, glimra::kLabelFontCharset);
    return f;
}

void detail::substituteLabelFont()
{
    // The label font's name is kept in every format and drawn with a
    // Japanese proportional gothic; the substitution is how the view's
    // font lookup finds that stand-in for the name.
    static const bool once = [] {
        if (!glimra::labelFontStandIn().isEmpty())
            QFont::insertSubstitution(glimra::kLabelFontName, glimra::labelFontStandIn());
        return true;
    }();
    Q_UNUSED(once);
}

void RichTextBox::loadFontsOfSelectionEarly(qint32 nextStart)
{
    // Showing the view lays out its first page, loading each font there for
    // the first time in one go: each costs a fontconfig match over every
    // installed font. While the view is hidden, the fonts of that page are
    // loaded as each of its blocks is finished, so that the cost falls
    // between the build's yields. The last page is laid out once the view
    // is shown (startLastPage).
    // The first page ends where the blocks loaded so far fill the view.
    FirstPage& page = m_firstPage;
    if (!m_deferring || page.filled >= page.height)
        return;
    const auto [from, to] = selectedRange();
    if (from >= to)
        return;
    const QTextBlock block = document()->findBlock(documentPosition(from));
    // The block is finished when the next selection leaves it.
    if (block.contains(documentPosition(std::min(nextStart, m_map.length()))) || block.text().isEmpty()
        || block.blockNumber() >= page.blocks)
        return;
    // Qt loads a font once for each script it is shaped in, and the script
    // of a space or a bracket is its neighbours', so the block is shaped
    // whole, each run in its own font. The fonts shaping loaded are then
    // held until the next build: a font no one holds is soon dropped from
    // Qt's cache and would be matched again when the view is shown. They
    // are held as shaping left them, for the scripts it used, since asking
    // for a font again in another script loads it once more.
    QList<QTextLayout::FormatRange> runs;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        runs.append({ fragment.position() - block.position(), fragment.length(), fragment.charFormat() });
    }
    QTextLayout layout(block.text(), document()->defaultFont());
    layout.setFormats(runs);
    qreal height = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(page.width);
        line.setPosition({ 0, height });
        height += line.height();
    }
    layout.endLayout();
    page.filled += height;
    // Line by line: the runs of the whole layout are merged across its
    // lines, which for a long sample costs the square of its length.
    for (int i = 0; i < layout.lineCount(); ++i) {
        for (const QGlyphRun& run : layout.lineAt(i).glyphRuns()) {
            const QRawFont font = run.rawFont();
            if (std::find(m_heldFonts.begin(), m_heldFonts.end(), font) == m_heldFonts.end())
                m_heldFonts.push_back(font);
        }
    }
}

void RichTextBox::setSelFontName(const QString& name)
{
    const auto family = FontCoverage::instance().find(name);
    QTextCharFormat f;
    f.setFontFamilies(QStringList { family ? family->drawnAs : name });
    // Undoes a previous font's "no font has these" (below).
    f.setFontStyleStrategy(QFont::PreferDefault);
    f.setProperty(kFamilyKeyProperty, name);
    f.setProperty(kStandInProperty, false);
    const auto [from, to] = selectedRange();
    const std::vector<GlyphRun> elsewhere = family ? missingGlyphRuns(*family, from, to) : std::vector<GlyphRun> {};
    // A shown view that already draws the range this way is left alone: the
    // name set on the whole range and then the runs drawn elsewhere would be
    // two real changes, each laying the block out again.
    if (!m_deferring && rangeIsDrawnAs(f, elsewhere, from, to))
        return;
    applyToRange(f, from, to);
    for (const GlyphRun& run : elsewhere)
        applyToRange(run.format, run.from, run.to);
}

std::vector<RichTextBox::GlyphRun> RichTextBox::missingGlyphRuns(
    const FontCoverage::Family& family, qint32 from, qint32 to) const
{
    FontCoverage& coverage = FontCoverage::instance();
    // Glyphs no installed font has are drawn as missing glyphs, without Qt
    // searching every font for them first, and all by one font: drawn by
    // each entry's own font, every font would load once more per script.
    static const QString nobody = QStringLiteral("\0");
    std::vector<GlyphRun> runs;
    qint32 runStart = from;
    QString runFamily; // empty: the run's own font has these glyphs
    const auto endRun = [&](qint32 end) {
        if (!runFamily.isEmpty() && end > runStart) {
            QTextCharFormat f;
            f.setProperty(kStandInProperty, true);
            if (runFamily == nobody) {
                if (!glimra::labelFontStandIn().isEmpty())
                    f.setFontFamilies(QStringList { glimra::labelFontStandIn() });
                f.setFontStyleStrategy(QFont::NoFontMerging);
            } else
                f.setFontFamilies(QStringList { runFamily });
            runs.push_back({ runStart, end, f });
        }
    };
    // Qt shapes a space or a bracket in its neighbours' script: the one
    // before it, or at the start of a paragraph the one after. A font that
    // Qt loads once for each script would be loaded again for a space beside
    // glyphs drawn elsewhere, so such characters are drawn with those
    // glyphs, by the font that draws them, where it has them.
    const auto neutral = [](char32_t c) { return QChar::script(c) <= QChar::Script_Common; };
    QString alongName;
    std::optional<FontCoverage::Family> along;
    const auto drawsAlong = [&](const QString& runFamily, char32_t c) {
        if (family.loadedOnceForAllScripts || runFamily.isEmpty() || !neutral(c))
            return false;
        if (runFamily != alongName) {
            alongName = runFamily;
            along = coverage.find(runFamily == nobody ? glimra::labelFontStandIn() : runFamily);
        }
        return along && FontCoverage::covers(*along, c);
    };
    const QString& text = m_map.text();
    const auto at = [&](qint32 i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            return std::pair { QChar::surrogateToUcs4(c, text.at(i + 1).unicode()), 2 };
        return std::pair { char32_t(c), 1 };
    };
    // Line breaks and other controls are drawn by no font.
    const auto drawn
        = [](char32_t c) { return c >= 0x20 && c != QChar::LineSeparator && c != QChar::ParagraphSeparator; };
    const auto elsewhere = [&](char32_t c) {
        if (!drawn(c) || FontCoverage::covers(family, c))
            return QString();
        const QString fallback = coverage.fallbackFor(c);
        return fallback.isEmpty() ? nobody : fallback;
    };
    if (!family.loadedOnceForAllScripts && (from == 0 || text.at(from - 1) == u'\n' || text.at(from - 1) == u'\r')) {
        qint32 first = from;
        while (first < to && neutral(at(first).first))
            first += at(first).second;
        if (first < to)
            runFamily = elsewhere(at(first).first);
    }
    for (qint32 i = from; i < to;) {
        const auto [c, width] = at(i);
        QString wanted = elsewhere(c);
        if (wanted.isEmpty() && drawn(c) && drawsAlong(runFamily, c))
            wanted = runFamily;
        if (wanted != runFamily) {
            endRun(i);
            runStart = i;
            runFamily = wanted;
        }
        i += width;
    }
    endRun(to);
    return runs;
}

bool RichTextBox::rangeIsDrawnAs(
    const QTextCharFormat& format, const std::vector<GlyphRun>& elsewhere, qint32 from, qint32 to) const
{
    const auto has = [&](const QTextCharFormat& f, qint32 a, qint32 b) {
        const int da = documentPosition(a);
        const int db = documentPosition(b);
        return da >= db || rangeHasFormat(f, da, db);
    };
    qint32 p = from;
    for (const GlyphRun& run : elsewhere) {
        QTextCharFormat drawn = format;
        drawn.merge(run.format);
        if (!has(format, p, run.from) || !has(drawn, run.from, run.to))
            return false;
        p = run.to;
    }
    return has(format, p, to);
}

void RichTextBox::startLastPage()
{
    // Shown with its scroll range counted as if every line could come to
    // the top, the view lays out only its first page; the last page's
    // blocks are laid out from the end, a few at each turn of the event
    // loop, until they fill the view, and the range is then counted as
    // always. A user who scrolls towards the end before that waits for it.
    m_lastPage.pending = true;
    m_lastPage.block = document()->lastBlock();
    m_lastPage.filled = 0;
    setCenterOnScroll(true);
    m_lastPage.timer.start();
}

void RichTextBox::layOutLastPage()
{
    // About a frame's worth of work at a time.
    constexpr qint64 kSliceMs = 8;
    QElapsedTimer spent;
    spent.start();
    QAbstractTextDocumentLayout* layout = document()->documentLayout();
    while (m_lastPage.block.isValid() && m_lastPage.filled <= viewport()->height()) {
        m_lastPage.filled += layout->blockBoundingRect(m_lastPage.block).height();
        m_lastPage.block = m_lastPage.block.previous();
        if (spent.elapsed() >= kSliceMs) {
            m_lastPage.timer.start(0);
            return;
        }
    }
    finishLastPage();
}

void RichTextBox::finishLastPage()
{
    if (!m_lastPage.pending)
        return;
    m_lastPage.pending = false;
    m_lastPage.timer.stop();
    m_lastPage.block = QTextBlock();
    // Counts the range again, laying out whatever of the last page is left.
    setCenterOnScroll(false);
}

} // namespace view
