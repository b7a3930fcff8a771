// The preview build over a view and an injected font list, with a host that
// records what the build reads and writes and can act inside the yield; and
// the tips of a built preview against fontconfig's own character sets.

#include "../preview/font_list.h"
#include "../preview/preview_build.h"
#include "../view/entry_tip.h"
#include "../view/rich_text_box.h"
#include "base/failure.h"
#include "view_reader.h"

#include <QSignalSpy>
#include <QTest>
#include <QTextDocument>

#include <fontconfig/fontconfig.h>
#include <functional>
#include <memory>

using glimra::kAppTitle;
using glimra::kLabelFontName;
using glimra::StepFailed;
using preview::NamedFontList;
using view::CharFormat;
using view::RichTextBox;
namespace tip = glimra::tip;

namespace
{

class FakeHost : public preview::Host
{
public:
    QString sampleText = QStringLiteral("abc");
    QString size = QStringLiteral("10");
    glimra::Colour text = 0x00112233;
    glimra::Colour back = 0x00FFFFFF;
    int bold = 0;
    int italic = 0;
    bool failBoldRead = false;
    QStringList titles;
    int yields = 0;
    // Runs inside the yield after font `yields` (counted from 1); returns
    // false to report that the window is going away.
    std::function<bool(int)> onYield;

    QString sample() const override { return sampleText; }
    QString chosenSize() const override { return size; }
    glimra::Colour textColour() const override { return text; }
    glimra::Colour backColour() const override { return back; }
    int boldValue() const override
    {
        if (failBoldRead)
            throw StepFailed(glimra::ErrorNumber::InvalidCall);
        return bold;
    }
    int italicValue() const override { return italic; }
    void setTitle(const QString& title) override { titles << title; }
    bool processPendingEvents() override
    {
        ++yields;
        return onYield ? onYield(yields) : true;
    }
};

// A list whose name lookup fails for one index.
class FailingFontList : public NamedFontList
{
public:
    FailingFontList(QStringList names, int failing)
        : NamedFontList(std::move(names))
        , m_failing(failing)
    {
    }
    QString name(int index) const override
    {
        if (index == m_failing)
            throw StepFailed(glimra::ErrorNumber::OutOfRange);
        return NamedFontList::name(index);
    }

private:
    int m_failing;
};

QStringList fontNames(int n)
{
    QStringList names;
    for (int i = 0; i < n; ++i)
        names << QStringLiteral("F%1").arg(i);
    return names;
}

QString percentTitle(int percent) { return kAppTitle + QStringLiteral(" - 処理中です... %1%").arg(percent); }

// The titles of a whole build: one per font with its per cent, then the
// title at rest.
QStringList buildTitles(const QList<int>& percents)
{
    QStringList titles;
    for (int percent : percents)
        titles << percentTitle(percent);
    return titles << kAppTitle;
}

// from, from + by, ... up to and with to.
QList<int> steps(int from, int to, int by)
{
    QList<int> list;
    for (int n = from; n <= to; n += by)
        list << n;
    return list;
}

// The text's characters, white space aside, each once, that no face of the
// family has (no face at all, for none), as fontconfig's character sets say.
QStringList fontconfigLacks(const QString& family, const QString& text)
{
    FcPattern* pattern = family.isEmpty()
        ? FcPatternCreate()
        : FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, family.toUtf8().constData(), nullptr);
    FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    QStringList lacked;
    FcCharSet* set = nullptr;
    for (const char32_t c : text.toUcs4()) {
        bool has = QChar::isSpace(c);
        for (int i = 0; i < fonts->nfont && !has; ++i)
            has = FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &set) == FcResultMatch
                && FcCharSetHasChar(set, c);
        if (!has && !lacked.contains(QString::fromUcs4(&c, 1)))
            lacked << QString::fromUcs4(&c, 1);
    }
    FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcPatternDestroy(pattern);
    return lacked;
}

} // namespace

class tst_Preview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textPass_data();
    void textPass();
    void failingAppendDropsOnlyThatFont();
    void formats_data();
    void formats();
    void failingStepsAreSkipped();
    void progressTitle_data();
    void progressTitle();
    void titleSequence_data();
    void titleSequence();
    void finishingSteps();
    void valueChangedDuringBuildAppliesFromNextFont();
    void nestedBuildInsideTheYield();
    void outerBuildAfterSameNestedBuildChangesNothing_data();
    void outerBuildAfterSameNestedBuildChangesNothing();
    void windowGoingAwayStopsTheBuild();
    void fontCountThatDoesNotFit();
    void largestFontCount();
    void megabyteSample();
    void entryTip_data();
    void entryTip();
};

void tst_Preview::textPass_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QStringList>("fonts");
    QTest::addColumn<QString>("expected");

    QTest::newRow("three fonts, 27 characters") << QStringLiteral("abc") << QStringList { "A", "B", "C" }
                                                << QStringLiteral("\r\nabc (A)\r\nabc (B)\r\nabc (C)");
    QTest::newRow("no fonts") << QStringLiteral("abc") << QStringList {} << QString();
    QTest::newRow("empty sample") << QString() << QStringList { "A", "B" } << QStringLiteral("\r\n (A)\r\n (B)");
    QTest::newRow("multi-line sample") << QStringLiteral("a\r\nb") << QStringList { "A", "B" }
                                       << QStringLiteral("\r\na\r\nb (A)\r\na\r\nb (B)");
    QTest::newRow("only line breaks") << QStringLiteral("\r\n\r\n") << QStringList { "A" }
                                      << QStringLiteral("\r\n\r\n\r\n (A)");
}

void tst_Preview::textPass()
{
    QFETCH(QString, sample);
    QFETCH(QStringList, fonts);
    QFETCH(QString, expected);

    RichTextBox view;
    view.setText(QStringLiteral("an earlier preview"));
    FakeHost host;
    host.sampleText = sample;
    NamedFontList list(fonts);
    QVERIFY(preview::build(host, view, list));
    QCOMPARE(view.text(), expected);
    QCOMPARE(host.yields, int(fonts.size()));
}

void tst_Preview::failingAppendDropsOnlyThatFont()
{
    RichTextBox view;
    FakeHost host;
    FailingFontList list({ "A", "B", "C" }, 1);
    preview::build(host, view, list);
    QCOMPARE(view.text(), QStringLiteral("\r\nabc (A)\r\nabc (C)"));
    QCOMPARE(host.titles.last(), kAppTitle);
}

void tst_Preview::formats_data()
{
    QTest::addColumn<int>("bold");
    QTest::addColumn<int>("italic");
    QTest::newRow("regular") << 0 << 0;
    QTest::newRow("bold") << 1 << 0;
    QTest::newRow("italic") << 0 << 1;
    QTest::newRow("bold italic") << 1 << 1;
    QTest::newRow("grey box is not ticked") << 2 << 0;
}

// Every character of the preview, checked against what it must carry.
void tst_Preview::formats()
{
    QFETCH(int, bold);
    QFETCH(int, italic);

    RichTextBox view;
    FakeHost host;
    host.sampleText = QStringLiteral("S\r\n\U0001F600");
    host.size = QStringLiteral("24");
    host.bold = bold;
    host.italic = italic;
    const QStringList names { QStringLiteral("DejaVu Serif"), QStringLiteral("IPAGothic") };
    NamedFontList list(names);
    preview::build(host, view, list);

    const QString text = view.text();
    const qsizetype sampleLength = host.sampleText.size();
    CharFormat label = view::defaultCharFormat();
    label.colour = host.text;
    label.property17 = 100;
    CharFormat leading = label;
    leading.property17 = 0;

    // The leading line break: label font, 9 points, text colour.
    QCOMPARE(view::charFormatAt(view, 0), leading);
    QCOMPARE(view::charFormatAt(view, 1), leading);
    qsizetype p = 2;
    for (const QString& name : names) {
        CharFormat sample = view::defaultCharFormat();
        sample.fontName = name;
        sample.pointSize = 24;
        sample.colour = host.text;
        sample.weight = bold == 1 ? 700 : 400;
        sample.italic = italic == 1;
        for (qsizetype i = p; i < p + sampleLength; ++i)
            QCOMPARE(view::charFormatAt(view, qint32(i)), sample);
        p += sampleLength;
        const qsizetype labelLength = name.size() + 3;
        QCOMPARE(text.mid(p, labelLength), QStringLiteral(" (") + name + QStringLiteral(")"));
        for (qsizetype i = p; i < p + labelLength; ++i)
            QCOMPARE(view::charFormatAt(view, qint32(i)), label);
        p += labelLength;
        // The line break between entries keeps the default format.
        if (p < text.size()) {
            QCOMPARE(view::charFormatAt(view, qint32(p)), view::defaultCharFormat());
            QCOMPARE(view::charFormatAt(view, qint32(p + 1)), view::defaultCharFormat());
        }
        p += 2;
    }
    QCOMPARE(p - 2, text.size());
}

void tst_Preview::failingStepsAreSkipped()
{
    RichTextBox view;
    FakeHost host;
    host.size = QStringLiteral("huge"); // the view refuses this size
    host.failBoldRead = true; // a box that cannot be read guards nothing
    NamedFontList list({ QStringLiteral("DejaVu Serif") });
    preview::build(host, view, list);

    const CharFormat f = view::charFormatAt(view, 2);
    QCOMPARE(f.fontName, QStringLiteral("DejaVu Serif"));
    QCOMPARE(f.pointSize, 9.0); // size refused: the default stays
    QCOMPARE(f.colour, std::optional<glimra::Colour>(host.text));
    QVERIFY(f.bold());
    QVERIFY(!f.italic);
    QCOMPARE(view::charFormatAt(view, 6).property17, 100);
    QCOMPARE(host.titles.last(), kAppTitle);
}

void tst_Preview::progressTitle_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("title");

    // The rounding of whole builds is titleSequence's; these are the title's
    // own text, and counts no build of its own list reaches.
    QTest::newRow("42 per cent") << 42 << 101 << QStringLiteral("glimra version 1.2 - 処理中です... 42%");
    QTest::newRow("list shrank to none") << 1 << 0 << (kAppTitle + QStringLiteral(" - 処理中です...-100%"));
    QTest::newRow("negative zero is not negative") << 0 << 0 << percentTitle(0);
}

void tst_Preview::progressTitle()
{
    QFETCH(int, index);
    QFETCH(int, count);
    QFETCH(QString, title);
    QCOMPARE(preview::progressTitle(index, count), title);
}

void tst_Preview::titleSequence_data()
{
    QTest::addColumn<int>("fonts");
    QTest::addColumn<QStringList>("titles");

    QTest::newRow("none") << 0 << QStringList { kAppTitle };
    // One font: the divisor is zero, so no percentage is ever shown.
    QTest::newRow("one") << 1 << QStringList { kAppTitle };
    QTest::newRow("two") << 2 << buildTitles({ 0, 100 });
    // Quotient first, then times 100, rounded down, in binary64. Every
    // second per cent, but the 30th font shows 57: 29 / 50 * 100 lies just
    // below 58.
    QTest::newRow("51") << 51 << buildTitles(steps(0, 56, 2) + QList { 57 } + steps(60, 100, 2));
    // Every per cent, but 29 and 58 are never shown: the 30th font repeats
    // 28, the 58th repeats 56 and the 59th shows 57.
    QTest::newRow("101") << 101
                         << buildTitles(steps(0, 28, 1) + QList { 28 } + steps(30, 56, 1) + QList { 56, 57 }
                                + steps(59, 100, 1));
}

void tst_Preview::titleSequence()
{
    QFETCH(int, fonts);
    QFETCH(QStringList, titles);
    RichTextBox view;
    FakeHost host;
    NamedFontList list(fontNames(fonts));
    preview::build(host, view, list);
    QCOMPARE(host.titles, titles);
}

void tst_Preview::finishingSteps()
{
    for (int fonts : { 0, 3 }) {
        RichTextBox view;
        view.show();
        FakeHost host;
        host.back = 0x00336699;
        host.onYield = [&](int) {
            // Hidden through both passes.
            return !view.isVisible();
        };
        NamedFontList list(fontNames(fonts));
        QVERIFY(preview::build(host, view, list));
        QVERIFY(view.isVisible());
        QCOMPARE(view::ViewReader::backColour(view), glimra::Colour(0x00336699));
        QCOMPARE(view::ViewReader::selStart(view), 0);
        QCOMPARE(view.textCursor().position(), 0);
        QCOMPARE(host.titles.last(), kAppTitle);
    }
}

void tst_Preview::valueChangedDuringBuildAppliesFromNextFont()
{
    RichTextBox view;
    FakeHost host;
    host.onYield = [&](int n) {
        if (n == 1) {
            host.text = 0x000000FF;
            host.bold = 1;
            host.size = QStringLiteral("30");
            host.back = 0x0000FF00;
        }
        return true;
    };
    NamedFontList list({ "A", "B" });
    preview::build(host, view, list);
    // Entry A: "abc (A)" at 2..8, entry B at 11..17.
    QCOMPARE(view::charFormatAt(view, 2).colour, std::optional<glimra::Colour>(0x00112233));
    QVERIFY(!view::charFormatAt(view, 2).bold());
    QCOMPARE(view::charFormatAt(view, 2).pointSize, 10.0);
    QCOMPARE(view::charFormatAt(view, 11).colour, std::optional<glimra::Colour>(0x000000FF));
    QVERIFY(view::charFormatAt(view, 11).bold());
    QCOMPARE(view::charFormatAt(view, 11).pointSize, 30.0);
    QCOMPARE(view::ViewReader::backColour(view), glimra::Colour(0x0000FF00));
}

// A second press of Show inside the yield runs a whole build; the outer one
// then resumes over the text the inner one left and finishes on its own.
void tst_Preview::nestedBuildInsideTheYield()
{
    RichTextBox view;
    view.show();
    FakeHost host;
    NamedFontList list({ "A", "B", "C" });
    bool nested = false;
    host.onYield = [&](int n) {
        if (n == 1 && !nested) {
            nested = true;
            host.sampleText = QStringLiteral("xy");
            preview::build(host, view, list);
            // Inner build is done: shown, titled, complete.
            if (!view.isVisible() || host.titles.last() != kAppTitle)
                return false;
        }
        return true;
    };
    QVERIFY(preview::build(host, view, list));
    QCOMPARE(view.text(), QStringLiteral("\r\nxy (A)\r\nxy (B)\r\nxy (C)"));
    QVERIFY(view.isVisible());
    QCOMPARE(host.titles.last(), kAppTitle);
    // Outer titles resume after the inner build's own sequence.
    const QStringList expected { percentTitle(0), percentTitle(0), percentTitle(50), percentTitle(100), kAppTitle,
        percentTitle(50), percentTitle(100), kAppTitle };
    QCOMPARE(host.titles, expected);
    // The inner build formatted every entry properly.
    QCOMPARE(view::charFormatAt(view, 2).fontName, QStringLiteral("A"));
    QCOMPARE(view::charFormatAt(view, 11).fontName, QStringLiteral("B"));
    QCOMPARE(view::charFormatAt(view, 20).fontName, QStringLiteral("C"));
}

// A double-click: the second build runs inside the first one's yield with
// the same values, and the first then resumes over a shown view whose
// entries already have every format it sets. It must still run its loop
// and finishing steps, and touch the document not once.
void tst_Preview::outerBuildAfterSameNestedBuildChangesNothing_data()
{
    QTest::addColumn<int>("nestAt");
    QTest::addColumn<int>("bold");
    QTest::addColumn<QString>("sample");

    QTest::newRow("after the first font") << 1 << 0 << QStringLiteral("abc");
    QTest::newRow("after the last font") << 5 << 0 << QStringLiteral("abc");
    QTest::newRow("bold") << 2 << 1 << QStringLiteral("abc");
    QTest::newRow("sample with a line break") << 2 << 0 << QStringLiteral("a\r\nb");
    QTest::newRow("sample the fonts lack") << 3 << 1 << QStringLiteral("サンプル x");
}

void tst_Preview::outerBuildAfterSameNestedBuildChangesNothing()
{
    QFETCH(int, nestAt);
    QFETCH(int, bold);
    QFETCH(QString, sample);

    RichTextBox view;
    view.show();
    FakeHost host;
    host.sampleText = sample;
    host.bold = bold;
    NamedFontList list({ "DejaVu Sans", "A", "DejaVu Serif", "B", "C" });
    std::unique_ptr<QSignalSpy> changes;
    int titlesAfterNested = 0;
    host.onYield = [&](int n) {
        if (n == nestAt && !changes) {
            changes = std::make_unique<QSignalSpy>(view.document(), &QTextDocument::contentsChange);
            preview::build(host, view, list);
            changes->clear();
            titlesAfterNested = int(host.titles.size());
        }
        return true;
    };
    QVERIFY(preview::build(host, view, list));
    QVERIFY(changes);
    QCOMPARE(changes->count(), 0);
    QVERIFY(view.isVisible());
    // The outer build's own remaining titles and its finishing title.
    QCOMPARE(int(host.titles.size()) - titlesAfterNested, 5 - nestAt + 1);
    QCOMPARE(host.titles.last(), kAppTitle);

    // And the view is what one build makes.
    RichTextBox once;
    FakeHost plain;
    plain.sampleText = sample;
    plain.bold = bold;
    QVERIFY(preview::build(plain, once, list));
    QCOMPARE(view.text(), once.text());
    for (qint32 i = 0; i < qint32(once.text().size()); ++i)
        QCOMPARE(view::charFormatAt(view, i), view::charFormatAt(once, i));
}

void tst_Preview::windowGoingAwayStopsTheBuild()
{
    RichTextBox view;
    view.show();
    FakeHost host;
    host.onYield = [](int n) { return n < 2; };
    NamedFontList list(fontNames(10));
    QVERIFY(!preview::build(host, view, list));
    QCOMPARE(host.yields, 2);
    // Nothing after the yield ran: no finishing steps.
    QVERIFY(!view.isVisible());
    QCOMPARE(host.titles.last(), percentTitle(11));
}

void tst_Preview::fontCountThatDoesNotFit()
{
    QVERIFY_THROWS_EXCEPTION(StepFailed, preview::fontCount(32768));
    QCOMPARE(preview::fontCount(32767), std::int16_t(32767));
    RichTextBox view;
    FakeHost host;
    NamedFontList list(fontNames(32768));
    QVERIFY(preview::build(host, view, list));
    QCOMPARE(view.text(), QString());
    QCOMPARE(host.titles, QStringList { kAppTitle });
}

// The largest list a 16-bit count holds: the counter must not overflow on
// the last font, and the last entry must be formatted at its position.
void tst_Preview::largestFontCount()
{
    RichTextBox view;
    FakeHost host;
    host.sampleText = QString();
    NamedFontList list(fontNames(32767));
    QVERIFY(preview::build(host, view, list));
    QCOMPARE(host.yields, 32767);
    QCOMPARE(host.titles.last(), kAppTitle);
    QCOMPARE(host.titles[host.titles.size() - 2], percentTitle(100));
    const QString text = view.text();
    QVERIFY(text.endsWith(QStringLiteral("\r\n (F32766)")));
    const qint32 lastLabel = qint32(text.size() - QStringLiteral(" (F32766)").size());
    QCOMPARE(view::charFormatAt(view, lastLabel).property17, 100);
    QCOMPARE(view::charFormatAt(view, lastLabel - 1).property17, 0);
}

void tst_Preview::megabyteSample()
{
    RichTextBox view;
    FakeHost host;
    host.sampleText = QString(512 * 1024, QChar(u'あ')); // 1 MiB of UTF-16
    NamedFontList list({ "A", "B" });
    QVERIFY(preview::build(host, view, list));
    const qint32 second = qint32(2 + host.sampleText.size() + 4 + 2);
    QCOMPARE(view.text().size(), 2 * (2 + host.sampleText.size() + 4));
    QCOMPARE(view::charFormatAt(view, second).fontName, QStringLiteral("B"));
    QCOMPARE(view::charFormatAt(view, second - 3).fontName, kLabelFontName);
}

// The preview of every installed font, its first entry under the pointer.
void tst_Preview::entryTip_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<bool>("onName"); // the pointer on the first entry's name label, not its sample
    QTest::addColumn<QString>("typed"); // typed at the start of the first sample
    const QString kanji = QStringLiteral("一丁七万丈三上下不与丐丑专且丕世丘丙业丛东丝丞丢两严並丧丨丩").repeated(200);
    // Georgian from a Latin font, a plane 15 character from none; white space lacked by none.
    QTest::newRow("several stand-ins, on the name")
        << QStringLiteral("SAMPLE\u3000サンプル あ漢\r\nあ\u00A0Ж ა ∑ 🀄 \U000F0000") << true << QString();
    QTest::newRow("a long sample: the first, then more") << kanji << false << QString();
    QTest::newRow("after an edit") << QStringLiteral("SAMPLE") << false << QStringLiteral("字a");
    QTest::newRow("after an edit, on the name") << QStringLiteral("SAMPLE") << true << QStringLiteral("ა");
}

// The tip where the pointer rests, then every other entry's, says what
// fontconfig says its font lacks, and each stand-in it names draws some.
void tst_Preview::entryTip()
{
    QFETCH(QString, sample);
    QFETCH(bool, onName);
    QFETCH(QString, typed);
    const preview::SystemFontList fonts; // as the window lists them
    view::RichTextBox box;
    FakeHost host;
    host.sampleText = sample;
    QVERIFY(preview::build(host, box, fonts));
    QTextDocument& document = *box.document();
    const int first = document.findBlockByNumber(1).position();
    QTextCursor(document.findBlock(first)).insertText(typed); // an edit, as typing makes it
    const int name = document.find(QStringLiteral(" (") + fonts.name(0) + u')', first).selectionStart() + 2;
    QVERIFY(!view::entryAt(document, 0)); // the line break before the first entry
    int i = 0;
    for (auto e = view::entryAt(document, onName ? name : first + 1); e && !QTest::currentTestFailed();
         e = view::entryAt(document, e->to + 1), ++i) {
        QCOMPARE(e->fontName, fonts.name(i));
        const QStringList lacked = fontconfigLacks(e->fontName, (i ? QString() : typed) + sample);
        const QStringList lines = view::entryTipText(e->fontName, e->sample).split(u'\n');
        const QString more = lacked.size() > view::kTipCharacters ? tip::Ellipsis : QString();
        QCOMPARE(lines.mid(0, 4),
            (lacked.isEmpty() ? QStringList { e->fontName, tip::AllDrawn }
                              : QStringList { e->fontName, tip::Lacks.arg(lacked.size()),
                                  lacked.mid(0, view::kTipCharacters).join(u' ') + more, tip::Grey }));
        const QString drawnBy = lines.filter(tip::DrawnBy.arg(QString())).value(0).mid(tip::DrawnBy.size() - 2);
        for (const QString& family : drawnBy.split(tip::ListSeparator, Qt::SkipEmptyParts))
            QVERIFY2(fontconfigLacks(family, lacked.join(QString())).size() < lacked.size(), qPrintable(family));
        const qsizetype inNoFont = fontconfigLacks({}, lacked.join(QString())).size();
        QCOMPARE(lines.contains(tip::InNoFont.arg(inNoFont)), inNoFont > 0);
    }
    QCOMPARE(i, fonts.count());
}

QTEST_MAIN(tst_Preview)
#include "tst_preview.moc"
