#pragma once

// Pictures as a server hands them out, for the banner's tests.

#include <QBuffer>
#include <QByteArray>
#include <QImage>

// The image encoded as a PNG file.
inline QByteArray png(const QImage& image)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
