#pragma once

// The banner page, made safe to show. The page is parsed by libxml2's HTML
// parser (which recovers from any markup) and rebuilt as a flat list of
// paragraphs of runs: text, links and pictures in bold, italic or underline.
// Nothing else survives: no tables, lists, frames, forms, scripts, styles,
// font sizes or colours, and every count is bounded, so that Qt's rich text
// always lays out a small, shallow document.

#include <QByteArray>
#include <QList>
#include <QSize>
#include <QString>
#include <QUrl>

#include <optional>

namespace banner
{

// Content nested deeper than this is dropped.
inline constexpr int kMaxDepth = 64;
// libxml2's HTML parser matches every end tag against each element still
// open, so its own work grows as tags times open elements. Both are bounded:
// past this many tags, start and end tags alike, the rest of the page is not
// even handed to the parser, and the parse stops where this many elements
// are open at once.
inline constexpr int kMaxTags = 16384;
inline constexpr int kMaxOpenElements = 4 * kMaxDepth;
inline constexpr int kMaxParagraphs = 128;
inline constexpr int kMaxRuns = 512;
inline constexpr int kMaxTextLength = 8192; // characters
inline constexpr int kMaxPictures = 32;
// Pictures are drawn at most this many pixels wide and high.
inline constexpr int kMaxPictureSide = 1024;

struct Run {
    QString text; // empty for a picture
    QUrl picture; // a picture's absolute web address
    QSize size; // the size the page asks for, bounded; invalid: the picture's own
    QUrl link; // an absolute web address, or empty
    bool bold = false;
    bool italic = false;
    bool underline = false;
};

struct Paragraph {
    Qt::Alignment alignment = Qt::AlignLeft;
    QList<Run> runs;
};

struct Page {
    QList<Paragraph> paragraphs;
    QList<QUrl> pictures; // the pictures' addresses, each once, in the order they first appear
};

// The page as it may be shown, or nothing when the body is no page (an
// image, a PDF...). The header's charset wins over the page's own <meta>.
std::optional<Page> sanitize(const QByteArray& body, const QByteArray& contentType, const QUrl& base);

} // namespace banner
