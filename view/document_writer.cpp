#include "document_writer.h"

#include "format_properties.h"
#include "tuning.h"

#include <QTextCursor>

namespace view
{

DocumentWriter::DocumentWriter(QTextDocument* document)
    : m_document(document)
{
}

DocumentWriter::Edit::Edit(DocumentWriter& writer)
    : m_writer(writer)
{
    if (m_writer.m_edits++ == 0)
        m_writer.m_document->setUndoRedoEnabled(false);
}

DocumentWriter::Edit::~Edit()
{
    if (--m_writer.m_edits == 0)
        m_writer.m_document->setUndoRedoEnabled(true);
    m_writer.noteChange();
}

void DocumentWriter::noteChange() { ++m_changes; }

void DocumentWriter::rebuild(const QString& text, const QTextCharFormat& format)
{
    m_later = {};
    Edit edit(*this);
    QTextCursor cursor(m_document);
    cursor.select(QTextCursor::Document);
    cursor.removeSelectedText();
    cursor.setBlockCharFormat(format);
    cursor.setCharFormat(format);
    m_allDefault = true;
    // insertText makes one paragraph separator of each CR LF, CR or LF.
    if (!text.isEmpty())
        cursor.insertText(text, format);
}

bool DocumentWriter::canAppend() const { return m_allDefault && VIEW_MECHANISM_ON(appendWhenExtending); }

void DocumentWriter::append(QStringView text, const QTextCharFormat& format)
{
    settle();
    Edit edit(*this);
    QTextCursor cursor(m_document);
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(text.toString(), format);
}

void DocumentWriter::applyAfter(std::vector<Run> runs, int from, int to)
{
    settle();
    m_later = { std::move(runs), from, to, {} };
    for (const Run& run : m_later.runs) {
        for (const int property : run.format.properties().keys()) {
            if (!m_later.properties.contains(property))
                m_later.properties.append(property);
        }
    }
}

void DocumentWriter::settle()
{
    std::vector<Run> runs = std::exchange(m_later.runs, {});
    for (const Run& run : runs)
        apply(run.format, run.from, run.to, false);
}

void DocumentWriter::apply(const QTextCharFormat& format, int from, int to, bool skipNoOps)
{
    // Runs are held only inside a hidden view's edit block, where no format
    // is checked first: a check would read the range without them.
    Q_ASSERT(!skipNoOps || m_later.runs.empty());
    const bool beforeTheRuns = from == m_later.from && to == m_later.to
        && std::none_of(m_later.properties.begin(), m_later.properties.end(),
            [&format](int property) { return format.hasProperty(property); });
    if (!beforeTheRuns)
        settle();
    if (from >= to || (skipNoOps && rangeHas(format, from, to)))
        return;
    Edit edit(*this);
    QTextCursor cursor(m_document);
    cursor.setPosition(from);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
    m_allDefault = false;
}

bool DocumentWriter::rangeHas(const QTextCharFormat& format, int from, int to) const
{
    Q_ASSERT(m_later.runs.empty()); // settle() first
    const QMap<int, QVariant> wanted = format.properties();
    const auto has = [&](const QTextCharFormat& f) {
        for (auto it = wanted.begin(); it != wanted.end(); ++it) {
            if (f.property(it.key()) != it.value())
                return false;
        }
        return true;
    };
    QTextBlock block = m_document->findBlock(from);
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
        const int separator = block.position() + block.length() - 1;
        if (separator >= from && separator < to && block.next().isValid() && !has(detail::separatorFormat(block)))
            return false;
    }
    return true;
}

} // namespace view
