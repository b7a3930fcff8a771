#include "rich_text_box.h"

#include "base/colour_value.h"
#include "base/failure.h"
#include "format_properties.h"
#include "stand_in_tint.h"

#include <QGuiApplication>
#include <QPaintEvent>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
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
    // How long the program must leave the view alone before its last page
    // is laid out: about a frame.
    constexpr int kLastPageQuietMs = 16;

} // namespace

// Marks the document changes the program makes, so that only the user's own
// edits count as edits, and only theirs can be undone: the program's are not
// recorded at all (a build would fill the undo stack with every entry and
// format), and drop what the user could undo before them.
class RichTextBox::ProgramEdit
{
public:
    explicit ProgramEdit(const RichTextBox* box)
        : m_box(box)
    {
        if (m_box->m_programEdits++ == 0)
            m_box->document()->setUndoRedoEnabled(false);
    }
    ~ProgramEdit()
    {
        if (--m_box->m_programEdits == 0)
            m_box->document()->setUndoRedoEnabled(true);
        ++m_box->m_changes;
    }
    ProgramEdit(const ProgramEdit&) = delete;
    ProgramEdit& operator=(const ProgramEdit&) = delete;

private:
    const RichTextBox* m_box;
};

RichTextBox::RichTextBox(QWidget* parent)
    : QPlainTextEdit(parent)
    , m_defaultFormat(makeDefaultFormat())
{
    substituteLabelFont();
    QFont label(glimra::labelFontStandIn());
    label.setPointSize(glimra::kLabelFontSize);
    setFont(label);
    connect(document(), &QTextDocument::contentsChange, this, &RichTextBox::onContentsChange);
    m_lastPage.timer.setInterval(0);
    connect(&m_lastPage.timer, &QTimer::timeout, this, &RichTextBox::layOutLastPage);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, [this](int value) {
        const QScrollBar* bar = verticalScrollBar();
        if (m_lastPage.pending && value >= bar->maximum() - 2 * bar->pageStep())
            finishLastPage();
    });
}

RichTextBox::~RichTextBox() = default;

void RichTextBox::onContentsChange(int, int, int)
{
    ++m_changes;
    if (m_programEdits == 0)
        m_userEdited = true;
}

void RichTextBox::setText(const QString& text)
{
    syncFromDocument();
    const QString& old = m_map.text();
    const qsizetype kept = old.size();
    if (text.size() == kept && m_allDefault && text == old) {
        // A new text puts the selection, empty, at its start.
        m_selStart = 0;
        m_selLength = 0;
        return;
    }
    if (text.size() > kept && std::memcmp(text.constData(), old.constData(), size_t(kept) * sizeof(QChar)) == 0) {
        m_map.take();
        takeBack(text, kept);
    } else {
        m_map.assign(text);
        m_selStart = 0;
        m_selLength = 0;
        rebuildDocument();
    }
}

QString RichTextBox::text() const
{
    syncFromDocument();
    return m_map.text();
}

RichTextBox::HeldText::HeldText(RichTextBox* box, QString text)
    : m_box(box)
    , m_text(std::move(text))
    , m_heldLength(m_text.size())
{
}

RichTextBox::HeldText::HeldText(HeldText&& other) noexcept
    : m_box(std::exchange(other.m_box, nullptr))
    , m_text(std::move(other.m_text))
    , m_heldLength(other.m_heldLength)
{
}

RichTextBox::HeldText::~HeldText()
{
    if (m_box) {
        m_text.truncate(m_heldLength);
        m_box->m_map.giveBack(std::move(m_text), m_heldLength);
    }
}

RichTextBox::HeldText RichTextBox::takeText()
{
    syncFromDocument();
    return HeldText(this, m_map.take());
}

void RichTextBox::setText(HeldText&& held)
{
    if (held.m_box != this) {
        setText(QString(held.text()));
        return;
    }
    held.m_box = nullptr;
    // The held text could only grow, so the view's own text is its start.
    takeBack(std::move(held.m_text), held.m_heldLength);
}

void RichTextBox::takeBack(QString text, qsizetype kept)
{
    const bool grew = text.size() > kept;
    // A CR at the old end and an LF after it become one line break.
    const bool joins = grew && kept > 0 && text.at(kept - 1) == u'\r' && text.at(kept) == u'\n';
    m_map.giveBack(std::move(text), kept);
    // A new text puts the selection, empty, at its start.
    m_selStart = 0;
    m_selLength = 0;
    // While every character has the default format, a longer text that
    // extends the current one is appended instead of rebuilt.
    if (!m_allDefault || !m_tuning.appendWhenExtending || joins)
        rebuildDocument();
    else if (grew)
        appendToDocument(kept);
}

void RichTextBox::rebuildDocument()
{
    ProgramEdit edit(this);
    QTextCursor cursor(document());
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockCharFormat(m_defaultFormat);
    cursor.setCharFormat(m_defaultFormat);
    m_allDefault = true;
    if (!m_map.text().isEmpty()) {
        // insertText makes one paragraph separator of each CR LF, CR or LF.
        cursor.insertText(m_map.text(), m_defaultFormat);
    }
}

void RichTextBox::appendToDocument(qsizetype from)
{
    ProgramEdit edit(this);
    QTextCursor cursor(document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(m_map.text().mid(from), m_defaultFormat);
}

void RichTextBox::syncFromDocument() const
{
    if (!m_userEdited)
        return;
    m_userEdited = false;
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            text += QStringLiteral("\r\n");
        text += block.text();
    }
    m_map.assign(std::move(text));
    m_allDefault = false;
}

int RichTextBox::documentPosition(qint32 position) const { return m_map.documentPosition(position); }

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

float RichTextBox::widthTwips() const { return float(glimra::pixelsToTwips(width(), m_dpi)); }

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
    loadFontsOfSelectionEarly(start);
    // The last page waits while the program is still at work on the view
    // (a build resuming over a shown view), so as not to slow it.
    if (m_lastPage.pending)
        m_lastPage.timer.start(kLastPageQuietMs);
    syncFromDocument();
    m_selStart = std::min<qint32>(start, m_map.length());
    m_selLength = 0;
    // The caret follows when the view is next shown or typed into. Moving it
    // on a shown view scrolls there and lays that page out, which a build
    // resuming over a shown view would otherwise pay at every font.
    m_caretPending = true;
}

void RichTextBox::moveCaret()
{
    m_caretPending = false;
    QTextCursor caret(document());
    caret.setPosition(documentPosition(m_selStart));
    setTextCursor(caret);
}

void RichTextBox::keyPressEvent(QKeyEvent* event)
{
    if (m_caretPending)
        moveCaret();
    QPlainTextEdit::keyPressEvent(event);
}

void RichTextBox::paintEvent(QPaintEvent* event)
{
    // The blocks in sight get the tint of their stand-in glyphs before Qt
    // lays them out and draws them, in the colours they have now.
    const QColor text = palette().color(QPalette::Text);
    const QColor background = palette().color(QPalette::Base);
    qreal top = contentOffset().y();
    for (QTextBlock block = firstVisibleBlock(); block.isValid() && top <= event->rect().bottom();
         block = block.next()) {
        tintStandIns(block, text, background);
        top += blockBoundingRect(block).height();
    }
    QPlainTextEdit::paintEvent(event);
}

void RichTextBox::mousePressEvent(QMouseEvent* event)
{
    // The user puts the caret where they click.
    m_caretPending = false;
    QPlainTextEdit::mousePressEvent(event);
}

qint32 RichTextBox::selStart() const { return m_selStart; }

void RichTextBox::setSelLength(qint32 length)
{
    if (length < 0)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("selection length %1").arg(length));
    m_selLength = length;
}

std::pair<qint32, qint32> RichTextBox::selectedRange() const
{
    syncFromDocument();
    const qint32 length = m_map.length();
    const qint32 from = std::min(m_selStart, length);
    return { from, qint32(std::min<qint64>(qint64(from) + m_selLength, length)) };
}

void RichTextBox::applyToSelection(const QTextCharFormat& format)
{
    const auto [from, to] = selectedRange();
    applyToRange(format, from, to);
}

void RichTextBox::applyToRange(const QTextCharFormat& format, qint32 from, qint32 to)
{
    const int a = documentPosition(from);
    const int b = documentPosition(to);
    // A change that changes nothing costs nothing: outside the hidden view's
    // edit block every change lays its block out again and repaints it.
    if (a >= b || (!m_deferring && rangeHasFormat(format, a, b)))
        return;
    ProgramEdit edit(this);
    QTextCursor cursor(document());
    cursor.setPosition(a);
    cursor.setPosition(b, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
    m_allDefault = false;
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
    f.setProperty(kColourProperty, colour);
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
    if (!visible && !m_deferring && m_tuning.deferLayoutWhileHidden) {
        m_deferring = true;
        // As many blocks as the view shows at most: no line is lower than
        // one in the label font.
        const int height = viewport()->height();
        const qreal margins = 2 * document()->documentMargin();
        m_firstPage = { height / std::max(1, fontMetrics().lineSpacing()) + 1, qreal(height),
            lineWrapMode() == WidgetWidth ? std::max(1.0, viewport()->width() - margins) : qreal(INT_MAX) };
        finishLastPage();
        m_heldFonts.clear();
        // The hidden view holds no caret. One standing where text is
        // inserted (the start of an emptied text) would be pushed along to
        // the end, and moved from there when the view is shown, the end's
        // rectangle would be repainted, which lays out two pages. Nor can
        // the caret be moved back inside the edit block: placing it asks
        // for the layout of its line, and the layout of a block that has
        // grown is held back until the block closes.
        m_hiddenCaret = textCursor().position();
        setTextCursor(QTextCursor());
        ProgramEdit edit(this);
        m_deferral = QTextCursor(document());
        m_deferral.beginEditBlock();
    }
    if (visible && m_deferring) {
        ProgramEdit edit(this);
        m_deferring = false;
        m_deferral.endEditBlock();
        m_deferral = QTextCursor();
        startLastPage();
    }
    QPlainTextEdit::setVisible(visible);
    if (visible && m_caretPending)
        moveCaret();
    else if (visible && textCursor().isNull()) {
        // Back where it was, as far as the text still reaches.
        QTextCursor caret(document());
        caret.setPosition(std::min(m_hiddenCaret, document()->characterCount() - 1));
        setTextCursor(caret);
    }
}

} // namespace view
