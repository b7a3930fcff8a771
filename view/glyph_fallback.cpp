#include "glyph_fallback.h"

#include <optional>

namespace view
{

using glimra::GlyphCoverage;

std::vector<StandInRun> standInRuns(
    GlyphCoverage& coverage, const GlyphCoverage::Family& font, QStringView text, qint32 from, qint32 to)
{
    // While scanning: empty for the run's own font, kNobody where no font
    // has the characters.
    static const QString kNobody = QStringLiteral("\0");
    std::vector<StandInRun> runs;
    qint32 runStart = from;
    QString runFamily;
    const auto endRun = [&](qint32 end) {
        if (!runFamily.isEmpty() && end > runStart)
            runs.push_back({ runStart, end, runFamily == kNobody ? QString() : runFamily });
    };
    const auto neutral = [](char32_t c) { return QChar::script(c) <= QChar::Script_Common; };
    QString alongName;
    std::optional<GlyphCoverage::Family> along;
    const auto drawsAlong = [&](const QString& family, char32_t c) {
        if (font.loadedOnceForAllScripts || family.isEmpty() || !neutral(c))
            return false;
        if (family != alongName) {
            alongName = family;
            along = coverage.find(family == kNobody ? glimra::labelFontStandIn() : family);
        }
        return along && GlyphCoverage::covers(*along, c);
    };
    const auto at = [&](qint32 i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            return std::pair { QChar::surrogateToUcs4(c, text.at(i + 1).unicode()), 2 };
        return std::pair { char32_t(c), 1 };
    };
    const auto drawn
        = [](char32_t c) { return c >= 0x20 && c != QChar::LineSeparator && c != QChar::ParagraphSeparator; };
    const auto elsewhere = [&](char32_t c) {
        if (!drawn(c) || GlyphCoverage::covers(font, c))
            return QString();
        const QString fallback = coverage.fallbackFor(c);
        return fallback.isEmpty() ? kNobody : fallback;
    };
    // At the start of a paragraph, leading neutrals take the script of what
    // follows them.
    if (!font.loadedOnceForAllScripts && (from == 0 || text.at(from - 1) == u'\n' || text.at(from - 1) == u'\r')) {
        qint32 first = from;
        while (first < to && neutral(at(first).first))
            first += at(first).second;
        if (first < to)
            runFamily = elsewhere(at(first).first);
    }
    for (qint32 i = from; i < to;) {
        const auto [c, width] = at(i);
        QString wanted = elsewhere(c);
        if (wanted.isEmpty() && drawn(c) && drawsAlong(runFamily, c))
            wanted = runFamily;
        if (wanted != runFamily) {
            endRun(i);
            runStart = i;
            runFamily = wanted;
        }
        i += width;
    }
    endRun(to);
    return runs;
}

} // namespace view
