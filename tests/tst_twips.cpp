#include "base/constants.h"

#include <QTest>

class tst_Twips : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toPixels_data();
    void toPixels();
    void layoutDpi_data();
    void layoutDpi();
};

void tst_Twips::toPixels_data()
{
    QTest::addColumn<double>("twips");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("pixels");

    QTest::newRow("one pixel at 96 dpi") << 15.0 << 96.0 << 1;
    QTest::newRow("client width at 96 dpi") << 6195.0 << 96.0 << 413;
    QTest::newRow("client height at 96 dpi") << 4530.0 << 96.0 << 302;
    QTest::newRow("half a pixel rounds up") << 112.5 << 96.0 << 8;
    QTest::newRow("just under half rounds down") << 112.0 << 96.0 << 7;
    QTest::newRow("view left at 144 dpi") << 1800.0 << 144.0 << 180;
    QTest::newRow("label top at 144 dpi") << 165.0 << 144.0 << 17;
    QTest::newRow("negative half rounds away from zero") << -112.5 << 96.0 << -8;
    QTest::newRow("zero") << 0.0 << 144.0 << 0;
}

void tst_Twips::toPixels()
{
    QFETCH(double, twips);
    QFETCH(double, dpi);
    QFETCH(int, pixels);
    QCOMPARE(glimra::twipsToPixels(twips, dpi), pixels);
}

void tst_Twips::layoutDpi_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<double>("fontPixels");
    QTest::addColumn<double>("lineHeight");
    QTest::addColumn<double>("expected");

    QTest::newRow("9 pt gothic at 96 dpi: as designed") << 96.0 << 12.0 << 13.0 << 96.0;
    QTest::newRow("8 pt: never smaller") << 96.0 << 11.0 << 12.0 << 96.0;
    QTest::newRow("9 pt at 144 dpi: as designed") << 144.0 << 18.0 << 19.0 << 144.0;
    QTest::newRow("10 pt: by the size") << 96.0 << 13.0 << 14.0 << 104.0;
    QTest::newRow("9 pt with tall lines (Noto Sans CJK)") << 96.0 << 12.0 << 17.0 << 96.0 * 17 / 13;
    QTest::newRow("wide font, short lines: by the size") << 96.0 << 18.0 << 13.0 << 144.0;
    QTest::newRow("13 pt at 144 dpi") << 144.0 << 26.0 << 37.0 << 144.0 * 37 / 19.5;
}

// The caption of the sample box gets at least a line of the font, however
// the edges round.
void tst_Twips::layoutDpi()
{
    QFETCH(double, dpi);
    QFETCH(double, fontPixels);
    QFETCH(double, lineHeight);
    QFETCH(double, expected);
    const double got = glimra::layoutDpi(dpi, fontPixels, lineHeight);
    QCOMPARE(got, expected);
    QVERIFY(glimra::twipsToPixels(360, got) - glimra::twipsToPixels(165, got) >= lineHeight);
}

QTEST_APPLESS_MAIN(tst_Twips)
#include "tst_twips.moc"
