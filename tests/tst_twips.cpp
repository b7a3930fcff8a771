#include "base/constants.h"

#include <QTest>

class tst_Twips : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void toPixels_data();
    void toPixels();
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

QTEST_APPLESS_MAIN(tst_Twips)
#include "tst_twips.moc"
