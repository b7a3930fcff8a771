// The program's text in the view: set whole, grown by the build's text pass,
// and read back with the user's edits folded in.

#include "format_properties.h"
#include "rich_text_box.h"
#include "tuning.h"

#include <QTextBlock>

namespace view
{

using namespace detail;

namespace
{

    // How far past a position the document catches up to a line's end.
    constexpr qsizetype kCatchUpReach = 4096;

} // namespace

void RichTextBox::setText(const QString& text)
{
    syncFromDocument();
    m_text.map.assign(text);
    m_selection = {};
    m_writer.rebuild(text, defaultFormat());
    m_text.inDocument = m_text.map.length();
}

QString RichTextBox::text() const
{
    syncFromDocument();
    return m_text.map.text();
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
        m_box->m_text.map.giveBack(std::move(m_text), m_heldLength);
    }
}

RichTextBox::HeldText RichTextBox::takeText()
{
    syncFromDocument();
    return HeldText(this, m_text.map.take());
}

void RichTextBox::setText(HeldText&& held)
{
    Q_ASSERT(held.m_box == this);
    held.m_box = nullptr;
    // The held text could only grow, so the view's own text is its start.
    takeBack(std::move(held.m_text), held.m_heldLength);
}

void RichTextBox::takeBack(QString text, qsizetype kept)
{
    const bool grew = text.size() > kept;
    // A CR at the document's end and an LF after it become one line break.
    const bool joins
        = grew && kept > 0 && m_text.inDocument == kept && text.at(kept - 1) == u'\r' && text.at(kept) == u'\n';
    m_text.map.giveBack(std::move(text), kept);
    m_selection = {};
    if (!m_writer.canAppend() || joins) {
        m_writer.rebuild(m_text.map.text(), defaultFormat());
        m_text.inDocument = m_text.map.length();
    } else if (!(VIEW_MECHANISM_ON(insertWhenReached) && m_hidden.active())) {
        catchUp(m_text.map.length());
    }
}

void RichTextBox::catchUp(qint32 position)
{
    const QString& text = m_text.map.text();
    qint32 end = std::min(position, m_text.map.length());
    if (end <= m_text.inDocument)
        return;
    // On to the end of the line, its break included, where that is near:
    // one insertion an entry, however many steps format it.
    if (const qsizetype lf = QStringView(text).mid(end, kCatchUpReach).indexOf(u'\n'); lf >= 0)
        end += qint32(lf) + 1;
    // Never between a CR and its LF (the pair is one paragraph separator),
    // nor inside a surrogate pair: a format merged up to its end would miss
    // the half inserted later.
    if (end < text.size()
        && ((text.at(end - 1) == u'\r' && text.at(end) == u'\n')
            || (text.at(end - 1).isHighSurrogate() && text.at(end).isLowSurrogate())))
        ++end;
    m_writer.append(QStringView(text).mid(m_text.inDocument, end - m_text.inDocument), defaultFormat());
    m_text.inDocument = end;
}

void RichTextBox::syncFromDocument() const
{
    if (!m_text.userEdited)
        return;
    m_text.userEdited = false;
    QString text;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            text += QStringLiteral("\r\n");
        text += block.text();
    }
    m_text.map.assign(std::move(text));
    m_text.inDocument = m_text.map.length();
}

} // namespace view
