#pragma once

// Pages and pictures as a server hands them out, for the banner's tests.

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

// A picture of one colour, red: easy to find again on the screen.
inline QImage redImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::red);
    return image;
}

// The piece of markup so many times over, as hostile pages nest or repeat it.
inline QByteArray repeated(const QByteArray& piece, int times)
{
    QByteArray all;
    all.reserve(piece.size() * times);
    for (int i = 0; i < times; ++i)
        all += piece;
    return all;
}
