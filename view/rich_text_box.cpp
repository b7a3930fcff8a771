#include "rich_text_box.h"

#include "base/colour_value.h"
#include "base/failure.h"
#include "entry_tips.h"
#include "format_properties.h"
#include "glyph_fallback.h"
#include "stand_in_tint.h"
#include "undo_keeps_place.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cstring>

namespace view
{

using glimra::ErrorNumber;
using glimra::StepFailed;
using namespace detail;

namespace
{

    // The largest size the view accepts, in points.
    constexpr int kMaxPointSize = 1638;

    // How the view draws a stretch another family draws for the run's font.
    QTextCharFormat standInFormat(const StandInRun& run)
    {
        QTextCharFormat f;
        f.setProperty(kStandInProperty, true);
        if (!run.family.isEmpty()) {
            f.setFontFamilies(QStringList { run.family });
            return f;
        }
        // No font has these: missing glyphs, drawn by one font for all.
        if (!glimra::labelFontStandIn().isEmpty())
            f.setFontFamilies(QStringList { glimra::labelFontStandIn() });
        f.setFontStyleStrategy(QFont::NoFontMerging);
        return f;
    }

} // namespace

RichTextBox::RichTextBox(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_writer(document())
    , m_hidden(this)
    , m_lastPage(this)
{
    substituteLabelFont();
    QFont label(glimra::labelFontStandIn());
    label.setPointSize(glimra::kLabelFontSize);
    setFont(label);
    connect(document(), &QTextDocument::contentsChange, this, &RichTextBox::onContentsChange);
    new EntryTips(this,
        { [this] { return firstVisibleBlock(); },
            [this](const QTextBlock& block) { return blockBoundingGeometry(block).translated(contentOffset()); } });
    new UndoKeepsPlace(this);
}

RichTextBox::~RichTextBox() = default;

void RichTextBox::onContentsChange(int, int, int)
{
    m_writer.noteChange();
    if (!m_writer.editing()) {
        m_text.userEdited = true;
        m_writer.noteUserEdit();
    }
}

int RichTextBox::documentPosition(qint32 position) const { return m_text.map.documentPosition(position); }

void RichTextBox::setDpi(double dpi) { m_dpi = dpi; }

int RichTextBox::toPixels(float twips) const
{
    if (!(twips >= 0)) // negative or NaN
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("size %1 twips").arg(twips));
    const double px = double(twips) * m_dpi / glimra::kTwipsPerInch;
    if (px > QWIDGETSIZE_MAX)
        throw StepFailed(ErrorNumber::Overflow, QStringLiteral("size %1 twips").arg(twips));
    return glimra::twipsToPixels(twips, m_dpi);
}

void RichTextBox::setWidthTwips(float twips) { resize(toPixels(twips), height()); }

void RichTextBox::setHeightTwips(float twips) { resize(width(), toPixels(twips)); }

void RichTextBox::setBackColour(glimra::Colour colour)
{
    // System colours are the desktop's, not whatever this view shows now.
    const QColor c = glimra::toQColor(colour, QGuiApplication::palette());
    QPalette p = palette();
    p.setColor(QPalette::Base, c);
    setPalette(p);
    m_backColour = colour;
}

void RichTextBox::setSelStart(qint32 start)
{
    if (start < 0)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("selection start %1").arg(start));
    syncFromDocument();
    // Moving the caret on a shown view scrolls there and lays that page out,
    // which a build resuming over a shown view would otherwise pay at every
    // font: it follows when the view is next shown or typed into.
    m_selection = { std::min<qint32>(start, m_text.map.length()), 0, true };
}

void RichTextBox::setSelLength(qint32 length)
{
    if (length < 0)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("selection length %1").arg(length));
    m_selection.length = length;
}

void RichTextBox::entryFinished(qint32 end)
{
    // 1. The user's edits folded in, so that `end` means what the build meant.
    syncFromDocument();
    // 2. The finished entry's text reaches the document (while hidden it
    //    arrives only as it is formatted).
    catchUp(end);
    // 3. The entry's stand-in runs merged: no format for its whole range
    //    follows, and its fonts are loaded next as the runs draw them.
    m_writer.settle();
    // 4. Its first-page blocks shaped and their fonts held; while the
    //    document lags behind the text, its last block may grow yet.
    int finished = documentPosition(std::min(end, m_text.map.length()));
    if (m_text.inDocument < m_text.map.length())
        finished = std::min(finished, document()->lastBlock().position() - 1);
    m_firstPage.loadBlocksBefore(*document(), finished);
    // 5. A shown view's last page waits until the build leaves it alone.
    m_lastPage.programAtWork();
}

void RichTextBox::moveCaret()
{
    m_selection.caretPending = false;
    QTextCursor caret(document());
    caret.setPosition(documentPosition(m_selection.start));
    setTextCursor(caret);
}

void RichTextBox::keyPressEvent(QKeyEvent* event)
{
    if (m_selection.caretPending)
        moveCaret();
    QPlainTextEdit::keyPressEvent(event);
}

void RichTextBox::mousePressEvent(QMouseEvent* event)
{
    // The user puts the caret where they click.
    m_selection.caretPending = false;
    QPlainTextEdit::mousePressEvent(event);
}

void RichTextBox::paintEvent(QPaintEvent* event)
{
    // The blocks in sight get the tint of their stand-in glyphs before Qt
    // lays them out and draws them, in the colours they have now.
    const QColor text = palette().color(QPalette::Text);
    const QColor background = palette().color(QPalette::Base);
    qreal top = contentOffset().y();
    const QRect sight = event->rect();
    for (QTextBlock block = firstVisibleBlock(); block.isValid() && top <= sight.bottom(); block = block.next()) {
        tintStandIns(block, text, background, top, sight);
        top += blockBoundingRect(block).height();
    }
    QPlainTextEdit::paintEvent(event);
}

std::pair<qint32, qint32> RichTextBox::selectedRange() const
{
    syncFromDocument();
    const qint32 length = m_text.map.length();
    const qint32 from = std::min(m_selection.start, length);
    return { from, qint32(std::min<qint64>(qint64(from) + m_selection.length, length)) };
}

void RichTextBox::applyToSelection(const QTextCharFormat& format)
{
    const auto [from, to] = selectedRange();
    applyToRange(format, from, to);
}

void RichTextBox::applyToRange(const QTextCharFormat& format, qint32 from, qint32 to)
{
    catchUp(to);
    // Inside the hidden view's edit block a change costs little, and most
    // change something: only a shown view checks first.
    m_writer.apply(format, documentPosition(from), documentPosition(to), !m_hidden.deferring());
}

bool RichTextBox::rangeHas(const QTextCharFormat& format, qint32 from, qint32 to)
{
    catchUp(to);
    m_writer.settle();
    const int a = documentPosition(from);
    const int b = documentPosition(to);
    return a >= b || m_writer.rangeHas(format, a, b);
}

void RichTextBox::setSelFontName(const QString& name)
{
    FontCoverage& fonts = FontCoverage::instance();
    const auto family = fonts.find(name);
    QTextCharFormat f;
    f.setFontFamilies(QStringList { family ? family->drawnAs : name });
    // Undoes a previous font's "no font has these" (standInFormat).
    f.setFontStyleStrategy(QFont::PreferDefault);
    f.setProperty(kFamilyKeyProperty, name);
    f.setProperty(kStandInProperty, false);
    const auto [from, to] = selectedRange();
    const std::vector<StandInRun> runs
        = family ? standInRuns(fonts, *family, m_text.map.text(), from, to) : std::vector<StandInRun> {};
    // A shown view that already draws the range this way is left alone: the
    // name set on the whole range and then the runs drawn elsewhere would be
    // two real changes, each laying the block out again.
    if (!m_hidden.deferring()) {
        bool drawn = true;
        qint32 p = from;
        for (const StandInRun& run : runs) {
            QTextCharFormat standIn = f;
            standIn.merge(standInFormat(run));
            drawn = drawn && rangeHas(f, p, run.from) && rangeHas(standIn, run.from, run.to);
            p = run.to;
        }
        if (drawn && rangeHas(f, p, to))
            return;
    }
    applyToRange(f, from, to);
    if (m_hidden.deferring()) {
        // The build sets the entry's size, colour and style on the whole range
        // next: merged before the runs split it, each changes one fragment.
        std::vector<DocumentWriter::Run> later;
        later.reserve(runs.size());
        for (const StandInRun& run : runs) {
            const bool sameFamily = !later.empty() && run.family == runs[later.size() - 1].family;
            later.push_back({ documentPosition(run.from), documentPosition(run.to),
                sameFamily ? later.back().format : standInFormat(run) });
        }
        m_writer.applyAfter(std::move(later), documentPosition(from), documentPosition(to));
        return;
    }
    for (const StandInRun& run : runs)
        applyToRange(standInFormat(run), run.from, run.to);
}

void RichTextBox::setSelFontSize(std::int16_t points)
{
    if (points <= 0 || points > kMaxPointSize)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("font size %1").arg(points));
    QTextCharFormat f;
    f.setFontPointSize(points);
    applyToSelection(f);
}

void RichTextBox::setSelFontSize(const QString& points)
{
    bool ok = false;
    const int value = points.trimmed().toInt(&ok, 10);
    if (!ok)
        throw StepFailed(ErrorNumber::TypeMismatch, QStringLiteral("font size \"%1\"").arg(points));
    if (value <= 0 || value > kMaxPointSize)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("font size %1").arg(value));
    setSelFontSize(std::int16_t(value));
}

void RichTextBox::setSelColour(glimra::Colour colour)
{
    QTextCharFormat f;
    f.setForeground(glimra::toQColor(colour, QGuiApplication::palette()));
    applyToSelection(f);
}

void RichTextBox::setSelBold(bool bold)
{
    QTextCharFormat f;
    f.setFontWeight(bold ? QFont::Bold : QFont::Normal);
    applyToSelection(f);
}

void RichTextBox::setSelItalic(bool italic)
{
    QTextCharFormat f;
    f.setFontItalic(italic);
    applyToSelection(f);
}

void RichTextBox::setSelProperty17(std::int16_t value)
{
    QTextCharFormat f;
    f.setProperty(kProperty17, int(value));
    applyToSelection(f);
}

void RichTextBox::setVisible(bool visible)
{
    if (!visible && !m_hidden.active()) {
        // 1. The first page measured while the viewport has the size it is
        //    shown at again: as many blocks as it shows at most, no line
        //    lower than one in the label font.
        const int height = viewport()->height();
        const qreal margins = 2 * document()->documentMargin();
        m_firstPage.start(height / std::max(1, fontMetrics().lineSpacing()) + 1, qreal(height),
            lineWrapMode() == WidgetWidth ? std::max(1.0, viewport()->width() - margins) : qreal(INT_MAX));
        // 2. The last page's wait ended before the edit block opens: the
        //    scroll range it restores is counted from layouts the block
        //    would hold back, and its timer must not lay out while hidden.
        m_lastPage.finish();
        // 3. The edit block opened and the caret dropped (hidden_edits.h).
        m_hidden.begin(m_writer);
    }
    const bool shown = visible && m_hidden.active();
    if (shown) {
        // 4. The whole text in the document, and 5. the held stand-in runs
        //    merged, both inside the edit block, where they cost no layout.
        catchUp(m_text.map.length());
        m_writer.settle();
        // 6. The block closed: Qt hears of every change at once.
        m_hidden.end(m_writer);
        // 7. Qt lays the first page out now; nothing is left to load early.
        m_firstPage.stop();
        // 8. The range counted without the last page, before Qt shows the
        //    view and counts it (last_page_layout.h).
        m_lastPage.start();
    }
    QPlainTextEdit::setVisible(visible);
    // 9. The caret placed once shown: placing it lays its line out, which
    //    inside the edit block reads a grown block's stale lines.
    if (visible && m_selection.caretPending)
        moveCaret();
    else if (shown)
        setTextCursor(m_hidden.caretAsHidden());
}

} // namespace view
