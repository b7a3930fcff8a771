// The banner page, whatever a server sends: the sanitizer keeps within its
// counts, keeps only web addresses, and text without controls, folded white
// space or half a surrogate pair. The body's length picks the content type
// the header claims, so that a page kept from anywhere replays as it is.

#include "check.h"

#include "banner/sanitizer.h"
#include "banner/url_policy.h"

#include <cstdint>
#include <iterator>

namespace
{

const QByteArray kTypes[] = {
    "text/html",
    "text/html; charset=utf-8",
    "text/html; charset=\"Shift_JIS\"",
    "text/html; charset=utf-16",
    "text/html; charset=no-such-charset",
    "text/plain",
    "application/xhtml+xml",
    "",
    "image/png",
};

bool isText(const QByteArray& type)
{
    const QByteArray mime = type.split(';').first();
    return mime.isEmpty() || mime == "text/html" || mime == "text/plain" || mime == "application/xhtml+xml";
}

void checkText(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        FUZZ_CHECK(c == u' ' || !c.isSpace());
        FUZZ_CHECK(c.category() != QChar::Other_Control && c.category() != QChar::Other_Format);
        if (c.isHighSurrogate())
            FUZZ_CHECK(i + 1 < text.size() && text.at(i + 1).isLowSurrogate());
        if (c.isLowSurrogate())
            FUZZ_CHECK(i > 0 && text.at(i - 1).isHighSurrogate());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray& type = kTypes[size % std::size(kTypes)];
    const QByteArray body(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto page = banner::sanitize(body, type, QUrl(QStringLiteral("http://glimra-maker.example/002/gear.shtml")));
    FUZZ_CHECK(page.has_value() == isText(type));
    if (!page)
        return 0;

    FUZZ_CHECK(page->paragraphs.size() <= banner::kMaxParagraphs);
    FUZZ_CHECK(page->pictures.size() <= banner::kMaxPictures);
    qsizetype runs = 0, text = 0, pictures = 0;
    for (const banner::Paragraph& paragraph : page->paragraphs) {
        FUZZ_CHECK(!paragraph.runs.isEmpty());
        runs += paragraph.runs.size();
        for (const banner::Run& run : paragraph.runs) {
            checkText(run.text);
            text += run.text.size();
            FUZZ_CHECK(run.link.isEmpty() || banner::isWebUrl(run.link));
            if (run.picture.isEmpty()) {
                FUZZ_CHECK(!run.text.isEmpty() && !run.size.isValid());
                continue;
            }
            ++pictures;
            FUZZ_CHECK(run.text.isEmpty() && banner::isWebUrl(run.picture) && page->pictures.contains(run.picture));
            FUZZ_CHECK(!run.size.isValid()
                || (run.size.width() > 0 && run.size.width() <= banner::kMaxPictureSide && run.size.height() > 0
                    && run.size.height() <= banner::kMaxPictureSide));
        }
    }
    FUZZ_CHECK(runs <= banner::kMaxRuns && text <= banner::kMaxTextLength && pictures <= banner::kMaxPictures);
    return 0;
}
