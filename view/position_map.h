#pragma once

// PositionMap: the program's text beside the document that shows it.
//
// Positions and lengths are UTF-16 code units over the text exactly as the
// program set it, a CR LF pair counting as two. The document makes one
// paragraph separator of every line break, so a program position maps to a
// document position by subtracting the CR LF pairs that end before it. A
// position inside a CR LF pair or a surrogate pair moves forward to the end
// of that character, so no character is ever split: a character is selected
// when its first code unit is.

#include <QString>
#include <QTextCharFormat>

#include <vector>

class QTextDocument;

namespace view
{

class PositionMap
{
public:
    const QString& text() const { return m_text; }
    qint32 length() const { return qint32(m_text.size()); }

    // Replaces the whole text.
    void assign(QString text);
    // Hands the text out without copying it; the map is empty until
    // giveBack(). The index of its line breaks is kept for the return.
    QString take();
    // Takes back a text whose first `keptLength` code units are the ones
    // take() handed out, indexing only what was appended.
    void giveBack(QString text, qsizetype keptLength);

    // The document position a program position maps to.
    int documentPosition(qint32 position) const;
    // The inverse: the first program position that maps to `document` or
    // past it, moved on to the end of a CR LF pair or surrogate pair.
    qint32 programPosition(int document) const;
    // The first code unit of the character that holds `position`: a CR LF
    // pair's LF and a low surrogate belong to the character before them.
    qint32 characterStart(qint32 position) const;

private:
    void index(qsizetype from);

    QString m_text;
    // Program index of the LF of every CR LF pair, ascending.
    std::vector<qint32> m_crlfEnds;
};

// The document's format of the character at a program position; a line
// break's is that of the paragraph separator it became. Empty outside the
// text.
QTextCharFormat documentFormatAt(const QTextDocument& document, const PositionMap& map, qint32 position);

} // namespace view
