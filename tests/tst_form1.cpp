// The window as a user meets it: its controls, start-up, resizing, the Show
// button and the colour swatches, with the platform's pieces replaced.

#include "test_doubles.h"

#include "../app/form1.h"
#include "../app/start_up.h"
#include "../colour/swatch.h"
#include "../view/rich_text_box.h"
#include "base/constants.h"
#include "base/font_coverage.h"
#include "view_reader.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRawFont>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

using namespace glimra;

namespace
{

struct Fixture {
    RecordingBannerPane* pane = nullptr;
    ScriptedColourDialog* dialog = nullptr;
    std::unique_ptr<Form1> window;

    explicit Fixture(QStringList fonts = { "A", "B", "C" }, double dpi = 96)
        : Fixture(std::make_unique<preview::NamedFontList>(std::move(fonts)), dpi)
    {
    }
    Fixture(std::unique_ptr<preview::FontList> fonts, double dpi)
    {
        Form1Platform platform;
        platform.fonts = std::move(fonts);
        auto scripted = std::make_unique<ScriptedColourDialog>();
        dialog = scripted.get();
        platform.colourDialog = std::move(scripted);
        platform.bannerPane = [this](QWidget* parent) { return pane = new RecordingBannerPane(parent); };
        platform.dpi = dpi;
        window = std::make_unique<Form1>(std::move(platform));
    }
    Form1& w() { return *window; }
};

QStringList names(int n)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << QStringLiteral("Font %1").arg(i);
    return list;
}

} // namespace

class tst_Form1 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void controlsOnOpening();
    void captionsInTheWindowsOwnFont();
    void positions_data();
    void positions();
    void captionsFitTheUiFont_data();
    void captionsFitTheUiFont();
    void tabOrder();
    void enterPressesFocusedButton_data();
    void enterPressesFocusedButton();
    void loadHandler();
    void fontsReadOnceOnScreen();
    void resizeFollowsWindow();
    void resizeRefusedKeepsLastSize();
    void showButtonBuildsPreview();
    void titleWhileBuilding();
    void swatches_data();
    void swatches();
    void coloursChangedDuringBuild();
    void nestedClicksTwentyDeep();
    void closingDuringBuildStops_data();
    void closingDuringBuildStops();
    void fatalFailureShowsBoxAndEnds_data();
    void fatalFailureShowsBoxAndEnds();
    void screenReaderNames_data();
    void screenReaderNames();
    void sizeListNamedWithValue();
};

void tst_Form1::initTestCase()
{
    // As main() does before it makes the window.
    installJapaneseUiFont();
    // A font no larger than the one the window was designed for, with lines
    // no taller, whatever the family: the window as designed, a twip 1/15 px
    // at 96 dpi. captionsFitTheUiFont tries the desktops' sizes.
    QFont small = QApplication::font();
    small.setPixelSize(8);
    QApplication::setFont(small);
}

void tst_Form1::controlsOnOpening()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QCOMPARE(w.Label1->text(), QStringLiteral("サンプル文字"));
    QCOMPARE(w.Label2->text(), QStringLiteral("フォントサイズ"));
    QCOMPARE(w.Label3->text(), QStringLiteral("字体色"));
    QCOMPARE(w.Label4->text(), QStringLiteral("背景色"));
    QCOMPARE(w.Check1->text(), QStringLiteral("ボールド"));
    QCOMPARE(w.Check2->text(), QStringLiteral("イタリック"));
    QCOMPARE(w.Command1->text(), QStringLiteral("表示"));
    QCOMPARE(w.Command2->text(), QString());
    QCOMPARE(w.Command3->text(), QString());
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("SAMPLE"));
    QVERIFY(w.Text1->hasFocus());
    QVERIFY(!w.Check1->isChecked());
    QVERIFY(!w.Check2->isChecked());
    QCOMPARE(w.Command2->backColour(), kBlack);
    QCOMPARE(w.Command3->backColour(), kWhite);
    QCOMPARE(w.RichTextBox1->text(), QString());
    QCOMPARE(view::ViewReader::backColour(*w.RichTextBox1), kWindowBackground);
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 0), view::CharFormat {});
    QVERIFY(!w.Combo1->isEditable());
    // The icon at every size the desktop asks for, each drawn for its size.
    for (int size : { 16, 22, 24, 32, 48, 64, 128, 256 }) {
        QVERIFY2(w.windowIcon().availableSizes().contains(QSize(size, size)), qPrintable(QString::number(size)));
        QCOMPARE(w.windowIcon().pixmap(QSize(size, size), 1.0).size(), QSize(size, size));
    }
    for (QLabel* label : { w.Label1, w.Label2, w.Label3, w.Label4 })
        QVERIFY(label->alignment() & Qt::AlignHCenter);
}

// The window's font draws its Japanese captions itself, so Qt never has to
// search for a fallback font at start-up.
void tst_Form1::captionsInTheWindowsOwnFont()
{
    if (!labelFontStandInIsJapanese())
        QSKIP("needs a Japanese font for the captions, none installed here");
    Fixture f;
    Form1& w = f.w();
    const QRawFont raw = QRawFont::fromFont(w.Label1->font());
    for (const QLabel* label : { w.Label1, w.Label2, w.Label3, w.Label4 }) {
        for (QChar c : label->text())
            QVERIFY2(raw.supportsCharacter(c), qPrintable(label->text()));
    }
    QCOMPARE(w.Command1->font(), w.Label1->font());
}

void tst_Form1::positions_data()
{
    QTest::addColumn<double>("dpi");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QRect>("pixels");
    // As the form run time placed them: 15 twips a pixel at 96 dpi, 10 at
    // 144 dpi, every edge and length rounded half up on its own.
    const struct {
        const char* control;
        QRect at96;
        QRect at144;
    } rows[] = {
        { "Label1", { 8, 11, 105, 17 }, { 12, 17, 158, 26 } },
        { "Text1", { 8, 24, 105, 49 }, { 12, 36, 158, 74 } },
        { "Label2", { 8, 80, 105, 17 }, { 12, 120, 158, 26 } },
        { "Combo1", { 8, 96, 105, 20 }, { 12, 144, 158, 30 } },
        { "Label3", { 8, 128, 49, 17 }, { 12, 192, 74, 26 } },
        { "Label4", { 64, 128, 49, 17 }, { 96, 192, 74, 26 } },
        { "Command2", { 8, 144, 49, 17 }, { 12, 216, 74, 26 } },
        { "Command3", { 64, 144, 49, 17 }, { 96, 216, 74, 26 } },
        { "Check1", { 8, 176, 89, 17 }, { 12, 264, 134, 26 } },
        { "Check2", { 8, 192, 89, 17 }, { 12, 288, 134, 26 } },
        { "Command1", { 8, 224, 105, 33 }, { 12, 336, 158, 50 } },
        { "WebBrowser1", { 8, 264, 105, 33 }, { 12, 396, 158, 50 } },
        // The view's size follows the window; only its corner is fixed.
        { "RichTextBox1", { 120, 0, 0, 0 }, { 180, 0, 0, 0 } },
        // The window itself, at its opening size.
        { "Form1", { 0, 0, 413, 302 }, { 0, 0, 620, 453 } },
    };
    for (const auto& row : rows) {
        QTest::addRow("%s at 96 dpi", row.control) << 96.0 << row.control << row.at96;
        QTest::addRow("%s at 144 dpi", row.control) << 144.0 << row.control << row.at144;
    }
}

void tst_Form1::positions()
{
    QFETCH(double, dpi);
    QFETCH(QString, control);
    QFETCH(QRect, pixels);
    Fixture f({ "A" }, dpi);
    Form1& w = f.w();
    if (control == w.objectName()) {
        QCOMPARE(w.size(), pixels.size());
        return;
    }
    const QWidget* widget = w.findChild<QWidget*>(control);
    QVERIFY(widget);
    if (pixels.isEmpty())
        QCOMPARE(widget->pos(), pixels.topLeft());
    else
        QCOMPARE(widget->geometry(), pixels);
}

void tst_Form1::captionsFitTheUiFont_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<double>("dpi");
    QTest::addColumn<int>("points");
    // The family main() gives the captions, the Japanese font most desktops
    // carry, whose lines are tall, and a gothic whose lines are short.
    QStringList families { labelFontStandIn(), QStringLiteral("Noto Sans CJK JP"), QStringLiteral("IPAPGothic") };
    families.removeDuplicates();
    families.removeIf([](const QString& family) { return !QFontDatabase::hasFamily(family); });
    for (const QString& family : families)
        for (double dpi : { 96.0, 144.0 })
            for (int points = 9; points <= 14; ++points)
                QTest::addRow("%s %d pt at %g dpi", qPrintable(family), points, dpi) << family << dpi << points;
}

// Each caption's text, where the style draws it, lies inside its control and
// clear of the control below it, at the desktop's UI font sizes (KDE's 10 pt
// and GNOME's 11 pt among them).
void tst_Form1::captionsFitTheUiFont()
{
    QFETCH(QString, family);
    QFETCH(double, dpi);
    QFETCH(int, points);
    // The application's font is every control's until the test ends.
    const auto restore = qScopeGuard([before = QApplication::font()] { QApplication::setFont(before); });
    QFont font(family);
    // The screen here is 96 dpi: a font of the size this DPI gives, in
    // points as desktops set it, so often a fraction of a pixel.
    font.setPointSizeF(points * dpi / 96);
    QApplication::setFont(font);
    Fixture f({ "A" }, dpi);
    Form1& w = f.w();
    QCOMPARE(w.font().family(), family);
    // The window, the view and the resize handler's margins grow together:
    // the view starts at 1800 of the window's 6195 twips and ends 100 twips
    // short of the window's outer width.
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const double twip = w.width() / double(kClientWidth);
    QVERIFY(std::abs(w.RichTextBox1->x() - 1800 * twip) <= 1);
    QVERIFY(std::abs(w.frameGeometry().width() - 100 * twip - w.RichTextBox1->geometry().right() - 1) <= 1);

    const auto textSize = [](const QWidget* widget, const QString& text) {
        const QFontMetrics metrics(widget->font());
        return QSize(metrics.horizontalAdvance(text), metrics.height());
    };
    const auto check = [&](const QWidget* control, const QRect& text, const QWidget* below) {
        QRect room = control->geometry();
        if (below)
            room.setBottom(std::min(room.bottom(), below->geometry().top() - 1));
        const QRect drawn = text.translated(control->pos());
        QString where;
        QDebug(&where) << control->objectName() << "text" << drawn << "room" << room;
        QVERIFY2(room.contains(drawn), qPrintable(where));
    };
    const std::pair<QLabel*, QWidget*> labels[]
        = { { w.Label1, w.Text1 }, { w.Label2, w.Combo1 }, { w.Label3, w.Command2 }, { w.Label4, w.Command3 } };
    for (const auto& [label, below] : labels) {
        const QRect text = QStyle::alignedRect(
            Qt::LeftToRight, label->alignment(), textSize(label, label->text()), label->contentsRect());
        check(label, text, below);
        // And a pixel at least between the caption's ink and the control.
        const QImage drawn = label->grab().toImage();
        int ink = drawn.height() - 1;
        while (ink > 0 && drawn.copy(0, ink, drawn.width(), 1) == drawn.copy(0, drawn.height() - 1, drawn.width(), 1))
            --ink;
        QVERIFY2(label->y() + ink < below->y() - 1, qPrintable(label->objectName() + QStringLiteral("'s ink")));
    }
    const std::pair<QAbstractButton*, QWidget*> buttons[]
        = { { w.Check1, w.Check2 }, { w.Check2, nullptr }, { w.Command1, nullptr } };
    for (const auto& [button, below] : buttons) {
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const bool box = qobject_cast<QCheckBox*>(button);
        const QRect contents = button->style()->subElementRect(
            box ? QStyle::SE_CheckBoxContents : QStyle::SE_PushButtonContents, &option, button);
        const QRect text = QStyle::alignedRect(Qt::LeftToRight,
            box ? Qt::AlignLeft | Qt::AlignVCenter : Qt::AlignCenter, textSize(button, button->text()), contents);
        QVERIFY(contents.contains(text));
        check(button, text, below);
    }
}

void tst_Form1::tabOrder()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QList<QWidget*> order { w.Text1, w.RichTextBox1, w.Command1, w.Combo1, w.Command2, w.Command3, w.Check1, w.Check2,
        w.WebBrowser1 };
    order.removeIf([](QWidget* widget) { return widget->focusPolicy() == Qt::NoFocus; });
    QCOMPARE(QApplication::focusWidget(), w.Text1);
    QWidget* current = w.Text1;
    for (qsizetype i = 1; i < order.size(); ++i) {
        current = current->nextInFocusChain();
        while (current->focusPolicy() == Qt::NoFocus || !order.contains(current))
            current = current->nextInFocusChain();
        QCOMPARE(current, order[i]);
    }
    // Tab leaves the sample box instead of typing a tab into it.
    QTest::keyClick(w.Text1, Qt::Key_Tab);
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("SAMPLE"));
    QCOMPARE(QApplication::focusWidget(), w.RichTextBox1);
}

void tst_Form1::enterPressesFocusedButton_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("key");
    for (const char* control : { "Command1", "Command2", "Command3" }) {
        QTest::addRow("%s, Return", control) << control << int(Qt::Key_Return);
        QTest::addRow("%s, keypad Enter", control) << control << int(Qt::Key_Enter);
    }
}

// Enter presses the button that has the focus, as Space does; none is the
// window's default button, so Enter in the sample box starts a new line.
void tst_Form1::enterPressesFocusedButton()
{
    QFETCH(QString, control);
    QFETCH(int, key);
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    auto* button = w.findChild<QPushButton*>(control);
    QVERIFY(button);
    QSignalSpy clicked(button, &QPushButton::clicked);
    button->setFocus();
    QTest::keyClick(button, Qt::Key(key));
    QCOMPARE(clicked.size(), 1);

    w.Text1->setFocus();
    w.Text1->moveCursor(QTextCursor::End);
    QTest::keyClick(w.Text1, Qt::Key(key));
    QCOMPARE(w.Text1->toPlainText(), QStringLiteral("SAMPLE\n"));
    QCOMPARE(clicked.size(), 1);
    for (const QPushButton* any : w.findChildren<QPushButton*>())
        QVERIFY2(!any->isDefault(), qPrintable(any->objectName()));
}

void tst_Form1::loadHandler()
{
    Fixture f;
    Form1& w = f.w();
    QCOMPARE(w.windowTitle(), QStringLiteral("glimra version 1.2"));
    QCOMPARE(w.Combo1->count(), 33);
    for (int i = 0; i < 33; ++i)
        QCOMPARE(w.Combo1->itemText(i), QString::number(8 + 2 * i));
    QCOMPARE(w.Combo1->currentIndex(), 1);
    QCOMPARE(w.Combo1->currentText(), QStringLiteral("10"));
    QCOMPARE(f.pane->urls, QStringList { kBannerUrl });
    QVERIFY(kBannerUrl.startsWith(QStringLiteral("http://")));
    QVERIFY(kBannerUrl.endsWith(QStringLiteral("/002/gear.shtml")));
}

// The installed fonts are read once the window is on screen, between
// events, so that the first press of Show does not wait for them.
void tst_Form1::fontsReadOnceOnScreen()
{
    struct Counted : preview::NamedFontList {
        using NamedFontList::NamedFontList;
        std::int16_t count() const override
        {
            ++reads;
            return NamedFontList::count();
        }
        mutable int reads = 0;
    };
    auto fonts = std::make_unique<Counted>(QStringList { "A", "B" });
    const Counted* counted = fonts.get();
    Fixture f(std::move(fonts), 96);
    QCOMPARE(counted->reads, 0);
    f.w().show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.w()));
    QTRY_VERIFY(counted->reads > 0);
}

void tst_Form1::resizeFollowsWindow()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const auto expectedWidth = [&] { return twipsToPixels(pixelsToTwips(w.frameGeometry().width(), 96) - 1900, 96); };
    QCOMPARE(w.RichTextBox1->width(), expectedWidth());
    const int before = w.RichTextBox1->width();
    w.resize(w.width() + 20, w.height()); // 300 twips wider
    QTRY_COMPARE(w.RichTextBox1->width(), before + 20);
    QCOMPARE(w.RichTextBox1->pos(), QPoint(120, 0));
    QCOMPARE(w.RichTextBox1->height(), twipsToPixels(pixelsToTwips(w.frameGeometry().height(), 96) - 500, 96));
    w.showMaximized();
    QTRY_COMPARE(w.RichTextBox1->width(), expectedWidth());
    w.showNormal();
    QTRY_COMPARE(w.RichTextBox1->width(), expectedWidth());
}

void tst_Form1::resizeRefusedKeepsLastSize()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // The margins are taken from the whole window, frame included.
    const QMargins frame(
        w.geometry().left() - w.frameGeometry().left(), 0, w.frameGeometry().right() - w.geometry().right(), 0);
    const int frameWidth = frame.left() + frame.right();
    const int frameHeight = w.frameGeometry().height() - w.height();
    w.resize(200, 200);
    // 1900 twips is 126.67 px, 500 twips 33.33 px.
    QTRY_COMPARE(w.RichTextBox1->width(), twipsToPixels((200 + frameWidth) * 15 - 1900, 96));
    const QSize accepted = w.RichTextBox1->size();
    // Narrower than the width margin: the width step fails, the height step
    // still runs.
    w.resize(100 - frameWidth, 250);
    QTRY_COMPARE(w.RichTextBox1->height(), twipsToPixels((250 + frameHeight) * 15 - 500, 96));
    QCOMPARE(w.RichTextBox1->width(), accepted.width());
    const int acceptedHeight = w.RichTextBox1->height();
    // Smaller than both margins: both steps fail, nothing ends.
    w.resize(50, 20);
    QTest::qWait(20);
    QCOMPARE(w.RichTextBox1->size(), QSize(accepted.width(), acceptedHeight));
    QVERIFY(w.isVisible());
}

void tst_Form1::showButtonBuildsPreview()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    w.Text1->clear();
    QTest::keyClicks(w.Text1, QStringLiteral("abc"));
    QTest::mouseClick(w.Check1, Qt::LeftButton);
    w.Combo1->setCurrentIndex(8); // "24"
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(w.RichTextBox1->text(), QStringLiteral("\r\nabc (A)\r\nabc (B)\r\nabc (C)"));
    QVERIFY(w.RichTextBox1->isVisible());
    QCOMPARE(w.windowTitle(), kAppTitle);
    const view::CharFormat sample = view::charFormatAt(*w.RichTextBox1, 11);
    QCOMPARE(sample.fontName, QStringLiteral("B"));
    QCOMPARE(sample.pointSize, 24.0);
    QVERIFY(sample.bold());
    QCOMPARE(sample.colour, std::optional<Colour>(kBlack));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 15).fontName, kLabelFontName);
    QCOMPARE(view::ViewReader::backColour(*w.RichTextBox1), kWhite);
}

void tst_Form1::titleWhileBuilding()
{
    Fixture f({ "A", "B", "C" });
    Form1& w = f.w();
    w.show();
    QSignalSpy spy(&w, &QWidget::windowTitleChanged);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QStringList titles;
    for (const auto& args : spy)
        titles << args.at(0).toString();
    const QString busy = kAppTitle + QStringLiteral(" - 処理中です...");
    QCOMPARE(titles, (QStringList { busy + " 0%", busy + " 50%", busy + " 100%", kAppTitle }));
}

void tst_Form1::swatches_data()
{
    QTest::addColumn<bool>("background");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("text colour, confirmed") << false << true;
    QTest::newRow("text colour, cancelled") << false << false;
    QTest::newRow("background, confirmed") << true << true;
    QTest::newRow("background, cancelled") << true << false;
}

// Each swatch changes only itself, unchanged (an asymmetric colour catches
// a swapped byte order), only when confirmed; the next build uses it.
void tst_Form1::swatches()
{
    QFETCH(bool, background);
    QFETCH(bool, confirmed);
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    f.dialog->answers = { { 0x00336699, confirmed } };
    colour::Swatch* clicked = background ? w.Command3 : w.Command2;
    colour::Swatch* other = background ? w.Command2 : w.Command3;
    const Colour otherBefore = other->backColour();
    const Colour clickedBefore = clicked->backColour();
    QTest::mouseClick(clicked, Qt::LeftButton);
    QCOMPARE(f.dialog->shown, 1);
    QCOMPARE(other->backColour(), otherBefore);
    QCOMPARE(clicked->backColour(), confirmed ? Colour(0x00336699) : clickedBefore);
    const QImage face = clicked->grab().toImage();
    QCOMPARE(face.pixelColor(face.rect().center()),
        confirmed ? QColor(0x99, 0x66, 0x33) : QColor(background ? Qt::white : Qt::black));
    // A screen reader hears the colour the face shows.
    QCOMPARE(QAccessible::queryAccessibleInterface(clicked)->text(QAccessible::Description),
        QString::fromLatin1(confirmed ? "#996633"
                : background          ? "#ffffff"
                                      : "#000000"));
    // The preview does not change until the next Show.
    QCOMPARE(view::ViewReader::backColour(*w.RichTextBox1), kWindowBackground);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(view::ViewReader::backColour(*w.RichTextBox1), w.Command3->backColour());
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 2).colour, std::optional<Colour>(w.Command2->backColour()));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 0).colour, std::optional<Colour>(w.Command2->backColour()));
}

void tst_Form1::coloursChangedDuringBuild()
{
    Fixture f({ "A", "B", "C" });
    Form1& w = f.w();
    w.show();
    f.dialog->answers = { { 0x000000FF, true }, { 0x0000FF00, true } };
    // Inside the first font's yield the user picks both colours.
    QTimer::singleShot(0, &w, [&] {
        w.Command2->click();
        w.Command3->click();
    });
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    // "SAMPLE (A)" starts at 2, "SAMPLE (B)" at 14.
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 2).colour, std::optional<Colour>(kBlack));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 11).colour, std::optional<Colour>(kBlack));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, 14).colour, std::optional<Colour>(0x000000FF));
    QCOMPARE(view::ViewReader::backColour(*w.RichTextBox1), Colour(0x0000FF00));
}

// Presses of Show from inside the yield, twenty deep, end in one consistent
// preview with the application title.
void tst_Form1::nestedClicksTwentyDeep()
{
    Fixture f(names(30));
    Form1& w = f.w();
    w.show();
    int clicks = 0;
    int deepest = 0;
    // Each press posts the next one before it runs, so that the build it
    // starts meets the next press in its own first yield.
    std::function<void()> press = [&] {
        deepest = std::max(deepest, w.m_buildDepth);
        if (clicks < 20) {
            ++clicks;
            QMetaObject::invokeMethod(&w, press, Qt::QueuedConnection);
            w.Command1->click();
        }
    };
    QMetaObject::invokeMethod(&w, press, Qt::QueuedConnection);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    QCOMPARE(clicks, 20);
    QCOMPARE(deepest, 21);
    QCOMPARE(w.m_buildDepth, 0);
    QString expected;
    for (const QString& name : names(30))
        expected += QStringLiteral("\r\nSAMPLE (") + name + QStringLiteral(")");
    QCOMPARE(w.RichTextBox1->text(), expected);
    QVERIFY(w.RichTextBox1->isVisible());
    QCOMPARE(w.windowTitle(), kAppTitle);
    // The innermost build formatted every entry.
    const qint32 last = qint32(expected.lastIndexOf(QStringLiteral("SAMPLE (Font 29)")));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, last).fontName, QStringLiteral("Font 29"));
    QCOMPARE(view::charFormatAt(*w.RichTextBox1, last + 6).fontName, kLabelFontName);
}

void tst_Form1::closingDuringBuildStops_data()
{
    QTest::addColumn<QKeySequence>("keys"); // none: the close button's path, close()
    QTest::newRow("close button") << QKeySequence();
    QTest::newRow("Ctrl+Q") << QKeySequence(Qt::CTRL | Qt::Key_Q);
    QTest::newRow("Ctrl+W") << QKeySequence(Qt::CTRL | Qt::Key_W);
}

void tst_Form1::closingDuringBuildStops()
{
    QFETCH(QKeySequence, keys);
    Fixture f(names(200));
    Form1& w = f.w();
    w.show();
    int yieldsSeen = 0;
    QTimer closer;
    connect(&closer, &QTimer::timeout, &w, [&] {
        if (++yieldsSeen == 3)
            keys.isEmpty() ? void(w.close()) : QTest::keySequence(&w, keys);
    });
    closer.start(0);
    QTest::mouseClick(w.Command1, Qt::LeftButton);
    closer.stop();
    QVERIFY(!w.isVisible());
    QCOMPARE(w.m_buildDepth, 0);
    // The build stopped at the close: it never showed the view again.
    QVERIFY(!w.RichTextBox1->isVisibleTo(&w));
    QVERIFY(w.windowTitle().contains(QStringLiteral("処理中です")));
}

void tst_Form1::fatalFailureShowsBoxAndEnds_data()
{
    QTest::addColumn<QString>("mode");
    QTest::newRow("banner pane refuses navigate at start-up") << QStringLiteral("load");
    QTest::newRow("colour dialog refuses to open") << QStringLiteral("colour");
}

void tst_Form1::fatalFailureShowsBoxAndEnds()
{
    QFETCH(QString, mode);
    QProcess probe;
    probe.start(QStringLiteral(FATAL_PROBE), { mode });
    QVERIFY(probe.waitForFinished(20000));
    const QString out = QString::fromUtf8(probe.readAllStandardOutput());
    QCOMPARE(probe.exitStatus(), QProcess::NormalExit);
    QCOMPARE(probe.exitCode(), 1);
    QVERIFY2(out.contains(QStringLiteral("box shown: glimra | 実行時エラー '5':")), qPrintable(out));
    QVERIFY(out.contains(QStringLiteral("プロシージャの呼び出し、または引数が不正です。")));
    QVERIFY(!out.contains(QStringLiteral("ended normally")));
    QCOMPARE(out.contains(QStringLiteral("window shown")), mode == QLatin1String("colour"));
}

void tst_Form1::screenReaderNames_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<int>("role");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("description");
    QTest::addColumn<QString>("labelledBy");
    const auto row
        = [](const char* control, QAccessible::Role role, const QString& name, const QString& description,
              const char* label) { QTest::newRow(control) << control << int(role) << name << description << label; };
    // A plain widget would be a client area, which no screen reader announces.
    row("Form1", QAccessible::Window, kAppTitle, {}, "");
    row("Text1", QAccessible::EditableText, caption::Label1, {}, "Label1");
    // Qt names a list by its current entry ("10") unless told otherwise.
    row("Combo1", QAccessible::ComboBox, caption::Label2, {}, "Label2");
    row("Command2", QAccessible::Button, caption::Label3, "#000000", "Label3");
    row("Command3", QAccessible::Button, caption::Label4, "#ffffff", "Label4");
    row("Check1", QAccessible::CheckBox, caption::Check1, {}, "");
    row("Check2", QAccessible::CheckBox, caption::Check2, {}, "");
    row("Command1", QAccessible::Button, caption::Command1, {}, "");
    row("RichTextBox1", QAccessible::EditableText, accessibleName::RichTextBox1, {}, "");
    row("WebBrowser1", QAccessible::Client, accessibleName::WebBrowser1, {}, "");
}

// Every control is named for a screen reader, the captioned ones by their
// caption, which is also their label relation.
void tst_Form1::screenReaderNames()
{
    QFETCH(QString, control);
    QFETCH(int, role);
    QFETCH(QString, name);
    QFETCH(QString, description);
    QFETCH(QString, labelledBy);
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QWidget* widget = control == w.objectName() ? &w : w.findChild<QWidget*>(control);
    QVERIFY(widget);
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    QVERIFY(iface);
    QCOMPARE(int(iface->role()), role);
    QCOMPARE(iface->text(QAccessible::Name), name);
    QCOMPARE(iface->text(QAccessible::Description), description);
    const auto labels = iface->relations(QAccessible::Label);
    if (labelledBy.isEmpty()) {
        QVERIFY(labels.isEmpty());
    } else {
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->object(), w.findChild<QLabel*>(labelledBy));
    }
    // What a keyboard user can reach, a screen reader can name.
    if (widget->focusProxy())
        QCOMPARE(QAccessible::queryAccessibleInterface(widget->focusProxy())->text(QAccessible::Name), name);
}

void tst_Form1::sizeListNamedWithValue()
{
    Fixture f;
    Form1& w = f.w();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(w.Combo1);
    QCOMPARE(list->text(QAccessible::Value), QStringLiteral("10"));
    w.Combo1->setCurrentIndex(5);
    QCOMPARE(list->text(QAccessible::Value), QStringLiteral("18"));
    QCOMPARE(list->text(QAccessible::Name), caption::Label2);
    // It opens and closes as Qt's own list does, through its action.
    QVERIFY(!list->state().expanded);
    QAccessibleActionInterface* actions = list->actionInterface();
    QVERIFY(actions);
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QTRY_VERIFY(w.Combo1->view()->isVisible());
    QVERIFY(list->state().expanded);
    QCOMPARE(list->childCount(), 1);
    QCOMPARE(list->child(0)->object(), w.Combo1->view());
    actions->doAction(QAccessibleActionInterface::showMenuAction());
    QTRY_VERIFY(!w.Combo1->view()->isVisible());
}

QTEST_MAIN(tst_Form1)
#include "tst_form1.moc"
