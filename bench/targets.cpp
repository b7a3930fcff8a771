// The goals the report checks, each met or missed.

#include "report.h"

namespace bench
{

namespace
{

    QString mark(bool medianMet, bool worstMet)
    {
        if (!medianMet)
            return QStringLiteral("**missed**");
        return worstMet ? QStringLiteral("met") : QStringLiteral("met by the median, not by every run");
    }

} // namespace

QString Report::targets() const
{
    QString out;
    const auto line = [&](const QString& what, const std::optional<Stat>& s, double limit, bool memory) {
        if (!s)
            return;
        const double median = memory ? s->median / kKiBPerMB : s->median;
        const double worst = memory ? s->max / kKiBPerMB : s->max;
        out += QStringLiteral("- %1: %2 against %3 — %4\n")
                   .arg(what, memory ? memoryCell(s) : timeCell(s),
                       memory ? QStringLiteral("%1 MB").arg(limit) : QStringLiteral("%1 ms").arg(limit),
                       mark(median <= limit, worst <= limit));
    };
    const auto ratioLine
        = [&](const QString& what, const std::optional<Stat>& a, const std::optional<Stat>& b, double limit) {
              if (!a || !b || b->median <= 0)
                  return;
              const double ratio = a->median / b->median;
              out += QStringLiteral("- %1: %2 against ×%3 — %4\n")
                         .arg(what, ratioOf(a->median, b->median))
                         .arg(limit)
                         .arg(mark(ratio <= limit, true));
          };
    const auto click = [](const Row* row) { return row ? statOf(row->ours, key::clickToPainted) : std::nullopt; };
    const auto gap = [](const Row* row) { return row ? statOf(row->ours, key::worstGap) : std::nullopt; };
    for (const QString& platform : m_options.platforms) {
        const QString d = displayLabel(platform);
        if (const Row* latin = find(platform, kOpening, kTargetFonts, kLatin)) {
            const QString at = QStringLiteral("%1, opening window, 5,000 fonts, SAMPLE").arg(d);
            line(at + QStringLiteral(", click → painted"), click(latin), kTargetClickLatinMs, false);
            line(at + QStringLiteral(", worst event-loop gap"), gap(latin), kTargetGapMs, false);
            line(at + QStringLiteral(", scroll to end"), statOf(latin->ours, key::scrollToPainted), kTargetScrollMs,
                false);
            line(at + QStringLiteral(", peak RSS"), statOf(latin->ours, key::maxRssKb), kTargetRssMB, true);
        }
        line(QStringLiteral("%1, opening window, 5,000 fonts, サンプル SAMPLE, click → painted").arg(d),
            click(find(platform, kOpening, kTargetFonts, kJapanese)), kTargetClickJapaneseMs, false);
        for (const StartRow& start : starts) {
            if (start.platform == platform && start.window == kOpening && start.fontSet == kIpa)
                line(QStringLiteral("%1, opening window, %2 fonts, start → first paint").arg(d, count(start.fonts)),
                    statOf(start.start, key::startToPaint), kTargetStartMs, false);
        }

        const QString at5 = QStringLiteral("%1, 1920×1080, 5,000 fonts").arg(d);
        line(at5 + QStringLiteral(", SAMPLE, click → painted"), click(find(platform, kMaximized, kTargetFonts, kLatin)),
            kTargetClickLatinMs, false);
        line(at5 + QStringLiteral(", SAMPLE, worst gap"), gap(find(platform, kMaximized, kTargetFonts, kLatin)),
            kTargetGapMs, false);
        line(at5 + QStringLiteral(", サンプル SAMPLE, click → painted"),
            click(find(platform, kMaximized, kTargetFonts, kJapanese)), kTargetMaxClickJapaneseMs, false);
        line(at5 + QStringLiteral(", サンプル SAMPLE, worst gap"),
            gap(find(platform, kMaximized, kTargetFonts, kJapanese)), kTargetMaxGapJapaneseMs, false);

        const QString at32 = QStringLiteral("%1, 1920×1080, 32,000 fonts").arg(d);
        const Row* manyLatin = find(platform, kMaximized, kTargetManyFonts, kLatin);
        const Row* manyJapanese = find(platform, kMaximized, kTargetManyFonts, kJapanese);
        line(at32 + QStringLiteral(", SAMPLE, click → painted"), click(manyLatin), kTargetManyClickLatinMs, false);
        line(at32 + QStringLiteral(", サンプル SAMPLE, click → painted"), click(manyJapanese),
            kTargetManyClickJapaneseMs, false);
        line(at32 + QStringLiteral(", SAMPLE, worst gap"), gap(manyLatin), kTargetManyGapMs, false);
        line(at32 + QStringLiteral(", サンプル SAMPLE, worst gap"), gap(manyJapanese), kTargetManyGapMs, false);
        if (const StartRow* s = findStart(platform, kMaximized, kTargetManyFonts))
            line(at32 + QStringLiteral(", start → first paint"), statOf(s->start, key::startToPaint),
                kTargetManyStartMs, false);
        if (manyJapanese)
            line(at32 + QStringLiteral(", サンプル SAMPLE, peak RSS"), statOf(manyJapanese->ours, key::maxRssKb),
                kTargetManyRssMB, true);
        for (const QString& sample : { kLatin, kJapanese }) {
            ratioLine(QStringLiteral("%1, 1920×1080, %2, click → painted, 32,000 ÷ 1,000 fonts (font count ×32)")
                          .arg(d, sampleLabel(sample)),
                click(find(platform, kMaximized, kTargetManyFonts, sample)),
                click(find(platform, kMaximized, kTargetFewFonts, sample)), double(kTargetManyFonts) / kTargetFewFonts);
        }

        for (const Row& row : rows) {
            if (row.platform != platform)
                continue;
            const QString at = QStringLiteral("%1, %2, %3 fonts").arg(d, windowLabel(row.window), count(row.fonts));
            if (row.clicks == 2 || row.clicks == 3) {
                ratioLine(at + QStringLiteral(", %1 clicks → title back and painted, ÷ one click").arg(row.clicks),
                    click(&row), click(find(platform, row.window, row.fonts, row.sample)), row.clicks == 2 ? 1.5 : 2);
            } else if (row.clicks > 3) {
                line(at + QStringLiteral(", %1 clicks → title back and painted").arg(row.clicks), click(&row), 10'000,
                    false);
            } else if (isMegabyte(row.sample)) {
                const QString of = at + QStringLiteral(", ") + sampleLabel(row.sample);
                line(of + QStringLiteral(", click → painted"), click(&row), kTargetMegabyteMs, false);
                line(of + QStringLiteral(", worst gap"), gap(&row), kTargetManyGapMs, false);
                const auto rss = statOf(row.ours, key::maxRssKb);
                const auto units = statOf(row.ours, key::textUnits);
                if (rss && units && units->median > 0) {
                    const double ratio = rss->median * 1024 / (units->median * 2);
                    out += QStringLiteral("- %1, peak RSS ÷ the text in UTF-16: ×%2 against ×%3 — %4\n")
                               .arg(of)
                               .arg(ratio, 0, 'f', 2)
                               .arg(kTargetMegabyteRssRatio)
                               .arg(mark(ratio <= kTargetMegabyteRssRatio, true));
                }
            } else if (row.fontSet != kIpa) {
                ratioLine(at
                        + QStringLiteral(", %1, %2, click → painted, ÷ IPA")
                              .arg(fontSetLabel(row.fontSet), sampleLabel(row.sample)),
                    click(&row), click(find(platform, row.window, row.fonts, row.sample)), kTargetFontSetRatio);
            }
        }
        for (const StartRow& s : starts) {
            if (s.platform != platform || s.fontSet == kIpa)
                continue;
            const StartRow* ipa = findStart(platform, s.window, s.fonts);
            ratioLine(QStringLiteral("%1, %2, %3 fonts, %4, start → first paint, ÷ IPA")
                          .arg(d, windowLabel(s.window), count(s.fonts), fontSetLabel(s.fontSet)),
                statOf(s.start, key::startToPaint), ipa ? statOf(ipa->start, key::startToPaint) : std::nullopt,
                kTargetFontSetRatio);
        }
    }
    return out;
}

} // namespace bench
