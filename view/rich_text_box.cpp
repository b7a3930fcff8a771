#include "rich_text_box.h"

#include "base/colour_value.h"
#include "base/failure.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace view
{

using glimra::ErrorNumber;
using glimra::StepFailed;

namespace
{

    constexpr int kColourProperty = QTextFormat::UserProperty + 1;
    constexpr int kCharsetProperty = QTextFormat::UserProperty + 2;
    constexpr int kProperty17 = QTextFormat::UserProperty + 17;
    // The font name as the program set it. The family Qt draws with may differ:
    // a generic name resolved, or a fallback for glyphs the font lacks. Qt also
    // hashes a format's family list by its type alone, so the formats of
    // thousands of fonts would share one hash bucket and every lookup walk them
    // all; the name as a plain string hashes by value and keeps them apart.
    constexpr int kFamilyKeyProperty = QTextFormat::UserProperty + 3;

    // The largest size the view accepts, in points.
    constexpr int kMaxPointSize = 1638;

    bool isLineBreak(QChar c) { return c == u'\r' || c == u'\n'; }

    // A family name as Qt's HTML writer must be given it to come out as a
    // valid CSS string: it quotes the name but does not escape it.
    QString cssEscaped(QString family)
    {
        family.replace(u'\\', QStringLiteral("\\\\"));
        family.replace(u'"', QStringLiteral("\\\""));
        return family;
    }

    QTextCharFormat makeDefaultFormat()
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

    void substituteLabelFont()
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

} // namespace

// Marks the document changes the program makes, so that only the user's own
// edits count as edits.
class RichTextBox::ProgramEdit
{
public:
    explicit ProgramEdit(const RichTextBox* box)
        : m_box(box)
    {
        ++m_box->m_programEdits;
    }
    ~ProgramEdit()
    {
        --m_box->m_programEdits;
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
    document()->setUndoRedoEnabled(false);
    connect(document(), &QTextDocument::contentsChange, this, &RichTextBox::onContentsChange);
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
    const bool extends = m_tuning.appendWhenExtending && m_allDefault && text.size() > kept
        && std::memcmp(text.constData(), old.constData(), size_t(kept) * sizeof(QChar)) == 0
        // A CR at the old end and an LF after it become one line break.
        && !m_map.joinsLineBreak(QStringView(text).mid(kept));
    // A new text puts the selection, empty, at its start.
    m_selStart = 0;
    m_selLength = 0;
    if (text.size() == kept && m_allDefault && text == old)
        return;
    if (extends) {
        m_map.take();
        m_map.giveBack(text, kept);
        appendToDocument(kept);
    } else {
        m_map.assign(text);
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
    const qsizetype kept = held.m_heldLength;
    const QString& text = held.m_text;
    const bool grew = text.size() > kept;
    // A CR at the old end and an LF after it become one line break.
    const bool joins = grew && kept > 0 && text.at(kept - 1) == u'\r' && text.at(kept) == u'\n';
    m_map.giveBack(std::move(held.m_text), kept);
    m_selStart = 0;
    m_selLength = 0;
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

float RichTextBox::heightTwips() const { return float(glimra::pixelsToTwips(height(), m_dpi)); }

void RichTextBox::setBackColor(glimra::Colour colour)
{
    // System colours are the desktop's, not whatever this view shows now.
    const QColor c = glimra::toQColor(colour, QGuiApplication::palette());
    QPalette p = palette();
    p.setColor(QPalette::Base, c);
    setPalette(p);
    m_backColor = colour;
}

void RichTextBox::loadFontsOfSelectionEarly()
{
    // Showing the view lays out its first page and, for the scroll range,
    // its last page, loading each font there for the first time in one go.
    // While the view is hidden, the fonts of those pages are loaded as each
    // run is finished, so that the cost falls between the build's yields.
    const auto [from, to] = selectedRange();
    if (!m_deferring || from >= to)
        return;
    const int d = documentPosition(from);
    const QTextBlock block = document()->findBlock(d);
    const int number = block.blockNumber();
    if (number >= m_earlyBlocks && number < document()->blockCount() - m_earlyBlocks)
        return;
    const int end = documentPosition(to);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (fragment.position() + fragment.length() <= d || fragment.position() >= end)
            continue;
        QFontMetricsF(fragment.charFormat().font().resolve(document()->defaultFont())).height();
    }
}

void RichTextBox::setSelStart(qint32 start)
{
    if (start < 0)
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("selection start %1").arg(start));
    loadFontsOfSelectionEarly();
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

bool RichTextBox::rangeHasFormat(const QTextCharFormat& format, int from, int to) const
{
    const QMap<int, QVariant> wanted = format.properties();
    const auto has = [&](const QTextCharFormat& f) {
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            if (f.property(it.key()) != it.value())
                return false;
        }
        return true;
    };
    QTextBlock block = document()->findBlock(from);
    // A sample's runs are checked from left to right, so a check starts
    // where the last one ended when nothing changed in between: a block of
    // a 1 MiB sample holds tens of thousands of fragments.
    QTextBlock::iterator it = block.begin();
    if (m_scan.changes == m_changes && m_scan.block == block && !m_scan.fragment.atEnd()
        && m_scan.fragment.fragment().position() <= from)
        it = m_scan.fragment;
    for (; block.isValid() && block.position() < to; block = block.next(), it = block.begin()) {
        for (; !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            if (fragment.position() >= to)
                break;
            if (fragment.position() + fragment.length() <= from)
                continue;
            m_scan = { block, it, m_changes };
            if (!has(fragment.charFormat()))
                return false;
        }
        // The paragraph separator that ends the block carries the next
        // block's char format.
        const int separator = block.position() + block.length() - 1;
        if (separator >= from && separator < to && block.next().isValid() && !has(block.next().charFormat()))
            return false;
    }
    return true;
}

void RichTextBox::setSelFontName(const QString& name)
{
    const auto family = FontCoverage::instance().find(name);
    QTextCharFormat f;
    f.setFontFamilies(QStringList { family ? family->drawnAs : name });
    // Undoes a previous font's "no font has these" (below).
    f.setFontStyleStrategy(QFont::PreferDefault);
    f.setProperty(kFamilyKeyProperty, name);
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
    // Glyphs no installed font has are drawn as the run's font draws what it
    // lacks, without Qt searching every font for them first.
    static const QString nobody = QStringLiteral("\0");
    std::vector<GlyphRun> runs;
    qint32 runStart = from;
    QString runFamily; // empty: the run's own font has these glyphs
    const auto endRun = [&](qint32 end) {
        if (!runFamily.isEmpty() && end > runStart) {
            QTextCharFormat f;
            if (runFamily == nobody)
                f.setFontStyleStrategy(QFont::NoFontMerging);
            else
                f.setFontFamilies(QStringList { runFamily });
            runs.push_back({ runStart, end, f });
        }
    };
    const QString& text = m_map.text();
    for (qint32 i = from; i < to;) {
        char32_t c = text.at(i).unicode();
        qint32 width = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            width = 2;
        }
        // Line breaks and other controls are drawn by no font.
        const bool drawn = c >= 0x20 && c != QChar::LineSeparator && c != QChar::ParagraphSeparator;
        QString wanted;
        if (drawn && !FontCoverage::covers(family, c)) {
            wanted = coverage.fallbackFor(c);
            if (wanted.isEmpty())
                wanted = nobody;
        }
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

void RichTextBox::setSelColor(glimra::Colour colour)
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
        m_earlyBlocks = viewport()->height() / std::max(1, fontMetrics().lineSpacing()) + 1;
        m_deferral = QTextCursor(document());
        m_deferral.beginEditBlock();
    }
    if (visible && m_deferring) {
        ProgramEdit edit(this);
        m_deferring = false;
        m_deferral.endEditBlock();
        m_deferral = QTextCursor();
    }
    QPlainTextEdit::setVisible(visible);
    if (visible && m_caretPending)
        moveCaret();
}

QTextCharFormat RichTextBox::documentFormatAt(qint32 position) const
{
    syncFromDocument();
    if (position < 0 || position >= m_map.length())
        return {};
    const qint32 p = m_map.characterStart(position);
    const int d = documentPosition(p);
    const QTextBlock block = document()->findBlock(d);
    if (isLineBreak(m_map.text().at(p)) || d == block.position() + block.length() - 1) {
        // A paragraph separator: its format is the next block's char format.
        return block.next().charFormat();
    }
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment frag = it.fragment();
        if (d >= frag.position() && d < frag.position() + frag.length())
            return frag.charFormat();
    }
    return {};
}

QString RichTextBox::drawnFamilyAt(qint32 position) const
{
    return documentFormatAt(position).fontFamilies().toStringList().value(0);
}

CharFormat RichTextBox::charFormatAt(qint32 position) const
{
    const QTextCharFormat f = documentFormatAt(position);
    if (!f.isValid() || f.properties().isEmpty())
        return {};
    CharFormat out;
    out.fontName = f.hasProperty(kFamilyKeyProperty) ? f.stringProperty(kFamilyKeyProperty)
                                                     : f.fontFamilies().toStringList().value(0);
    out.pointSize = f.fontPointSize();
    out.weight = f.fontWeight();
    out.italic = f.fontItalic();
    if (f.hasProperty(kColourProperty))
        out.colour = glimra::Colour(f.property(kColourProperty).toUInt());
    out.property17 = f.intProperty(kProperty17);
    out.charset = f.intProperty(kCharsetProperty);
    return out;
}

CharFormat RichTextBox::defaultCharFormat()
{
    CharFormat f;
    f.fontName = glimra::kLabelFontName;
    f.pointSize = glimra::kLabelFontSize;
    f.weight = glimra::kLabelFontWeight;
    f.charset = glimra::kLabelFontCharset;
    return f;
}

QMimeData* RichTextBox::createMimeDataFromSelection() const
{
    // Copying keeps what the user sees: rich text beside the plain text, on
    // the view's background, each run in the installed family the program
    // set, followed by the one that stood in for its missing glyphs. A name
    // no font has (the label font's, a generic one) is copied as the family
    // that drew it, so that other programs find every family.
    const QTextCursor selection = textCursor();
    const int from = selection.selectionStart();
    const int to = selection.selectionEnd();
    std::unique_ptr<QTextDocument> copy(document()->clone());
    FontCoverage& fonts = FontCoverage::instance();
    for (QTextBlock block = document()->findBlock(from); block.isValid() && block.position() < to;
         block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const int a = std::max(fragment.position(), from);
            const int b = std::min(fragment.position() + fragment.length(), to);
            const QTextCharFormat f = fragment.charFormat();
            if (a >= b || !f.hasProperty(kFamilyKeyProperty))
                continue;
            const QString name = f.stringProperty(kFamilyKeyProperty);
            const QString drawn = f.fontFamilies().toStringList().value(0);
            QStringList families;
            if (fonts.isInstalled(name) || drawn.isEmpty())
                families.append(name);
            if (!drawn.isEmpty() && drawn != name)
                families.append(drawn);
            for (QString& family : families)
                family = cssEscaped(family);
            QTextCursor named(copy.get());
            named.setPosition(a);
            named.setPosition(b, QTextCursor::KeepAnchor);
            QTextCharFormat format;
            format.setFontFamilies(families);
            named.mergeCharFormat(format);
        }
    }
    QTextCursor copied(copy.get());
    copied.setPosition(from);
    copied.setPosition(to, QTextCursor::KeepAnchor);
    const QBrush background = palette().color(QPalette::Base);
    QTextCharFormat onBackground;
    onBackground.setBackground(background);
    copied.mergeCharFormat(onBackground);
    QTextBlockFormat blockBackground;
    blockBackground.setBackground(background);
    copied.mergeBlockFormat(blockBackground);
    auto* mime = new QMimeData;
    mime->setText(QTextDocumentFragment(selection).toPlainText());
    mime->setHtml(QTextDocumentFragment(copied).toHtml());
    return mime;
}

} // namespace view
