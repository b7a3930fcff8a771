#pragma once

// The sanitized banner page as Qt rich text: built with a cursor, never from
// markup, into a document that is not laid out until it is shown, and that
// answers every resource from what it was given, never from the disk.

#include "sanitizer.h"

#include <QHash>
#include <QImage>
#include <QTextDocument>

namespace banner
{

class Document : public QTextDocument
{
public:
    using QTextDocument::QTextDocument;

protected:
    // Qt's own loadResource reads file: and qrc: names from the disk.
    QVariant loadResource(int type, const QUrl& name) override;
};

// Fills an empty document with the page. A picture not in `pictures` (not
// arrived, refused) is left out; the others are drawn at the size the page
// asks for, or their own (as their pixel ratio gives it), within
// kMaxPictureSide.
void build(QTextDocument& document, const Page& page, const QHash<QUrl, QImage>& pictures);

} // namespace banner
