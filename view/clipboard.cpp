// The view's clipboard: what a copy of the selection carries.

#include "format_properties.h"
#include "rich_text_box.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextDocumentFragment>

#include <algorithm>
#include <memory>

namespace view
{

using namespace detail;

namespace
{

    // A family name as Qt's HTML writer must be given it to come out as a
    // valid CSS string: it quotes the name but does not escape it.
    QString cssEscaped(QString family)
    {
        family.replace(u'\\', QStringLiteral("\\\\"));
        family.replace(u'"', QStringLiteral("\\\""));
        return family;
    }

} // namespace

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
