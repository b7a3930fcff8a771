#include "pictures.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <array>
#include <cmath>

namespace banner
{

namespace
{
    // The formats a banner needs, each of whose readers decodes the size its
    // header tells. Others need not: an ICO's directory may say 16x16 of an
    // entry that is a PNG of thousands of pixels a side, decoded whole.
    constexpr std::array<std::string_view, 3> kFormats = { "gif", "jpeg", "png" };

    bool isBannerFormat(const QByteArray& format)
    {
        return std::find(kFormats.begin(), kFormats.end(), std::string_view(format.constData())) != kFormats.end();
    }

    // What any reader may allocate at once, whatever the header told: a
    // GIF's reader tells the size of its first frame, then allocates the
    // screen the file claims, which may be thousands of pixels a side.
    void limitReaders()
    {
        static const bool limited = [] {
            QImageReader::setAllocationLimit(int(kMaxHeldBytes / (1024 * 1024)));
            return true;
        }();
        Q_UNUSED(limited);
    }

    // What a reader must hold at once to give a picture of `full` pixels, in
    // `format` (as its header says), as `kind` ("png", "jpeg", ...) at `target`:
    // the whole picture, save JPEG, which libjpeg decodes at M/8 of its size
    // for the smallest M in 1..8 that still covers the target, as Qt asks it.
    qint64 heldBytes(QSize full, QImage::Format format, const QByteArray& kind, QSize target)
    {
        QSize held = full;
        if (kind == "jpeg" && !target.isEmpty()) {
            const double times
                = std::min(double(full.width()) / target.width(), double(full.height()) / target.height());
            const qint64 eighths = std::clamp(qint64(std::ceil(8 / times)), qint64(1), qint64(8));
            held = QSize(int((full.width() * eighths + 7) / 8), int((full.height() * eighths + 7) / 8));
        }
        // Readers hand out at least 32 bits a pixel once converted; a format
        // the header does not tell is taken at its deepest.
        const int bits
            = format == QImage::Format_Invalid ? 64 : std::max(32, int(QImage::toPixelFormat(format).bitsPerPixel()));
        return qint64(held.width()) * held.height() * (bits / 8);
    }
} // namespace

QHash<QUrl, DecodeSize> decodeSizes(const Page& page, QSize pane, qreal scale)
{
    const QSize largest(kMaxPictureSide, kMaxPictureSide);
    const QSize ownBound = pane.isEmpty() ? largest : pane.boundedTo(largest);
    QHash<QUrl, DecodeSize> sizes;
    for (const Paragraph& paragraph : page.paragraphs) {
        for (const Run& run : paragraph.runs) {
            if (run.picture.isEmpty())
                continue;
            DecodeSize& size = sizes[run.picture];
            const bool first = !size.box.isValid();
            const QSize drawn = run.size.isValid() ? run.size : ownBound;
            size.exact = run.size.isValid() && (first || size.exact);
            size.box = first ? drawn : size.box.expandedTo(drawn);
        }
    }
    qint64 total = 0;
    for (DecodeSize& size : sizes) {
        size.box = QSize(int(std::ceil(size.box.width() * scale)), int(std::ceil(size.box.height() * scale)));
        total += qint64(size.box.width()) * size.box.height();
    }
    if (total > kMaxPagePixels) {
        // Each shrunk alike, rounded down: drawn as large as before, only
        // with fewer pixels of its own.
        const double shrink = std::sqrt(double(kMaxPagePixels) / double(total));
        for (DecodeSize& size : sizes)
            size.box = QSize(std::max(1, int(size.box.width() * shrink)), std::max(1, int(size.box.height() * shrink)));
    }
    return sizes;
}

QImage decodePicture(const QByteArray& bytes, DecodeSize size)
{
    limitReaders();
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    // A small file can claim a huge picture; its header says so first.
    const QSize full = reader.size();
    if (!isBannerFormat(reader.format()) || full.isEmpty() || size.box.isEmpty())
        return {};
    QSize target = size.exact ? size.box.boundedTo(full)
                              : (full.boundedTo(size.box) == full ? full : full.scaled(size.box, Qt::KeepAspectRatio));
    target = target.expandedTo(QSize(1, 1));
    if (heldBytes(full, reader.imageFormat(), reader.format(), target) > kMaxHeldBytes)
        return {};
    if (target != full)
        reader.setScaledSize(target);
    // Smooth scaling and libjpeg's accurate transform.
    reader.setQuality(100);
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.size() != target)
        image = image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
}

} // namespace banner
