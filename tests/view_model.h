#pragma once

// The preview view's contract as a reference model, for the tests and the
// fuzz harness to check a RichTextBox against: the program's text is cut
// into characters (a CR LF pair and a surrogate pair are one character
// each), every character carries a format, and a character is selected when
// its first code unit lies in [start, start + length).

#include "view_reader.h"

#include <QString>

#include <algorithm>
#include <vector>

namespace view
{

class Model
{
public:
    void setText(const QString& text)
    {
        m_text = text;
        m_charStart.clear();
        for (qsizetype i = 0; i < text.size(); ++i) {
            m_charStart.push_back(i);
            const bool crlf = text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n';
            const bool pair = text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
            if (crlf || pair)
                ++i;
        }
        m_formats.assign(m_charStart.size(), defaultCharFormat());
        m_start = 0;
        m_length = 0;
    }
    void setSelStart(qint32 s)
    {
        m_start = std::min<qint32>(s, qint32(m_text.size()));
        m_length = 0;
    }
    void setSelLength(qint32 l) { m_length = l; }
    template <typename F> void apply(F&& change)
    {
        const qint64 end = qint64(m_start) + m_length;
        for (size_t c = 0; c < m_charStart.size(); ++c) {
            if (m_charStart[c] >= m_start && m_charStart[c] < end)
                change(m_formats[c]);
        }
    }
    CharFormat formatAt(qsizetype unit) const
    {
        const auto it = std::upper_bound(m_charStart.begin(), m_charStart.end(), unit);
        return m_formats[size_t(it - m_charStart.begin() - 1)];
    }
    const QString& text() const { return m_text; }
    // Document length: one paragraph separator per CR LF pair, every other
    // code unit as it is.
    qsizetype documentLength() const { return m_text.size() - m_text.count(QStringLiteral("\r\n")); }

private:
    QString m_text;
    std::vector<qsizetype> m_charStart;
    std::vector<CharFormat> m_formats;
    qint32 m_start = 0;
    qint32 m_length = 0;
};

} // namespace view
