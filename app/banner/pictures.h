#pragma once

// The banner's pictures, decoded at the size they are drawn. A page names
// at most kMaxPictures, each a few KB on the wire that may unpack to many
// MB: each is decoded straight to its drawn size where its reader can (JPEG
// at an eighth or more, PNG of 8 bits a channel row by row), only when what
// its reader must hold at once stays within kMaxHeldBytes, and all of a
// page's pictures together to no more than kMaxPagePixels.

#include "sanitizer.h"

#include <QHash>
#include <QImage>
#include <QSize>
#include <QUrl>

namespace banner
{

// What one picture's reader may hold at once, whatever it is drawn at: a
// 2048x2048 picture of 16 bits a channel.
inline constexpr qint64 kMaxHeldBytes = qint64(32) * 1024 * 1024;
// All of a page's decoded pictures together, in pixels: 16 MB at four
// bytes a pixel, twice a full HD screen.
inline constexpr qint64 kMaxPagePixels = qint64(4) * 1024 * 1024;

// The size a picture is decoded at, in device pixels.
struct DecodeSize {
    QSize box;
    // The box itself, as the page draws it; otherwise the picture's own
    // shape fitted inside the box. Never larger than the picture itself.
    bool exact = false;

    bool operator==(const DecodeSize&) const = default;
};

// What each of the page's pictures is decoded at: the largest size it is
// drawn at, or, where the page gives none, the picture's own fitted within
// `pane` (and kMaxPictureSide); at `scale` device pixels a pixel; all shrunk
// alike when together they would pass kMaxPagePixels.
QHash<QUrl, DecodeSize> decodeSizes(const Page& page, QSize pane, qreal scale);

// The picture in `bytes` at `size`, as premultiplied ARGB32 (RGB32 when
// opaque), or a null image when it is none, or when its reader would have
// to hold more than kMaxHeldBytes, or is in a format a banner does not need
// (only GIF, JPEG and PNG are read). Sets Qt's allocation limit for every
// image reader at kMaxHeldBytes. Reentrant: runs on any thread.
QImage decodePicture(const QByteArray& bytes, DecodeSize size);

} // namespace banner
