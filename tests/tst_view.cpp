// The preview view against the reference model of view_model.h.

#include "test_fonts.h"

#include "../view/rich_text_box.h"
#include "../view/stand_in_tint.h"
#include "base/colour_value.h"
#include "base/failure.h"
#include "view_model.h"
#include "view_reader.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QMimeData>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <dlfcn.h>
#include <functional>

using glimra::ErrorNumber;
using glimra::StepFailed;
using view::CharFormat;
using view::Model;
using view::RichTextBox;

// One assignment to the view, as a table row names it.
using Assignment = std::function<void(RichTextBox&)>;
Q_DECLARE_METATYPE(Assignment)

namespace
{

// Qt asks fontconfig for the settings of every font it loads: through
// FcFontMatch on Qt 6.4, through FcFontRenderPrepare where it already knows
// the font's file (Qt 6.8 on). Counting both shows when a font is loaded
// again, whichever Qt this is.
int g_fontMatches = 0;

template <typename Call> Call realFontconfig(const char* name)
{
    return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

// The pieces the build and the person make text of: line breaks of every
// kind, surrogate pairs whole and halved, kana, brackets.
QString randomText(QRandomGenerator& rng, int maxLength)
{
    static constexpr QStringView pieces[] = { u"a", u"Z", u" ", u"\r", u"\n", u"あ", u"\xD83D", u"\xDE00", u"\u2028",
        u"\u2029", u"(", u"\r\n", u"\U0001F600" };
    QString s;
    for (int n = int(rng.bounded(maxLength + 1)); n > 0; --n)
        s += pieces[rng.bounded(int(std::size(pieces)))];
    return s;
}

void compare(const RichTextBox& box, const Model& model, const QByteArray& context)
{
    QCOMPARE(box.text(), model.text());
    QCOMPARE(box.document()->characterCount() - 1, model.documentLength());
    const auto n = [](auto v) { return QString::number(v); };
    const auto shown = [&](const CharFormat& f) {
        return QStringLiteral("%1/%2/%3/%4/%5/%6")
            .arg(f.fontName, n(f.pointSize), n(f.weight), n(f.italic), n(f.colour.value_or(0xFFFFFFFF)),
                n(f.property17));
    };
    for (qsizetype i = 0; i < model.text().size(); ++i) {
        const CharFormat got = view::charFormatAt(box, qint32(i));
        if (got == model.formatAt(i))
            continue;
        QString text;
        for (QChar ch : model.text())
            text += ch.unicode() < 0x20 || ch.unicode() > 0x7e ? QStringLiteral("<%1>").arg(uint(ch.unicode()), 0, 16)
                                                               : QString(ch);
        QFAIL(qPrintable(QStringLiteral("%1 %2: unit %3: got %4 want %5")
                             .arg(text, QString::fromLatin1(context), n(i), shown(got), shown(model.formatAt(i)))));
    }
}

// Selected as the program selects before each format.
void selectRange(RichTextBox& box, qint32 start, qint32 length)
{
    box.setSelStart(start);
    box.setSelLength(length);
}

// Sized and shown as the window shows the view; false if never exposed.
bool showSized(QWidget& widget, int width, int height)
{
    widget.resize(width, height);
    widget.show();
    return QTest::qWaitForWindowExposed(&widget);
}

// Entries of a short sample and its label, as a build writes them.
QString manyEntries(int count)
{
    QString text;
    for (int i = 0; i < count; ++i)
        text += QStringLiteral("\r\nab (F%1)").arg(i);
    return text;
}

} // namespace

struct _FcConfig;
struct _FcPattern;
extern "C" _FcPattern* FcFontMatch(_FcConfig* config, _FcPattern* pattern, int* result)
{
    static const auto real = realFontconfig<_FcPattern* (*)(_FcConfig*, _FcPattern*, int*)>("FcFontMatch");
    ++g_fontMatches;
    return real(config, pattern, result);
}
extern "C" _FcPattern* FcFontRenderPrepare(_FcConfig* config, _FcPattern* pattern, _FcPattern* font)
{
    static const auto real
        = realFontconfig<_FcPattern* (*)(_FcConfig*, _FcPattern*, _FcPattern*)>("FcFontRenderPrepare");
    ++g_fontMatches;
    return real(config, pattern, font);
}

class tst_View : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void positions_data();
    void positions();
    void settingTextRestoresDefaultFormat();
    void heldTextMatchesAssignedText_data();
    void heldTextMatchesAssignedText();
    void shownViewSkipsFormatsThatChangeNothing();
    void caretOnShownViewFollowsLater();
    void randomOperationsMatchModel_data();
    void randomOperationsMatchModel();
    void refusedValues_data();
    void refusedValues();
    void sizeInTwips();
    void backgroundColour();
    void hiddenViewGrowsWhereTheCaretStood();
    void userEditsAreReadBack();
    void userEditsAreUndoneButBuildsAreNot();
    void glyphsAFontLacksAreDrawnByOneThatHasThem();
    void standInFamiliesKeepTheProgramsNames();
    void standInGlyphsDoNotPassForTheFontsOwn_data();
    void standInGlyphsDoNotPassForTheFontsOwn();
    void showingLaysOutTheFirstPageWithFontsLoadedWhileHidden_data();
    void showingLaysOutTheFirstPageWithFontsLoadedWhileHidden();
};

// Formatting one run must touch exactly the characters the model says,
// whatever line breaks and surrogate pairs lie around it.
void tst_View::positions_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<int>("length");
    QTest::addColumn<bool>("hidden"); // the text grown while hidden, as the build grows it

    const QString entries = QStringLiteral("\r\nabc (A)\r\nabc (B)\r\nabc (C)");
    QTest::newRow("leading line break") << entries << 0 << 2 << false;
    QTest::newRow("second sample run") << entries << 11 << 3 << false;
    QTest::newRow("starts inside a CR LF") << entries << 1 << 4 << false;
    QTest::newRow("ends inside a CR LF") << entries << 5 << 5 << false;
    QTest::newRow("only the LF of a pair") << entries << 10 << 1 << false;
    QTest::newRow("only the CR of a pair") << entries << 9 << 1 << false;
    QTest::newRow("past the end") << entries << 20 << 100 << false;
    QTest::newRow("start past the end") << entries << 40 << 5 << false;
    QTest::newRow("empty text") << QString() << 0 << 2 << false;
    QTest::newRow("lone CR and LF in sample") << QStringLiteral("\r\na\rb\nc (X)\r\na\rb\nc (Y)") << 11 << 5 << false;
    QTest::newRow("surrogate pair whole") << QStringLiteral("\r\nx\U0001F600y (Z)") << 3 << 2 << false;
    QTest::newRow("starts on low surrogate") << QStringLiteral("\r\nx\U0001F600y (Z)") << 4 << 2 << false;
    QTest::newRow("ends on low surrogate") << QStringLiteral("\r\nx\U0001F600y (Z)") << 2 << 2 << false;
    QTest::newRow("only line breaks") << QStringLiteral("\r\n\r\n\r\n\r\n (F)") << 2 << 3 << false;
    QTest::newRow("hidden: second sample run") << entries << 11 << 3 << true;
    // The document caught up to the middle of the pair (the emoji read back
    // unformatted).
    QTest::newRow("hidden: ends inside a surrogate pair") << QStringLiteral("\U0001F600(\u2028") << 0 << 1 << true;
}

void tst_View::positions()
{
    QFETCH(QString, text);
    QFETCH(int, start);
    QFETCH(int, length);
    QFETCH(bool, hidden);

    RichTextBox box;
    Model model;
    if (hidden) {
        box.setVisible(false);
        box.setText(std::move(box.takeText() += text));
    } else {
        box.setText(text);
    }
    model.setText(text);
    selectRange(box, start, length);
    model.setSelStart(start);
    model.setSelLength(length);
    box.setSelFontName(QStringLiteral("DejaVu Serif"));
    box.setSelColour(0x00336699);
    model.apply([](CharFormat& f) {
        f.fontName = QStringLiteral("DejaVu Serif");
        f.colour = 0x00336699;
    });
    box.setVisible(true);
    compare(box, model, QTest::currentDataTag());
}

void tst_View::settingTextRestoresDefaultFormat()
{
    RichTextBox box;
    box.setText(QStringLiteral("\r\nabc (A)"));
    selectRange(box, 0, 100);
    box.setSelBold(true);
    box.setSelItalic(true);
    box.setSelFontSize(24);
    box.setSelProperty17(100);
    box.setText(QString());
    QCOMPARE(box.text(), QString());
    box.setText(QStringLiteral("\r\nabc (A)\r\n"));
    const CharFormat label = view::defaultCharFormat();
    QCOMPARE(label.fontName, QStringLiteral("ＭＳ Ｐゴシック"));
    QCOMPARE(label.pointSize, 9.0);
    QVERIFY(!label.bold() && !label.italic);
    for (int i = 0; i < 10; ++i)
        QCOMPARE(view::charFormatAt(box, i), label);
    // Setting a text that extends the old one after formatting must not
    // keep the old formats on the old part.
    selectRange(box, 2, 3);
    box.setSelBold(true);
    box.setText(QStringLiteral("\r\nabc (A)\r\nabc (B)"));
    QCOMPARE(view::charFormatAt(box, 2), view::defaultCharFormat());
}

// The text pass through takeText(): the view must end exactly as if each
// text had been assigned whole, and a text handed out and never assigned
// comes back as it was.
void tst_View::heldTextMatchesAssignedText_data()
{
    QTest::addColumn<QStringList>("tails");
    QTest::addColumn<bool>("formatFirst");
    QTest::addColumn<bool>("dropLast");
    QTest::addColumn<bool>("hidden");

    const QStringList entries { QStringLiteral("\r\nabc (A)"), QStringLiteral("\r\nabc (B)") };
    const QStringList crThenLf { QStringLiteral("x\r"), QStringLiteral("\ny") };
    const QStringList splitPair { QStringLiteral("a") + QChar(0xD83D), QString(QChar(0xDE00)) };
    QTest::newRow("entries") << entries << false << false << false;
    QTest::newRow("CR at the end, LF next") << crThenLf << false << false << false;
    QTest::newRow("surrogate pair split") << splitPair << false << false << false;
    QTest::newRow("nothing appended") << QStringList { QStringLiteral("ab"), QString() } << false << false << false;
    QTest::newRow("after formatting, rebuilt") << entries << true << false << false;
    QTest::newRow("dropped without assigning") << entries << false << true << false;
    QTest::newRow("dropped after formatting") << entries << true << true << false;
    QTest::newRow("hidden: entries") << entries << false << false << true;
    QTest::newRow("hidden: CR at the end, LF next") << crThenLf << false << false << true;
    QTest::newRow("hidden: surrogate pair split") << splitPair << false << false << true;
    QTest::newRow("hidden: after formatting, rebuilt") << entries << true << false << true;
}

void tst_View::heldTextMatchesAssignedText()
{
    QFETCH(QStringList, tails);
    QFETCH(bool, formatFirst);
    QFETCH(bool, dropLast);
    QFETCH(bool, hidden);

    RichTextBox held;
    held.setText(QStringLiteral("\r\n"));
    if (formatFirst) {
        selectRange(held, 0, 2);
        held.setSelBold(true);
    }
    if (hidden)
        held.setVisible(false);
    const int inDocument = held.document()->characterCount();
    QString expected = held.text();
    for (qsizetype i = 0; i < tails.size(); ++i) {
        RichTextBox::HeldText text = held.takeText();
        QCOMPARE(text.text(), expected);
        text += tails.at(i);
        if (dropLast && i == tails.size() - 1)
            break;
        expected += tails.at(i);
        held.setText(std::move(text));
        QCOMPARE(view::ViewReader::selStart(held), 0);
    }
    // A hidden view's text reaches the document only when it is formatted
    // or shown, so that the build's text pass costs no insertions.
    if (hidden && !formatFirst)
        QCOMPARE(held.document()->characterCount(), inDocument);
    if (hidden)
        held.setVisible(true);
    RichTextBox fresh;
    fresh.setText(expected);
    QCOMPARE(held.text(), expected);
    QCOMPARE(held.document()->toPlainText(), fresh.document()->toPlainText());
    // A text assigned resets every format; one only handed out keeps them.
    const bool reset = !dropLast || tails.size() > 1;
    QCOMPARE(view::charFormatAt(held, 0).bold(), formatFirst && !reset);
}

// A build resuming over a shown view sets each format a second time; none
// of that may touch the document, or every block is laid out again.
void tst_View::shownViewSkipsFormatsThatChangeNothing()
{
    RichTextBox box;
    box.show();
    // The third sample has a kana the font lacks and a character no font has.
    box.setText(QStringLiteral("\r\nabc (A)\r\nabc (B)\r\na\u3042\U000F0000 (C)"));
    const auto format = [&](qint32 start, qint32 length) {
        selectRange(box, start, length);
        box.setSelFontName(QStringLiteral("DejaVu Serif"));
        box.setSelFontSize(QStringLiteral("12"));
        box.setSelColour(0x00336699);
        box.setSelBold(true);
        box.setSelProperty17(100);
    };
    // The leading line break (a paragraph separator), a sample, a label with
    // the line break after it and the next sample, and the third sample.
    const std::pair<qint32, qint32> ranges[] = { { 0, 2 }, { 2, 3 }, { 8, 7 }, { 20, 4 } };
    for (const auto& [start, length] : ranges)
        format(start, length);
    QSignalSpy changes(box.document(), &QTextDocument::contentsChange);
    for (const auto& [start, length] : ranges)
        format(start, length);
    format(3, 1);
    QCOMPARE(changes.count(), 0);
}

// Moving the caret scrolls a shown view and lays the page out, so it waits
// until the view is shown again or typed into; a click of the user's wins.
void tst_View::caretOnShownViewFollowsLater()
{
    RichTextBox box;
    const QString text = manyEntries(200);
    box.setText(text);
    QVERIFY(showSized(box, 200, 100));
    const qint32 far = qint32(text.size()) - 3;
    box.setSelStart(far);
    QCOMPARE(view::ViewReader::selStart(box), far);
    QCOMPARE(box.verticalScrollBar()->value(), 0);
    box.setVisible(true);
    QCOMPARE(box.textCursor().position(), view::documentPosition(box, far));
    QVERIFY(box.verticalScrollBar()->value() > 0);

    box.setSelStart(2);
    QTest::keyClick(&box, Qt::Key_Right);
    QCOMPARE(box.textCursor().position(), view::documentPosition(box, 2) + 1);

    box.setSelStart(far);
    const QRect first = box.cursorRect(QTextCursor(box.document()->findBlockByNumber(1)));
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, first.center());
    QTest::keyClick(&box, Qt::Key_Right);
    QVERIFY(box.textCursor().position() < view::documentPosition(box, 20));
}

void tst_View::randomOperationsMatchModel_data()
{
    QTest::addColumn<quint32>("seed");
    for (quint32 seed = 1; seed <= 24; ++seed)
        QTest::addRow("seed %u", seed) << seed;
    for (quint32 seed : { 42u, 2026u, 90210u })
        QTest::addRow("seed %u", seed) << seed;
}

void tst_View::randomOperationsMatchModel()
{
    QFETCH(quint32, seed);
    QRandomGenerator rng(seed);
    RichTextBox box;
    box.show();
    Model model;
    const QStringList fonts = { QStringLiteral("DejaVu Sans"), QStringLiteral("IPAGothic"), QStringLiteral("Nope") };
    for (int op = 0; op < 400; ++op) {
        const int len = int(model.text().size());
        switch (rng.bounded(12)) {
        case 0:
            model.setText(randomText(rng, 24));
            box.setText(model.text());
            break;
        case 1: { // the text pass: extend what is there
            RichTextBox::HeldText held = box.takeText();
            model.setText((held += randomText(rng, 8)).text());
            box.setText(std::move(held));
            break;
        }
        case 2: {
            const int s = int(rng.bounded(len + 4));
            box.setSelStart(s);
            model.setSelStart(s);
            break;
        }
        case 3: {
            const int l = int(rng.bounded(len + 4));
            box.setSelLength(l);
            model.setSelLength(l);
            break;
        }
        case 4: {
            const QString f = fonts[int(rng.bounded(int(fonts.size())))];
            box.setSelFontName(f);
            model.apply([&](CharFormat& c) { c.fontName = f; });
            break;
        }
        case 5: {
            const int size = 8 + 2 * int(rng.bounded(33));
            box.setSelFontSize(QString::number(size));
            model.apply([&](CharFormat& c) { c.pointSize = size; });
            break;
        }
        case 6: {
            const glimra::Colour c = rng.generate() & 0xFFFFFF;
            box.setSelColour(c);
            model.apply([&](CharFormat& f) { f.colour = c; });
            break;
        }
        case 7:
            box.setSelBold(true);
            model.apply([](CharFormat& f) { f.weight = 700; });
            break;
        case 8:
            box.setSelItalic(true);
            model.apply([](CharFormat& f) { f.italic = true; });
            break;
        case 9:
            box.setSelProperty17(100);
            model.apply([](CharFormat& f) { f.property17 = 100; });
            break;
        case 10:
            box.setVisible(!box.isVisible());
            break;
        case 11:
            box.setSelFontSize(std::int16_t(9));
            model.apply([](CharFormat& f) { f.pointSize = 9; });
            break;
        }
        if (op % 20 == 19) {
            box.setVisible(true);
            compare(box, model, QByteArray("seed ") + QByteArray::number(seed) + " op " + QByteArray::number(op));
        }
    }
}

void tst_View::refusedValues_data()
{
    QTest::addColumn<Assignment>("assign");
    QTest::addColumn<int>("error");
    const auto row
        = [](const char* name, ErrorNumber error, Assignment assign) { QTest::newRow(name) << assign << int(error); };
    const ErrorNumber invalid = ErrorNumber::InvalidPropertyValue;
    row("negative selection start", invalid, [](RichTextBox& b) { b.setSelStart(-1); });
    row("negative selection length", invalid, [](RichTextBox& b) { b.setSelLength(-1); });
    row("size that is no number", ErrorNumber::TypeMismatch,
        [](RichTextBox& b) { b.setSelFontSize(QStringLiteral("big")); });
    row("size zero", invalid, [](RichTextBox& b) { b.setSelFontSize(QStringLiteral("0")); });
    row("negative width", invalid, [](RichTextBox& b) { b.setWidthTwips(-15); });
    row("negative height", invalid, [](RichTextBox& b) { b.setHeightTwips(-1); });
    row("unknown system colour", invalid, [](RichTextBox& b) { b.setSelColour(0x80000063); });
    row("colour out of range", invalid, [](RichTextBox& b) { b.setSelColour(0x01000000); });
    row("unknown system colour as background", invalid, [](RichTextBox& b) { b.setBackColour(0x80000063); });
}

// A refused value fails the step with the run time's number and changes
// nothing: the format, the size, the selection and the background stay as
// they were.
void tst_View::refusedValues()
{
    QFETCH(Assignment, assign);
    QFETCH(int, error);
    RichTextBox box;
    box.setText(QStringLiteral("\r\nabc (A)"));
    selectRange(box, 2, 3);
    box.setWidthTwips(3000);
    box.setHeightTwips(1500);
    box.setBackColour(0x00336699);
    const QSize size = box.size();
    try {
        assign(box);
        QFAIL("the view accepted a value it must refuse");
    } catch (const StepFailed& e) {
        QCOMPARE(int(e.number()), error);
    }
    QCOMPARE(box.size(), size);
    QCOMPARE(view::ViewReader::selStart(box), 2);
    QCOMPARE(view::ViewReader::selLength(box), 3);
    QCOMPARE(view::ViewReader::backColour(box), glimra::Colour(0x00336699));
    for (int i = 0; i < 9; ++i)
        QCOMPARE(view::charFormatAt(box, i), view::defaultCharFormat());
}

void tst_View::sizeInTwips()
{
    RichTextBox box;
    box.setDpi(96);
    box.setWidthTwips(4295);
    box.setHeightTwips(4030);
    QCOMPARE(box.size(), QSize(286, 269));
    box.setDpi(144);
    box.setWidthTwips(4295);
    QCOMPARE(box.width(), 430);
    QCOMPARE(glimra::pixelsToTwips(box.width(), 144), 4300.0);
}

void tst_View::backgroundColour()
{
    RichTextBox box;
    QCOMPARE(view::ViewReader::backColour(box), glimra::kWindowBackground);
    box.setBackColour(0x00336699);
    QCOMPARE(box.palette().color(QPalette::Base), QColor(0x99, 0x66, 0x33));
    // The window background is the desktop's text-area background, even
    // after the view has shown another colour.
    box.setBackColour(glimra::kWindowBackground);
    QCOMPARE(box.palette().color(QPalette::Base), QGuiApplication::palette().color(QPalette::Base));
    QCOMPARE(view::ViewReader::backColour(box), glimra::kWindowBackground);
}

// Text appended while hidden where the caret stands, out of sight below the
// first page: the grown block's layout is held back until the view is shown,
// and the caret must not be placed on it before then (this crashed).
void tst_View::hiddenViewGrowsWhereTheCaretStood()
{
    RichTextBox box;
    QString text = manyEntries(30);
    box.setText(text);
    QVERIFY(showSized(box, 200, 60));
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    box.setTextCursor(end);
    box.verticalScrollBar()->setValue(0);
    const int caret = box.textCursor().position();
    box.setVisible(false);
    text += QStringLiteral("cd\r\nef");
    box.setText(text);
    box.setVisible(true);
    QCOMPARE(box.text(), text);
    QCOMPARE(box.textCursor().position(), caret);
}

void tst_View::userEditsAreReadBack()
{
    RichTextBox box;
    box.setText(QStringLiteral("\r\nab (A)\r\nab (B)"));
    QVERIFY(showSized(box, 300, 200));
    box.setFocus();
    QTextCursor c = box.textCursor();
    c.setPosition(1); // after the first paragraph separator
    box.setTextCursor(c);
    QTest::keyClicks(&box, QStringLiteral("x"));
    QTest::keyClick(&box, Qt::Key_Return);
    QCOMPARE(box.text(), QStringLiteral("\r\nx\r\nab (A)\r\nab (B)"));
    // Positions follow what the user sees now.
    selectRange(box, 5, 2);
    box.setSelItalic(true);
    QVERIFY(view::charFormatAt(box, 5).italic);
    QVERIFY(!view::charFormatAt(box, 4).italic);
    QVERIFY(!view::charFormatAt(box, 7).italic);
}

// Ctrl+Z takes back what the user's keys replaced, formats and all, and
// leaves the view where the edit was, not after the text it brings back; the
// program's changes are never recorded, and after one of them there is
// nothing left to undo.
void tst_View::userEditsAreUndoneButBuildsAreNot()
{
    RichTextBox box;
    QVERIFY(showSized(box, 300, 200));
    box.setFocus();
    const QString text = manyEntries(300);
    box.setText(text);
    selectRange(box, 2, 2);
    box.setSelBold(true);
    box.setSelColour(0x00336699);
    QCOMPARE(box.document()->availableUndoSteps(), 0);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.text(), text);

    QTest::keyClick(&box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(&box, QStringLiteral("x"));
    QCOMPARE(box.text(), QStringLiteral("x"));
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.text(), text);
    QCOMPARE(box.verticalScrollBar()->value(), 0);
    QVERIFY(view::charFormatAt(box, 3).bold());
    QCOMPARE(view::charFormatAt(box, 3).colour, glimra::Colour(0x00336699));
    QVERIFY(!view::charFormatAt(box, 4).bold());
    box.verticalScrollBar()->setValue(150);
    QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, QPoint(5, 5));
    QTest::keyClick(&box, Qt::Key_Delete);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(box.text(), text);
    QCOMPARE(box.verticalScrollBar()->value(), 150);

    QTest::keyClicks(&box, QStringLiteral("y"));
    selectRange(box, 0, 1);
    box.setSelItalic(true);
    QCOMPARE(box.document()->availableUndoSteps(), 0);
    QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
    QVERIFY(box.text().contains(u'y'));
}

// A Latin font asked to show Japanese draws the kana with a font that has
// them, while the program still reads back the font it set.
void tst_View::glyphsAFontLacksAreDrawnByOneThatHasThem()
{
    SKIP_UNLESS_INSTALLED(QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif"), QStringLiteral("IPAGothic"),
        QStringLiteral("IPAPGothic"));
    RichTextBox box;
    box.setText(QStringLiteral("\r\naあ\U0001F600b\r\n"));
    selectRange(box, 2, 5);
    box.setSelFontName(QStringLiteral("DejaVu Sans"));
    for (int i = 2; i < 7; ++i)
        QCOMPARE(view::charFormatAt(box, i).fontName, QStringLiteral("DejaVu Sans"));
    QCOMPARE(view::drawnFamilyAt(box, 2), QStringLiteral("DejaVu Sans"));
    // The kana go to the Japanese gothic that stands in for the label font
    // (IPAPGothic where the IPA fonts are installed).
    QCOMPARE(view::drawnFamilyAt(box, 3), glimra::labelFontStandIn());
    QCOMPARE(view::drawnFamilyAt(box, 6), QStringLiteral("DejaVu Sans"));
    // The surrogate pair is never split between two families.
    QCOMPARE(view::drawnFamilyAt(box, 4), view::drawnFamilyAt(box, 5));
    // A later font that has the kana takes them back.
    selectRange(box, 2, 5);
    box.setSelFontName(QStringLiteral("IPAGothic"));
    QCOMPARE(view::drawnFamilyAt(box, 3), QStringLiteral("IPAGothic"));
    QCOMPARE(view::charFormatAt(box, 3).fontName, QStringLiteral("IPAGothic"));

    // A character no font has is drawn as a missing glyph, by one font
    // whatever the entry's font, so that it loads no font per entry.
    box.setText(QStringLiteral("\r\na\U000F0000 (A)\r\na\U000F0000 (B)"));
    const QString fonts[] = { QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif") };
    for (int entry = 0; entry < 2; ++entry) {
        selectRange(box, 2 + entry * 9, 3);
        box.setSelFontName(fonts[entry]);
        QCOMPARE(view::drawnFamilyAt(box, 2 + entry * 9), fonts[entry]);
        QCOMPARE(view::drawnFamilyAt(box, 3 + entry * 9), glimra::labelFontStandIn());
        QCOMPARE(view::charFormatAt(box, 3 + entry * 9).fontName, fonts[entry]);
    }
}

// Qt's generic names and the label font are drawn with the families that
// stand for them and read back under the names the program set; copied, each
// run names installed families only, on the view's background.
void tst_View::standInFamiliesKeepTheProgramsNames()
{
    SKIP_UNLESS_INSTALLED(QStringLiteral("DejaVu Sans"));
    if (!glimra::labelFontStandInIsJapanese())
        QSKIP("needs a Japanese font for the kana, none installed here");
    RichTextBox box;
    box.setText(QStringLiteral("\r\nabc (Serif)\r\nxあy"));
    QCOMPARE(view::charFormatAt(box, 0).fontName, glimra::kLabelFontName);
    QCOMPARE(view::drawnFamilyAt(box, 0), glimra::labelFontStandIn());
    selectRange(box, 2, 3);
    box.setSelFontName(QStringLiteral("Serif"));
    QCOMPARE(view::charFormatAt(box, 2).fontName, QStringLiteral("Serif"));
    const QString drawn = view::drawnFamilyAt(box, 2);
    QVERIFY(!drawn.isEmpty());
    QVERIFY2(drawn != QStringLiteral("Serif"), "a generic name must be drawn with a real family");
    QVERIFY(QFontDatabase::families().contains(drawn));
    selectRange(box, 15, 3);
    box.setSelFontName(QStringLiteral("DejaVu Sans"));
    box.setBackColour(0x00336699);
    box.selectAll();
    box.copy();
    const QString html = QGuiApplication::clipboard()->mimeData()->html();
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->text(), QStringLiteral("\nabc (Serif)\nxあy"));
    const QStringList families = fontFamilyValues(html);
    QVERIFY2(families.contains(QLatin1Char('\'') + glimra::labelFontStandIn() + QLatin1Char('\'')), qPrintable(html));
    QVERIFY2(families.contains(QLatin1Char('\'') + drawn + QLatin1Char('\'')), qPrintable(html));
    // The kana DejaVu Sans lacks: its own name first, then the stand-in.
    QVERIFY2(
        families.contains(QStringLiteral("'DejaVu Sans','%1'").arg(view::drawnFamilyAt(box, 16))), qPrintable(html));
    for (const QString& family : families)
        QVERIFY2(!family.contains(glimra::kLabelFontName) && !family.contains(QStringLiteral("'Serif'")),
            qPrintable(family));
    QVERIFY2(html.contains(QStringLiteral("background-color:#996633")), qPrintable(html));
}

void tst_View::standInGlyphsDoNotPassForTheFontsOwn_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<int>("index");
    QTest::addColumn<bool>("japaneseFont"); // else a Latin font without kana
    QTest::addColumn<bool>("standIn");
    QTest::addColumn<glimra::Colour>("text");
    QTest::addColumn<glimra::Colour>("back");
    QTest::addColumn<int>("repeats"); // the sample over and over, the glyph in the middle copy
    const glimra::Colour black = 0, white = 0xFFFFFF, blue = 0xFF0000, yellow = 0x00FFFF;
    const QString sample = QStringLiteral("Hあ");
    QTest::newRow("a Latin font's own letter") << sample << 0 << false << false << black << white << 1;
    QTest::newRow("kana a Latin font lacks") << sample << 1 << false << true << black << white << 1;
    QTest::newRow("kana, on the background set last") << sample << 1 << false << true << blue << yellow << 1;
    QTest::newRow("letter, on the background set last") << sample << 0 << false << false << blue << yellow << 1;
    QTest::newRow("a Japanese font's own kana") << sample << 1 << true << false << black << white << 1;
    QTest::newRow("kana in sight in a long sample") << sample << 1 << false << true << black << white << 8000;
}

// Formatted and shown as a build does it (the colour after the font, the
// background last), a glyph another font draws for the entry's font is drawn
// halfway between the text and the background colours, the font's own glyphs
// in the text colour; copying still writes the colour the program set.
void tst_View::standInGlyphsDoNotPassForTheFontsOwn()
{
    QFETCH(QString, sample);
    QFETCH(int, index);
    QFETCH(bool, japaneseFont);
    QFETCH(bool, standIn);
    QFETCH(glimra::Colour, text);
    QFETCH(glimra::Colour, back);
    QFETCH(int, repeats);
    index += int(sample.size()) * (repeats / 2);
    sample = sample.repeated(repeats);
    if (!glimra::labelFontStandInIsJapanese())
        QSKIP("needs a Japanese font, none installed here");
    QString font = glimra::labelFontStandIn();
    if (!japaneseFont) {
        const bool dejaVu = QFontDatabase::families().contains(QStringLiteral("DejaVu Sans"));
        font = dejaVu ? QStringLiteral("DejaVu Sans") : QStringLiteral("Noto Sans");
        if (!QFontDatabase::families().contains(font))
            QSKIP("needs DejaVu Sans or Noto Sans, neither installed here");
    }
    RichTextBox box;
    QVERIFY(showSized(box, 400, 120));
    box.setText(QString());
    box.setVisible(false);
    box.setText(QStringLiteral("\r\n") + sample + QStringLiteral(" (F)"));
    selectRange(box, 2, qint32(sample.size()));
    box.setSelFontName(font);
    box.setSelFontSize(std::int16_t(36));
    box.setSelColour(text);
    box.setBackColour(back);
    box.setSelStart(0);
    box.setVisible(true);
    QTextCursor at(box.document());
    at.setPosition(view::documentPosition(box, 2 + index));
    box.setTextCursor(at);
    box.ensureCursorVisible();
    const QImage shot = box.viewport()->grab().toImage().scaled(box.viewport()->size());
    // Of a long sample's stand-ins, those around the lines in sight are
    // tinted, not all: Qt lays a block out in time that grows with the
    // product of its format changes and its layout's formats.
    QVERIFY(box.document()->findBlock(at.position()).layout()->formats().size() <= 4 * view::kTintStretch / 2);
    const QRect left = box.cursorRect(at);
    at.movePosition(QTextCursor::NextCharacter);
    const QRect glyph(left.topLeft(), QPoint(box.cursorRect(at).left(), left.bottom()));
    // The ink: the pixel of the glyph farthest from the background.
    const QColor background = glimra::toQColor(back, box.palette());
    const auto distance = [](const QColor& a, const QColor& b) {
        return std::max(
            { std::abs(a.red() - b.red()), std::abs(a.green() - b.green()), std::abs(a.blue() - b.blue()) });
    };
    QColor ink = background;
    for (int y = glyph.top(); y <= glyph.bottom(); ++y)
        for (int x = glyph.left(); x < glyph.right(); ++x)
            if (distance(shot.pixelColor(x, y), background) > distance(ink, background))
                ink = shot.pixelColor(x, y);
    const QColor own = glimra::toQColor(text, box.palette());
    const QColor expected = standIn ? view::halfway(own, background) : own;
    QVERIFY2(distance(ink, expected) <= 24,
        qPrintable(QStringLiteral("ink %1, expected %2").arg(ink.name(), expected.name())));
    box.selectAll();
    box.copy();
    const QString html = QGuiApplication::clipboard()->mimeData()->html();
    QVERIFY2(html.contains(QStringLiteral("color:") + own.name()), qPrintable(html));
    QVERIFY2(!html.contains(view::halfway(own, background).name()), qPrintable(html));
}

void tst_View::showingLaysOutTheFirstPageWithFontsLoadedWhileHidden_data()
{
    QTest::addColumn<QString>("sample");
    QTest::newRow("Latin") << QStringLiteral("SAMPLE");
    // The space after the katakana takes their script.
    QTest::newRow("Japanese and Latin") << QStringLiteral("サンプル SAMPLE");
}

// The text grows from empty while the view is hidden, as a build grows it,
// to three pages and more, every entry in a font of its own (family, weight,
// slant and size), and each entry's fonts are loaded between the events
// processed after it. Showing the view lays out the first page only, and
// must find every font of it loaded; the last page follows between events
// (tst_view_parts tests the rest of LastPageLayout). The fonts of the generated desktop set have no full
// Latin, so Qt loads them once for each script they are shaped in: loading
// them in the wrong script leaves the shown view to load them.
void tst_View::showingLaysOutTheFirstPageWithFontsLoadedWhileHidden()
{
    QFETCH(QString, sample);
    const QStringList families = QFontDatabase::families().mid(0, 8);
    QVERIFY(families.size() >= 4);
    // In a window that stays shown, as in the program, so that showing the
    // view paints it at once.
    QWidget window;
    RichTextBox box(&window);
    box.resize(400, 200);
    QVERIFY(showSized(window, 400, 200));
    box.setText(QString());
    box.setVisible(false);
    const int entries = int(families.size()) * 8;
    const auto family = [&](int i) { return families.at(i % families.size()); };
    for (int i = 0; i < entries; ++i)
        box.setText(std::move(
            box.takeText() += QString(QStringLiteral("\r\n") + sample + QStringLiteral(" (") + family(i) + u')')));
    qint32 p = 2;
    for (int i = 0; i < entries; ++i) {
        const int style = i / int(families.size());
        selectRange(box, p, qint32(sample.size()));
        box.setSelFontName(family(i));
        box.setSelFontSize(std::int16_t(10 + style % 2));
        box.setSelBold(style & 2);
        box.setSelItalic(style & 4);
        p += qint32(sample.size());
        selectRange(box, p, qint32(family(i).size()) + 3);
        box.setSelFontName(glimra::kLabelFontName);
        box.setSelFontSize(std::int16_t(9));
        p += qint32(family(i).size()) + 5;
        box.entryFinished(p);
        QCoreApplication::processEvents();
    }
    box.setSelStart(0);
    QVERIFY2(g_fontMatches > 0, "fontconfig's matches are not counted");
    const int before = g_fontMatches;
    box.setVisible(true);
    box.viewport()->repaint();
    QVERIFY2(box.document()->findBlockByNumber(1).layout()->lineCount() > 0, "showing painted nothing");
    QCOMPARE(g_fontMatches - before, 0);
    const QTextBlock middle = box.document()->findBlockByNumber(entries / 2);
    QVERIFY2(middle.layout()->lineCount() == 0, "the second page was laid out");
    QVERIFY2(box.document()->lastBlock().layout()->lineCount() == 0, "the last page was laid out when shown");
    QTRY_VERIFY(box.document()->lastBlock().layout()->lineCount() > 0);
}

QTEST_MAIN(tst_View)
#include "tst_view.moc"
