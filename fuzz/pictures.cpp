// The banner's pictures, whatever the bytes claim: a decode gives nothing,
// or an image no larger than it was asked for, as the view draws it best.
// What a reader holds is bounded by the fuzzer's -malloc_limit_mb and the
// replay's --max-growth-mb, both set at kMaxHeldBytes. The file's length
// picks the box it is decoded for, so that a file kept from anywhere replays
// as it is.

#include "check.h"

#include "banner/pictures.h"

#include <QCoreApplication>

#include <cstdint>

// Made once for every input. The replay ends it before the program's statics
// go: left to them, it would outlive the ones Qt made for it.
static QCoreApplication* g_app = nullptr;

extern "C" void glimraFuzzerCleanup()
{
    delete g_app;
    g_app = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    // Qt's image plugins are found through the application.
    g_app = new QCoreApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const int side = 16 << (size % 7); // 16 to 1024
    const QSize box(side, size % 3 ? side : side / 2);
    const bool exact = (size / 7) % 2;
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QImage image = banner::decodePicture(bytes, { box, exact });
    if (image.isNull())
        return 0;
    FUZZ_CHECK(image.width() <= box.width() && image.height() <= box.height());
    FUZZ_CHECK(image.format() == QImage::Format_ARGB32_Premultiplied || image.format() == QImage::Format_RGB32);
    return 0;
}
