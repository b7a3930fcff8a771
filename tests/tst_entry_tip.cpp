// The tool tip of each preview entry, against what fontconfig's own
// character sets say its font lacks. Qt showing it as the pointer rests, and
// a screen reader reading it, are the desktop end-to-end test's.

#include "fake_host.h"
#include "test_fonts.h"

#include "../preview/font_list.h"
#include "../view/entry_tip.h"
#include "../view/rich_text_box.h"

#include <QTest>
#include <QTextBlock>

#include <fontconfig/fontconfig.h>

namespace tip = glimra::tip;

namespace
{

// Whether no face of the family (of any family, for an empty name) has the
// character, as fontconfig answers from its own cache.
bool fontconfigLacks(const QString& family, const QString& character)
{
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, character.toUcs4().value(0));
    FcPattern* pattern = FcPatternBuild(nullptr, FC_CHARSET, FcTypeCharSet, wanted, nullptr);
    if (!family.isEmpty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    const bool lacks = !fonts || fonts->nfont == 0;
    if (fonts)
        FcFontSetDestroy(fonts);
    FcObjectSetDestroy(objects);
    FcCharSetDestroy(wanted);
    FcPatternDestroy(pattern);
    return lacks;
}

// The tip fontconfig's answer calls for: the font, how many distinct
// characters (white space aside) it lacks and the first of them; and each
// family it names draws one of them, those no family draws being no font's.
void verifyTip(const QString& tip, const QString& font, const QString& sample)
{
    QStringList lacked;
    for (const char32_t c : sample.toUcs4())
        if (!QChar::isSpace(c) && !lacked.contains(QString::fromUcs4(&c, 1))
            && fontconfigLacks(font, QString::fromUcs4(&c, 1)))
            lacked << QString::fromUcs4(&c, 1);
    const QString more = lacked.size() > view::kTipCharacters ? tip::Ellipsis : QString();
    const QStringList lines = lacked.isEmpty() ? QStringList { font, tip::AllDrawn }
                                               : QStringList { font, tip::Lacks.arg(lacked.size()),
                                                     lacked.mid(0, view::kTipCharacters).join(u' ') + more, tip::Grey };
    QCOMPARE(tip.split(u'\n').mid(0, lines.size()), lines);
    const QString drawnBy = tip.split(u'\n').filter(tip::DrawnBy.arg(QString())).value(0);
    for (const QString& family : drawnBy.mid(tip::DrawnBy.size() - 2).split(tip::ListSeparator, Qt::SkipEmptyParts))
        QVERIFY2(!std::all_of(lacked.begin(), lacked.end(), [&](auto& c) { return fontconfigLacks(family, c); }),
            qPrintable(tip));
    const auto inNoFont = std::count_if(lacked.begin(), lacked.end(), [](auto& c) { return fontconfigLacks({}, c); });
    QCOMPARE(tip.contains(tip::InNoFont.arg(inNoFont)), inNoFont > 0);
}

} // namespace

class tst_EntryTip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tipSaysWhatTheFontLacks_data();
    void tipSaysWhatTheFontLacks();
};

void tst_EntryTip::tipSaysWhatTheFontLacks_data()
{
    QTest::addColumn<QStringList>("fonts"); // the tip of the first is shown; none: every installed font
    QTest::addColumn<QString>("sample");
    QTest::addColumn<bool>("onName"); // the pointer on the name label, not the sample
    QTest::addColumn<QString>("typed"); // typed at the start of the first sample
    const QStringList latin { QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif") };
    const QStringList gothic { QStringLiteral("IPAGothic"), QStringLiteral("DejaVu Serif") };
    QTest::newRow("every character the font's own") << gothic << QStringLiteral("SAMPLE あ漢") << false << QString();
    QTest::newRow("one lacked") << latin << QStringLiteral("SAMPLE あ") << false << QString();
    QTest::newRow("several, on the name") << latin << QStringLiteral("SAMPLE あ漢あ") << true << QString();
    // Georgian from a Latin font, Thai from another or none, one from none.
    QTest::newRow("several stand-ins") << gothic << QStringLiteral("ა ก \U000F0000 a") << false << QString();
    QTest::newRow("white space lacked by none")
        << latin << QStringLiteral("a\u3000b\u00A0c\r\nd") << false << QString();
    QString kanji;
    for (char16_t c = 0; kanji.size() < 6000; c = (c + 1) % 30)
        kanji += QChar(0x4E00 + c);
    QTest::newRow("a long sample: the first, then more") << latin << kanji << false << QString();
    QTest::newRow("after an edit") << latin << QStringLiteral("SAMPLE") << false << QStringLiteral("字a");
    QTest::newRow("after an edit, on the name") << gothic << QStringLiteral("SAMPLE") << true << QStringLiteral("ა");
    QTest::newRow("every installed font")
        << QStringList() << QStringLiteral("SAMPLE サンプル あ漢 Ж ა ∑ 🀄") << false << QString();
}

void tst_EntryTip::tipSaysWhatTheFontLacks()
{
    QFETCH(QStringList, fonts);
    QFETCH(QString, sample);
    QFETCH(bool, onName);
    QFETCH(QString, typed);
    if (fonts.isEmpty()) {
        fonts = QFontDatabase::families();
        fonts.removeIf([](const QString& f) { return !glimra::FontCoverage::instance().isInstalled(f); });
    }
    SKIP_UNLESS_INSTALLED(fonts);
    view::RichTextBox box;
    FakeHost host;
    host.sampleText = sample;
    QVERIFY(preview::build(host, box, preview::NamedFontList(fonts)));
    QTextDocument& document = *box.document();
    const int first = document.findBlockByNumber(1).position();
    QTextCursor(document.findBlock(first)).insertText(typed); // an edit, as typing makes it
    const int name = document.find(QStringLiteral(" (") + fonts[0] + u')', first).selectionStart() + 2;
    QVERIFY(!view::entryAt(document, 0)); // the line break before the first entry
    sample.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    // The tip where the pointer rests, then every other entry's.
    int i = 0;
    for (auto e = view::entryAt(document, onName ? name : first + 1); e && !QTest::currentTestFailed();
         e = view::entryAt(document, e->to + 1), ++i) {
        QCOMPARE(e->fontName, fonts[i]);
        verifyTip(view::entryTipText(e->fontName, e->sample), fonts[i], i ? sample : typed + sample);
    }
    QCOMPARE(i, fonts.size());
}

QTEST_MAIN(tst_EntryTip)
#include "tst_entry_tip.moc"
