#include "position_map.h"

#include "format_properties.h"

#include <QTextBlock>
#include <QTextDocument>

#include <algorithm>

namespace view
{

void PositionMap::assign(QString text)
{
    m_text = std::move(text);
    m_crlfEnds.clear();
    index(0);
}

QString PositionMap::take() { return std::exchange(m_text, QString()); }

void PositionMap::giveBack(QString text, qsizetype keptLength)
{
    m_text = std::move(text);
    // The index runs over the kept part already; a CR that ended it may now
    // be followed by an LF.
    index(keptLength);
}

void PositionMap::index(qsizetype from)
{
    const QChar* data = m_text.constData();
    const qsizetype n = m_text.size();
    for (qsizetype i = std::max<qsizetype>(from, 1); i < n; ++i) {
        if (data[i] == u'\n' && data[i - 1] == u'\r')
            m_crlfEnds.push_back(qint32(i));
    }
}

int PositionMap::documentPosition(qint32 position) const
{
    const qint32 n = length();
    qint32 p = std::clamp<qint32>(position, 0, n);
    // Never split a surrogate pair: move to its end.
    if (p > 0 && p < n && m_text.at(p).isLowSurrogate() && m_text.at(p - 1).isHighSurrogate())
        ++p;
    // Each CR LF pair ending before p is one document character, not two.
    // An LF at p itself is inside its pair, and the pair counts in full.
    const auto pairsBefore = std::lower_bound(m_crlfEnds.begin(), m_crlfEnds.end(), p) - m_crlfEnds.begin();
    return int(p - pairsBefore);
}

qint32 PositionMap::programPosition(int document) const
{
    qint32 low = 0;
    qint32 high = length();
    while (low < high) {
        const qint32 middle = low + (high - low) / 2;
        if (documentPosition(middle) < document)
            low = middle + 1;
        else
            high = middle;
    }
    return characterStart(low) == low ? low : low + 1;
}

qint32 PositionMap::characterStart(qint32 position) const
{
    const qint32 p = position;
    if (p <= 0 || p >= length())
        return p;
    if (m_text.at(p) == u'\n' && m_text.at(p - 1) == u'\r')
        return p - 1;
    if (m_text.at(p).isLowSurrogate() && m_text.at(p - 1).isHighSurrogate())
        return p - 1;
    return p;
}

QTextCharFormat documentFormatAt(const QTextDocument& document, const PositionMap& map, qint32 position)
{
    if (position < 0 || position >= map.length())
        return {};
    const qint32 p = map.characterStart(position);
    const int d = map.documentPosition(p);
    const QTextBlock block = document.findBlock(d);
    const QChar c = map.text().at(p);
    if (c == u'\r' || c == u'\n' || d == block.position() + block.length() - 1)
        return detail::separatorFormat(block);
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (d >= fragment.position() && d < fragment.position() + fragment.length())
            return fragment.charFormat();
    }
    return {};
}

} // namespace view
