#include "document.h"

#include <QPalette>
#include <QTextCursor>

namespace banner
{

QVariant Document::loadResource(int type, const QUrl&)
{
    // A never-null answer: an empty one would send Qt's image handler to
    // read the name as a local file.
    if (type == QTextDocument::ImageResource) {
        QImage none(1, 1, QImage::Format_ARGB32);
        none.fill(Qt::transparent);
        return none;
    }
    return QByteArray("");
}

namespace
{

    QSize drawnSize(const Run& run, const QImage& image)
    {
        if (run.size.isValid())
            return run.size;
        const QSize own = image.deviceIndependentSize().toSize();
        const QSize bound(kMaxPictureSide, kMaxPictureSide);
        return own.boundedTo(bound) == own ? own : own.scaled(bound, Qt::KeepAspectRatio);
    }

} // namespace

void build(QTextDocument& document, const Page& page, const QHash<QUrl, QImage>& pictures)
{
    for (const auto& [url, image] : pictures.asKeyValueRange())
        // Keyed as the pictures' names below will be read back.
        document.addResource(QTextDocument::ImageResource, QUrl(url.toString()), image);

    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    bool first = true;
    for (const Paragraph& paragraph : page.paragraphs) {
        QTextBlockFormat block;
        block.setAlignment(paragraph.alignment);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block, QTextCharFormat());
        first = false;
        for (const Run& run : paragraph.runs) {
            QTextCharFormat format;
            format.setFontWeight(run.bold ? QFont::Bold : QFont::Normal);
            format.setFontItalic(run.italic);
            format.setFontUnderline(run.underline || !run.link.isEmpty());
            if (!run.link.isEmpty()) {
                format.setAnchor(true);
                format.setForeground(QPalette().link());
                format.setAnchorHref(run.link.toString());
            }
            if (run.picture.isEmpty()) {
                cursor.insertText(run.text, format);
                continue;
            }
            const QImage image = pictures.value(run.picture);
            if (image.isNull())
                continue;
            QTextImageFormat picture;
            picture.merge(format);
            picture.setName(run.picture.toString());
            const QSize size = drawnSize(run, image);
            picture.setWidth(size.width());
            picture.setHeight(size.height());
            cursor.insertImage(picture);
        }
    }
    cursor.endEditBlock();
}

} // namespace banner
