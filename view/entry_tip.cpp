#include "entry_tip.h"

#include "base/constants.h"
#include "format_properties.h"

#include <QSet>
#include <QTextBlock>
#include <QTextDocument>

#include <vector>

namespace view
{

using glimra::FontCoverage;
using namespace detail;

namespace
{

    // The build marks each name label, and only those, with property 17.
    bool isNameLabel(const QTextCharFormat& format) { return format.intProperty(kProperty17) != 0; }

    // The document position where the block's name label starts, or -1.
    int nameLabelIn(const QTextBlock& block)
    {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (isNameLabel(it.fragment().charFormat()))
                return it.fragment().position();
        }
        return -1;
    }

    // The font name set on the first of the sample's characters that has
    // one, after the user's edits too (typed text takes its neighbour's).
    QString fontNameIn(QTextBlock block, int end)
    {
        for (; block.isValid() && block.position() < end; block = block.next()) {
            for (auto it = block.begin(); !it.atEnd(); ++it) {
                const QTextFragment fragment = it.fragment();
                if (fragment.position() >= end)
                    return {};
                const QTextCharFormat format = fragment.charFormat();
                // Text typed at a line's start may take the label font's.
                const QString name = format.stringProperty(kFamilyKeyProperty);
                if (!name.isEmpty() && name != glimra::kLabelFontName && !isNameLabel(format))
                    return name;
            }
        }
        return {};
    }

    // A name label as the build writes it: " (" name ")".
    QString nameInLabel(QString label)
    {
        label = label.trimmed();
        if (label.startsWith(u'(') && label.endsWith(u')'))
            return label.mid(1, label.size() - 2);
        return label;
    }

    // No one's to lack: white space, line breaks and other controls, and
    // halves of surrogate pairs standing alone.
    bool counted(char32_t c)
    {
        const QChar::Category category = QChar::category(c);
        return !QChar::isSpace(c) && category != QChar::Other_Control && category != QChar::Other_Surrogate
            && category != QChar::Separator_Line && category != QChar::Separator_Paragraph;
    }

} // namespace

Lack lackOf(const FontCoverage::Family& font, QStringView sample)
{
    FontCoverage& coverage = FontCoverage::instance();
    Lack lack;
    // Seen before: a bit per character of the Basic Multilingual Plane, so
    // that a long sample costs one pass with no hashing.
    std::vector<bool> seenBasic(0x10000);
    QSet<char32_t> seenBeyond;
    QSet<QString> families;
    for (qsizetype i = 0; i < sample.size();) {
        char32_t c = sample.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < sample.size() && sample.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(char16_t(c), sample.at(i + 1).unicode());
            i += 2;
            if (seenBeyond.contains(c))
                continue;
            seenBeyond.insert(c);
        } else {
            ++i;
            if (seenBasic[c])
                continue;
            seenBasic[c] = true;
        }
        if (!counted(c) || FontCoverage::covers(font, c))
            continue;
        if (++lack.count <= kTipCharacters)
            lack.first.append(QString::fromUcs4(&c, 1));
        else
            lack.more = true;
        const QString family = coverage.fallbackFor(c);
        if (family.isEmpty())
            ++lack.inNoFont;
        else if (!families.contains(family)) {
            families.insert(family);
            lack.standIns.append(family);
        }
    }
    return lack;
}

std::optional<Entry> entryAt(const QTextDocument& document, int position)
{
    // The entry ends in the first block from here that holds a name label,
    // and starts after the block that holds the one before; the document's
    // first block is the line break before the first entry.
    QTextBlock last = document.findBlock(position);
    int label = -1;
    while (last.isValid() && (label = nameLabelIn(last)) < 0)
        last = last.next();
    if (!last.isValid())
        return std::nullopt;
    QTextBlock first = last;
    for (QTextBlock block = last.previous(); block.isValid() && block != document.begin() && nameLabelIn(block) < 0;
         block = block.previous())
        first = block;
    if (position < first.position())
        return std::nullopt;

    Entry entry;
    entry.from = first.position();
    entry.to = last.position() + last.length() - 1;
    for (QTextBlock block = first; block != last; block = block.next())
        entry.sample += block.text() + u'\n';
    const QString lastLine = last.text();
    entry.sample += QStringView(lastLine).left(label - last.position());
    entry.fontName = fontNameIn(first, label);
    if (entry.fontName.isEmpty())
        entry.fontName = nameInLabel(lastLine.mid(label - last.position()));
    return entry;
}

QString entryTipText(const QString& fontName, QStringView sample)
{
    QStringList lines { fontName };
    const auto font = FontCoverage::instance().find(fontName);
    if (!font) {
        lines << glimra::tip::NotInstalled;
        return lines.join(u'\n');
    }
    const Lack lack = lackOf(*font, sample);
    if (lack.count == 0) {
        lines << glimra::tip::AllDrawn;
        return lines.join(u'\n');
    }
    lines << glimra::tip::Lacks.arg(lack.count);
    lines << lack.first.join(u' ') + (lack.more ? glimra::tip::Ellipsis : QString());
    lines << glimra::tip::Grey;
    if (!lack.standIns.isEmpty()) {
        QString families = lack.standIns.mid(0, kTipFamilies).join(glimra::tip::ListSeparator);
        if (lack.standIns.size() > kTipFamilies)
            families += glimra::tip::MoreFamilies.arg(lack.standIns.size() - kTipFamilies);
        lines << glimra::tip::DrawnBy.arg(families);
    }
    if (lack.inNoFont > 0)
        lines << glimra::tip::InNoFont.arg(lack.inNoFont);
    return lines.join(u'\n');
}

} // namespace view
