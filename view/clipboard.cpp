// The view's clipboard: what a copy of the selection carries.

#include "format_properties.h"
#include "rich_text_box.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <memory>
#include <vector>

namespace view
{

using namespace detail;

namespace
{

    // A cursor selecting the document's positions from..to.
    QTextCursor spanning(QTextDocument& document, int from, int to)
    {
        QTextCursor cursor(&document);
        cursor.setPosition(from);
        cursor.setPosition(to, QTextCursor::KeepAnchor);
        return cursor;
    }

    // A family name as Qt's HTML writer must be given it to come out as a
    // valid CSS string: it quotes the name but does not escape it.
    QString cssEscaped(QString family)
    {
        family.replace(u'\\', QStringLiteral("\\\\"));
        family.replace(u'"', QStringLiteral("\\\""));
        return family;
    }

    // A line break inside a font's name, as the name holds it.
    enum class NameBreak { Cr, Lf, CrLf, LineSeparator, ParagraphSeparator };

    struct BreakInName {
        int document; // where the document holds it, one character
        NameBreak kind;
    };

    // How each break is written. Pasted as plain text, a name's line break
    // would split its entry over two lines, and a space would make it another
    // font's name: it is written as the escape C, JSON and most programmers'
    // tools read. In HTML the characters themselves, as references: a reader
    // folds them into the line as white space instead of starting a paragraph.
    struct BreakSpelling {
        const char* escaped;
        const char* referenced;
    };
    constexpr BreakSpelling kBreakSpellings[] = {
        { "\\r", "&#13;" }, // NameBreak::Cr
        { "\\n", "&#10;" }, // NameBreak::Lf
        { "\\r\\n", "&#13;&#10;" }, // NameBreak::CrLf
        { "\\u2028", "&#8232;" }, // NameBreak::LineSeparator
        { "\\u2029", "&#8233;" }, // NameBreak::ParagraphSeparator
    };
    QString escaped(NameBreak kind) { return QLatin1String(kBreakSpellings[int(kind)].escaped); }
    QString referenced(NameBreak kind) { return QLatin1String(kBreakSpellings[int(kind)].referenced); }

    // A private-use character that neither the text nor any family name in
    // the document holds, to stand in for the breaks while Qt writes the HTML.
    QChar unusedMark(const QTextDocument& document, QStringView text)
    {
        QString used;
        for (const QTextFormat& format : document.allFormats())
            used += format.toCharFormat().fontFamilies().toStringList().join(QString());
        char16_t mark = 0xE000;
        while ((text.contains(QChar(mark)) || used.contains(QChar(mark))) && mark < 0xF8FF)
            ++mark;
        return QChar(mark);
    }

    // Step 1, the rich copy: what the user sees, on the view's background,
    // each run in the installed family the program set, followed by the one
    // that stood in for its missing glyphs. A name no font has (the label
    // font's, a generic one) is copied as the family that drew it, so that
    // other programs find every family.
    std::unique_ptr<QTextDocument> copyAsShown(
        const QTextDocument& document, const QBrush& background, int from, int to)
    {
        std::unique_ptr<QTextDocument> copy(document.clone());
        // In one edit block, a cursor placed in the copy asks for no layout:
        // else each run's merge would lay its whole block out again.
        QTextCursor edit(copy.get());
        edit.beginEditBlock();
        FontCoverage& fonts = FontCoverage::instance();
        for (QTextBlock block = document.findBlock(from); block.isValid() && block.position() < to;
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
                QTextCharFormat format;
                format.setFontFamilies(families);
                spanning(*copy, a, b).mergeCharFormat(format);
            }
        }
        QTextCursor everything = spanning(*copy, from, to);
        QTextCharFormat onBackground;
        onBackground.setBackground(background);
        everything.mergeCharFormat(onBackground);
        QTextBlockFormat blockBackground;
        blockBackground.setBackground(background);
        everything.mergeBlockFormat(blockBackground);
        edit.endEditBlock();
        return copy;
    }

    // Step 2, the plain copy. The program's own line breaks are CR LF pairs
    // outside the name labels, which the program marks with property 17; any
    // other line break in a label is part of a font's name, and must not
    // split its entry.
    struct PlainCopy {
        QString text;
        std::vector<BreakInName> breaks;
    };
    PlainCopy plainCopy(const QTextDocument& document, const PositionMap& map, int from, int to)
    {
        const QString& text = map.text();
        const qint32 end = map.programPosition(to);
        PlainCopy copy;
        for (qint32 p = map.programPosition(from); p < end; ++p) {
            const QChar c = text.at(p);
            const bool pair = c == u'\r' && p + 1 < end && text.at(p + 1) == u'\n';
            if (c != u'\r' && c != u'\n' && c != QChar::LineSeparator && c != QChar::ParagraphSeparator) {
                copy.text += c;
                continue;
            }
            const qint32 at = p;
            p += pair ? 1 : 0;
            if (documentFormatAt(document, map, at).intProperty(kProperty17) == 0) {
                copy.text += u'\n';
                continue;
            }
            const NameBreak kind = pair     ? NameBreak::CrLf
                : c == u'\r'                ? NameBreak::Cr
                : c == u'\n'                ? NameBreak::Lf
                : c == QChar::LineSeparator ? NameBreak::LineSeparator
                                            : NameBreak::ParagraphSeparator;
            copy.breaks.push_back({ map.documentPosition(at), kind });
            copy.text += escaped(kind);
        }
        return copy;
    }

    // Step 3, the rich copy as HTML: each break in a name becomes a mark and
    // the break's number in the copy, from the end so that the positions
    // before stay true, and the mark a character reference in the HTML.
    QString htmlCopy(QTextDocument& copy, QStringView text, const std::vector<BreakInName>& breaks, int from, int to)
    {
        const QChar mark = unusedMark(copy, text);
        for (auto it = breaks.rbegin(); it != breaks.rend(); ++it) {
            QTextCursor at(&copy);
            at.setPosition(it->document);
            const QTextCharFormat format = at.charFormat();
            at.setPosition(it->document + 1, QTextCursor::KeepAnchor);
            at.insertText(QString(mark) + QChar(u'0' + int(it->kind)), format);
        }
        QString html = QTextDocumentFragment(spanning(copy, from, to + int(breaks.size()))).toHtml();
        for (const NameBreak kind :
            { NameBreak::Cr, NameBreak::Lf, NameBreak::CrLf, NameBreak::LineSeparator, NameBreak::ParagraphSeparator })
            html.replace(QString(mark) + QChar(u'0' + int(kind)), referenced(kind));
        return html;
    }

} // namespace

QMimeData* RichTextBox::createMimeDataFromSelection() const
{
    // Copying keeps what the user sees: rich text beside the plain text.
    const QTextCursor selection = textCursor();
    const int from = selection.selectionStart();
    const int to = selection.selectionEnd();
    syncFromDocument();
    std::unique_ptr<QTextDocument> copy = copyAsShown(*document(), palette().color(QPalette::Base), from, to);
    const PlainCopy plain = plainCopy(*document(), m_text.map, from, to);
    auto* mime = new QMimeData;
    mime->setText(plain.text);
    mime->setHtml(htmlCopy(*copy, m_text.map.text(), plain.breaks, from, to));
    return mime;
}

} // namespace view
