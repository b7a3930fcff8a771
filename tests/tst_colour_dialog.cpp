// The colour dialog's size and place: compact beside the window, its
// editor behind a button, Japanese throughout.

#include "../colour/colour_dialog.h"
#include "../colour/dialog_layout.h"
#include "base/constants.h"

#include <QColorDialog>
#include <QLabel>
#include <QLibraryInfo>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTranslator>

namespace
{
// Qt's private classes of the dialog, by their name with any namespace
// (Qt 6.8 puts them in QtPrivate::) left off.
bool isQtClass(const QObject* object, const char* name)
{
    const QByteArray full = object->metaObject()->className();
    return full.mid(full.lastIndexOf(':') + 1) == name;
}
} // namespace

class tst_ColourDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void besideWindow_data();
    void besideWindow();
    void compact();
    void editorOnRequest();
    void startsOnBlackThenKeepsTheChoice();

private:
    QTranslator m_qtJapanese;
};

void tst_ColourDialog::initTestCase()
{
    // As the program runs: Qt's own texts in Japanese, which are wider.
    if (m_qtJapanese.load(QLocale(QLocale::Japanese), QStringLiteral("qtbase"), QStringLiteral("_"),
            QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(&m_qtJapanese);
}

void tst_ColourDialog::besideWindow_data()
{
    QTest::addColumn<QRect>("window");
    QTest::addColumn<QSize>("dialog");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<std::optional<QPoint>>("expected");

    const QRect screen(0, 0, 1920, 1080);
    const QSize dialog(260, 440);
    QTest::newRow("room on the right") << QRect(100, 100, 419, 335) << dialog << screen
                                       << std::optional(QPoint(519, 100));
    QTest::newRow("exactly room on the right")
        << QRect(1241, 100, 419, 335) << dialog << screen << std::optional(QPoint(1660, 100));
    QTest::newRow("one pixel short on the right: left")
        << QRect(1242, 100, 419, 335) << dialog << screen << std::optional(QPoint(982, 100));
    QTest::newRow("no room either side: the platform's place")
        << QRect(200, 100, 1600, 600) << dialog << screen << std::optional<QPoint>();
    QTest::newRow("window low on the screen: kept on it")
        << QRect(100, 900, 419, 335) << dialog << screen << std::optional(QPoint(519, 640));
    QTest::newRow("window above the screen's top: kept on it")
        << QRect(100, -50, 419, 335) << dialog << screen << std::optional(QPoint(519, 0));
    QTest::newRow("second screen, panel at its top")
        << QRect(2000, 10, 419, 335) << dialog << QRect(1920, 32, 1280, 992) << std::optional(QPoint(2419, 32));
    QTest::newRow("dialog taller than the screen")
        << QRect(0, 0, 419, 335) << QSize(260, 700) << QRect(0, 0, 800, 600) << std::optional<QPoint>();
}

void tst_ColourDialog::besideWindow()
{
    QFETCH(QRect, window);
    QFETCH(QSize, dialog);
    QFETCH(QRect, available);
    QFETCH(std::optional<QPoint>, expected);
    const std::optional<QPoint> got = colour::besideWindow(window, dialog, available);
    QCOMPARE(got.has_value(), expected.has_value());
    if (got) {
        QCOMPARE(*got, *expected);
        QVERIFY(available.contains(QRect(*got, dialog)));
        QVERIFY(!QRect(*got, dialog).intersects(window));
    }
}

// Compact, it is narrower than the window and offers only the colours; the
// window at 96 dpi is 6195 twips wide.
void tst_ColourDialog::compact()
{
    QColorDialog dialog;
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    const QSize whole = dialog.sizeHint();
    QPushButton* toggle = colour::makeCompact(dialog);
    QVERIFY(toggle);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE(toggle->text(), glimra::caption::DefineColours);
    QVERIFY2(dialog.width() <= glimra::twipsToPixels(glimra::kClientWidth, 96),
        qPrintable(QStringLiteral("compact: %1 px wide, whole: %2").arg(dialog.width()).arg(whole.width())));
    QVERIFY(dialog.height() <= whole.height());
    // The colours themselves are still there to click: the basic and the
    // custom colours, found by their captions, which every Qt gives them
    // (the grids' class names change between Qt versions), and nothing else
    // that has a caption.
    int shownCaptioned = 0;
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        if (label->isVisible() && label->buddy() && label->buddy()->isVisible())
            ++shownCaptioned;
    QCOMPARE(shownCaptioned, 2);
}

void tst_ColourDialog::editorOnRequest()
{
    QColorDialog dialog;
    dialog.setOption(QColorDialog::DontUseNativeDialog);
    QPushButton* toggle = colour::makeCompact(dialog);
    QVERIFY(toggle);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QSize compact = dialog.size();
    auto editorShown = [&dialog] {
        QWidget* picker = nullptr;
        for (QWidget* child : dialog.findChildren<QWidget*>())
            if (isQtClass(child, "QColorPicker"))
                picker = child;
        return picker && picker->isVisible();
    };
    QVERIFY(!editorShown());

    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(editorShown());
    QCOMPARE(toggle->text(), glimra::caption::HideDefineColours);
    QVERIFY(dialog.width() > compact.width());

    QTest::mouseClick(toggle, Qt::LeftButton);
    QVERIFY(!editorShown());
    QCOMPARE(dialog.size(), compact);
    // Hiding the editor is no answer: the dialog stays open.
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.result(), 0);
}

// The first showing offers black, the text swatch's colour at opening; later
// ones the colour last confirmed through either swatch, not one browsed and
// cancelled.
void tst_ColourDialog::startsOnBlackThenKeepsTheChoice()
{
    QWidget window;
    colour::QtColourDialog dialog(&window);
    QList<QColor> offered;
    const auto answer = [&](QColor colour, bool confirm) {
        QTimer::singleShot(0, &window, [&window, &offered, colour, confirm] {
            auto* shown = window.findChild<QColorDialog*>();
            offered << shown->currentColor();
            shown->setCurrentColor(colour);
            confirm ? shown->accept() : shown->reject();
        });
        return dialog.showColor();
    };
    QVERIFY(answer(QColor(0x33, 0x66, 0x99), true));
    QCOMPARE(dialog.color(), glimra::Colour(0x00996633));
    QVERIFY(!answer(QColor(Qt::red), false));
    QVERIFY(answer(QColor(Qt::green), true));
    QCOMPARE(offered, (QList<QColor> { QColor(Qt::black), QColor(0x33, 0x66, 0x99), QColor(0x33, 0x66, 0x99) }));
}

QTEST_MAIN(tst_ColourDialog)
#include "tst_colour_dialog.moc"
