// The font list and the label font's stand-in on a desktop's font set: run
// once per generated set (tests/fonts/make_sets.py) and locale, named by
// GLIMRA_FONT_SET, with FONTCONFIG_FILE pointing at the set.

#include "test_fonts.h"

#include "../preview/font_list.h"
#include "../view/rich_text_box.h"
#include "base/font_coverage.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QMimeData>
#include <QProcess>
#include <QSet>
#include <QTest>

#include <optional>

namespace
{

QString fontSet() { return qEnvironmentVariable("GLIMRA_FONT_SET"); }

bool japaneseLocale() { return qEnvironmentVariable("LANG").startsWith(QLatin1String("ja")); }

// The family names fontconfig lists for the set, in every language.
QSet<QString> fcListFamilies()
{
    QProcess list;
    list.start(QStringLiteral("fc-list"), { QStringLiteral(":"), QStringLiteral("family") });
    if (!list.waitForFinished(30000))
        return {};
    QSet<QString> families;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts)) {
        for (const QString& family : line.split(u','))
            families.insert(family);
    }
    return families;
}

// The names in a CSS font-family value, or nothing when it is not a list of
// well-formed CSS strings.
std::optional<QStringList> cssStrings(QStringView value)
{
    QStringList names;
    qsizetype i = 0;
    while (true) {
        if (i >= value.size() || (value[i] != u'"' && value[i] != u'\''))
            return std::nullopt;
        const QChar quote = value[i++];
        QString name;
        while (i < value.size() && value[i] != quote) {
            if (value[i] == u'\\' && ++i >= value.size())
                return std::nullopt;
            name += value[i++];
        }
        if (i++ >= value.size())
            return std::nullopt;
        names += name;
        if (i == value.size())
            return names;
        if (value[i++] != u',')
            return std::nullopt;
    }
}

} // namespace

class tst_FontList : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void installedFamilies_data();
    void installedFamilies();
    void cssStringsReadsOnlyValidLists();
    void listsEachInstalledFamilyOnce();
    void familyOfTwoFoundriesDrawsItsUprightRegular();
    void standInIsAProportionalGothic();
    void refreshSeesFontsInstalledLater();
    void copiedFamiliesStayValidCss();
};

void tst_FontList::installedFamilies_data()
{
    QTest::addColumn<QStringList>("qt");
    QTest::addColumn<QStringList>("installed");
    QTest::addColumn<QStringList>("expected");
    const QStringList fonts { "C059", "Nimbus Sans", "IPAGothic", "IPAゴシック", "Name [odd]", "Serif" };
    QTest::newRow("plain names kept in order")
        << QStringList { "Nimbus Sans", "C059" } << fonts << QStringList { "Nimbus Sans", "C059" };
    QTest::newRow("foundries become one entry where the first stood")
        << QStringList { "C059 [urw]", "IPAGothic", "C059 [UKWN]" } << fonts << QStringList { "C059", "IPAGothic" };
    QTest::newRow("a foundry beside the plain name")
        << QStringList { "Nimbus Sans", "Nimbus Sans [URW ]" } << fonts << QStringList { "Nimbus Sans" };
    QTest::newRow("generic names dropped")
        << QStringList { "Monospace", "Sans Serif", "IPAGothic" } << fonts << QStringList { "IPAGothic" };
    QTest::newRow("a font really named Serif kept") << QStringList { "Serif" } << fonts << QStringList { "Serif" };
    QTest::newRow("a bracketed name that is a font's own")
        << QStringList { "Name [odd]" } << fonts << QStringList { "Name [odd]" };
    QTest::newRow("a suffix on a name no font has")
        << QStringList { "Ghost [urw]", "Ghost" } << fonts << QStringList {};
    QTest::newRow("localised names as given")
        << QStringList { "IPAゴシック" } << fonts << QStringList { "IPAゴシック" };
    QTest::newRow("nothing installed") << QStringList { "Serif", "Sans Serif", "Monospace" } << QStringList {}
                                       << QStringList {};
}

void tst_FontList::installedFamilies()
{
    QFETCH(QStringList, qt);
    QFETCH(QStringList, installed);
    QFETCH(QStringList, expected);
    // fontconfig matches family names without regard to case.
    const auto isInstalled = [&](const QString& family) { return installed.contains(family, Qt::CaseInsensitive); };
    QCOMPARE(preview::installedFamilies(qt, isInstalled), expected);
}

void tst_FontList::cssStringsReadsOnlyValidLists()
{
    QCOMPARE(cssStrings(u"'A','B'"), QStringList({ "A", "B" }));
    QCOMPARE(cssStrings(u"\"O'Brien \\\"Q\\\"\""), QStringList { "O'Brien \"Q\"" });
    QCOMPARE(cssStrings(u"\"O'Brien \"Q\"\""), std::nullopt);
    QCOMPARE(cssStrings(u"'A',"), std::nullopt);
    QCOMPARE(cssStrings(u"A"), std::nullopt);
}

void tst_FontList::listsEachInstalledFamilyOnce()
{
    if (fontSet().isEmpty())
        QSKIP("run on a generated font set (GLIMRA_FONT_SET)");
    const preview::SystemFontList list;
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names += list.name(i);
    QStringList expected;
    const bool ja = japaneseLocale();
    if (fontSet() != QLatin1String("empty")) {
        expected = QStringList { "Glimra Duo", ja ? "グリムラかな" : "Glimra Kana", "Glimra Type", "Glimra Type Black",
            "O'Brien \"Quoted\"", "DejaVu Sans" };
    }
    if (fontSet() == QLatin1String("desktop"))
        expected += { ja ? "グリムラゴシック" : "Glimra Gothic", ja ? "グリムラPゴシック" : "Glimra PGothic" };
    // Qt's own list holds the names that are no font.
    const QStringList qt = QFontDatabase::families();
    QVERIFY2(qt.contains(QStringLiteral("Sans Serif")), qPrintable(qt.join(u'|')));
    if (!expected.isEmpty())
        QVERIFY2(qt.contains(QStringLiteral("Glimra Duo [AAAA]")), qPrintable(qt.join(u'|')));

    QCOMPARE(QSet<QString>(names.cbegin(), names.cend()).size(), names.size());
    QStringList sorted = names;
    sorted.sort();
    expected.sort();
    QCOMPARE(sorted, expected);
    const QSet<QString> known = fcListFamilies();
    for (const QString& name : std::as_const(names))
        QVERIFY2(known.contains(name), qPrintable(name));
}

void tst_FontList::familyOfTwoFoundriesDrawsItsUprightRegular()
{
    if (fontSet().isEmpty() || fontSet() == QLatin1String("empty"))
        QSKIP("needs the generated families");
    const QFontInfo drawn(QFont(QStringLiteral("Glimra Duo")));
    QCOMPARE(glimra::withoutFoundry(drawn.family()), QStringLiteral("Glimra Duo"));
    QCOMPARE(drawn.style(), QFont::StyleNormal);
    QCOMPARE(drawn.styleName(), QStringLiteral("Regular"));
}

void tst_FontList::standInIsAProportionalGothic()
{
    if (fontSet().isEmpty())
        QSKIP("run on a generated font set (GLIMRA_FONT_SET)");
    const QString standIn = glimra::labelFontStandIn();
    if (fontSet() == QLatin1String("desktop")) {
        // fontconfig prefers "Glimra Gothic" for Japanese; its Latin is
        // fixed-width, so the next gothic stands in.
        QCOMPARE(standIn, japaneseLocale() ? QStringLiteral("グリムラPゴシック") : QStringLiteral("Glimra PGothic"));
        QVERIFY(glimra::labelFontStandInIsJapanese());
    } else if (fontSet() == QLatin1String("nojapanese")) {
        QCOMPARE(standIn, QStringLiteral("DejaVu Sans"));
        QVERIFY(!glimra::labelFontStandInIsJapanese());
    } else {
        QVERIFY(!glimra::labelFontStandInIsJapanese());
        // Nothing to draw with, and still a view that works.
        view::RichTextBox box;
        box.setText(QStringLiteral("\r\nabc"));
        QCOMPARE(box.text(), QStringLiteral("\r\nabc"));
    }
    if (!standIn.isEmpty())
        QVERIFY2(QFontDatabase::families().contains(standIn), qPrintable(standIn));
}

void tst_FontList::refreshSeesFontsInstalledLater()
{
    if (fontSet().isEmpty())
        QSKIP("run on a generated font set (GLIMRA_FONT_SET)");
    preview::SystemFontList list;
    const int before = list.count();
    const QString late
        = QFileInfo(qEnvironmentVariable("FONTCONFIG_FILE")).dir().filePath(QStringLiteral("../late.ttf"));
    QVERIFY2(QFontDatabase::addApplicationFont(late) >= 0, qPrintable(late));
    QCOMPARE(list.count(), before); // read once, until told
    list.refresh();
    QCOMPARE(list.count(), before + 1);
    QStringList names;
    for (int i = 0; i < list.count(); ++i)
        names += list.name(i);
    QVERIFY2(names.contains(QStringLiteral("Glimra Late")), qPrintable(names.join(u'|')));
}

void tst_FontList::copiedFamiliesStayValidCss()
{
    if (fontSet() != QLatin1String("desktop"))
        QSKIP("needs the desktop set");
    const QString quoted = QStringLiteral("O'Brien \"Quoted\"");
    view::RichTextBox box;
    box.setText(QStringLiteral("\r\nabc\r\nあ"));
    box.setSelStart(2);
    box.setSelLength(4);
    box.setSelFontName(quoted);
    box.selectAll();
    box.copy();
    const QString html = QGuiApplication::clipboard()->mimeData()->html();
    const QSet<QString> known = fcListFamilies();
    QStringList copied;
    for (const QString& value : fontFamilyValues(html)) {
        const auto names = cssStrings(value);
        QVERIFY2(names, qPrintable(value));
        for (const QString& name : *names)
            QVERIFY2(known.contains(name), qPrintable(name));
        copied += *names;
    }
    QVERIFY2(copied.contains(quoted), qPrintable(html));
    // The kana the quoted family lacks go with the stand-in that drew them.
    QVERIFY2(copied.contains(glimra::labelFontStandIn()), qPrintable(html));
}

QTEST_MAIN(tst_FontList)
#include "tst_font_list.moc"
