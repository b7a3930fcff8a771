// The view's parts on their own, a table each: the position map, the
// document writer, the hidden view's edit block, the last page's layout and
// the glyph fallback (on fonts of the test's own making).

#include "../view/document_writer.h"
#include "../view/format_properties.h"
#include "../view/glyph_fallback.h"
#include "../view/hidden_edits.h"
#include "../view/last_page_layout.h"
#include "../view/position_map.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>

#include <fontconfig/fontconfig.h>
#include <memory>

using view::DocumentWriter;

namespace
{

// The format a step names: bold ("bold", "bold?"), else a family.
QTextCharFormat format(const QString& name)
{
    QTextCharFormat f;
    if (name.startsWith(QStringLiteral("bold")))
        f.setFontWeight(QFont::Bold);
    else
        f.setFontFamilies(QStringList { name });
    return f;
}

// Each document character's format, paragraph separators included: "b" for
// bold, then the first letter of its family; "-" for neither.
QString formatsOf(const QTextDocument& document)
{
    const auto token = [](const QTextCharFormat& f) {
        QString t = f.fontWeight() == QFont::Bold ? QStringLiteral("b") : QString();
        t += f.fontFamilies().toStringList().value(0).left(1).toLower();
        return t.isEmpty() ? QStringLiteral("-") : t;
    };
    QStringList tokens;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            for (int i = 0; i < it.fragment().length(); ++i)
                tokens += token(it.fragment().charFormat());
        }
        if (block.next().isValid())
            tokens += token(view::detail::separatorFormat(block));
    }
    return tokens.join(u' ');
}

// Fonts the glyph fallback is asked about: "Latin" and "No English" draw
// ASCII (Qt loads the second once per script), "Kana" ASCII and kana, and
// "Kana" stands in for the kana.
class TableCoverage final : public glimra::GlyphCoverage
{
public:
    TableCoverage()
    {
        for (char32_t c = 0x20; c < 0x7F; ++c) {
            FcCharSetAddChar(m_ascii.get(), c);
            FcCharSetAddChar(m_kana.get(), c);
        }
        for (char32_t c = 0x3041; c < 0x3100; ++c)
            FcCharSetAddChar(m_kana.get(), c);
    }
    std::optional<Family> find(const QString& name) override
    {
        if (name == QStringLiteral("Latin") || name == QStringLiteral("No English"))
            return Family { name, m_ascii.get(), name == QStringLiteral("Latin") };
        if (name == QStringLiteral("Kana"))
            return Family { name, m_kana.get(), true };
        return std::nullopt;
    }
    QString fallbackFor(char32_t c) override
    {
        return FcCharSetHasChar(m_kana.get(), c) ? QStringLiteral("Kana") : QString();
    }

private:
    std::unique_ptr<FcCharSet, decltype(&FcCharSetDestroy)> m_ascii { FcCharSetCreate(), &FcCharSetDestroy };
    std::unique_ptr<FcCharSet, decltype(&FcCharSetDestroy)> m_kana { FcCharSetCreate(), &FcCharSetDestroy };
};

} // namespace

class tst_ViewParts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void positionMap_data();
    void positionMap();
    void documentWriter_data();
    void documentWriter();
    void hiddenEdits_data();
    void hiddenEdits();
    void lastPageLayout_data();
    void lastPageLayout();
    void standInRuns_data();
    void standInRuns();
};

// Program position → document position and the character's first unit.
void tst_ViewParts::positionMap_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("position");
    QTest::addColumn<int>("document");
    QTest::addColumn<int>("characterStart");
    QTest::addColumn<int>("back"); // the program position `document` maps back to

    const QString entries = QStringLiteral("\r\nab (A)\r\nab (B)");
    QTest::newRow("start, the CR of the first pair") << entries << 0 << 0 << 0 << 0;
    QTest::newRow("LF of the first pair") << entries << 1 << 1 << 0 << 2;
    QTest::newRow("after the first pair") << entries << 2 << 1 << 2 << 2;
    QTest::newRow("CR of the second pair") << entries << 8 << 7 << 8 << 8;
    QTest::newRow("LF of the second pair") << entries << 9 << 8 << 8 << 10;
    QTest::newRow("after the second pair") << entries << 10 << 8 << 10 << 10;
    QTest::newRow("end") << entries << 16 << 14 << 16 << 16;
    QTest::newRow("past the end") << entries << 99 << 14 << 99 << 16;
    QTest::newRow("negative") << entries << -3 << 0 << -3 << 0;
    QTest::newRow("lone CR and LF are one each") << QStringLiteral("a\rb\nc") << 4 << 4 << 4 << 4;
    QTest::newRow("LF CR is no pair") << QStringLiteral("\n\r") << 1 << 1 << 1 << 1;
    QTest::newRow("low surrogate moves on") << QStringLiteral("x\U0001F600y") << 2 << 3 << 1 << 3;
    QTest::newRow("high surrogate stays") << QStringLiteral("x\U0001F600y") << 1 << 1 << 1 << 1;
    QTest::newRow("lone low surrogate stays") << QString(QChar(0xDE00)) + u'y' << 0 << 0 << 0 << 0;
    QTest::newRow("empty") << QString() << 0 << 0 << 0 << 0;
}

void tst_ViewParts::positionMap()
{
    QFETCH(QString, text);
    QFETCH(int, position);
    QFETCH(int, document);
    QFETCH(int, characterStart);
    QFETCH(int, back);

    view::PositionMap map;
    map.assign(text);
    QCOMPARE(map.documentPosition(position), document);
    QCOMPARE(map.characterStart(position), characterStart);
    QCOMPARE(map.programPosition(document), back);
    // Grown piece by piece through take and give back, the map is the same,
    // a pair split across two pieces included.
    view::PositionMap grown;
    for (qsizetype i = 0; i < text.size(); ++i) {
        QString held = grown.take();
        const qsizetype kept = held.size();
        held += text.at(i);
        grown.giveBack(std::move(held), kept);
    }
    QCOMPARE(grown.text(), text);
    QCOMPARE(grown.documentPosition(position), document);
}

// What the program's changes leave in a document of "ab", a paragraph
// separator and "cd", and how many changes it saw. A step is "bold a-b"
// (merged), "bold? a-b" (skipped where every character there, separators
// included, has it already), "Y a-b" (family Y), "hold X a-b in c-d" (a run
// held back for c-d), "settle", "append" (an "e"), "rebuild", or "user a-b"
// (the user's edit: regular weight).
void tst_ViewParts::documentWriter_data()
{
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("formats");
    QTest::addColumn<int>("changes");
    const auto row = [](const char* name, const char* steps, const char* formats, int changes) {
        QTest::newRow(name) << QString::fromLatin1(steps) << QString::fromLatin1(formats) << changes;
    };
    row("a range holding a separator formats it", "bold 0-3", "b b b - -", 1);
    row("skipped where every character has it", "bold 0-2; bold? 0-2", "b b - - -", 1);
    row("not skipped where the separator lacks it", "bold 0-2; bold? 0-3", "b b b - -", 2);
    row("the separator alone has it", "bold 2-3; bold? 2-3", "- - b - -", 1);
    row("a character before it lacks it", "bold 2-3; bold? 1-3", "- b b - -", 2);
    row("the next block lacks the separator's", "bold 2-3; bold? 3-4", "- - b b -", 2);
    row("the user's edit after a check, before it", "bold 0-5; bold? 1-5; user 3-4; bold? 1-3", "b b b - b", 2);
    row("the user's edit after a check, inside", "bold 0-5; bold? 1-5; user 3-4; bold? 2-5", "b b b b b", 3);
    row("held runs wait for the entry's formats", "hold X 1-2 in 0-5; bold 0-5", "b b b b b", 1);
    row("settled, the runs come after them", "hold X 1-2 in 0-5; bold 0-5; settle", "b bx b b b", 2);
    row("a format setting the runs' property merges them first", "hold X 1-2 in 0-5; Y 0-5", "y y y y y", 2);
    row("a format on another range merges them first", "hold X 1-2 in 0-5; bold 0-2", "b bx - - -", 2);
    row("appending merges them first", "hold X 1-2 in 0-5; append", "- x - - - -", 2);
    row("a new text drops them", "hold X 1-2 in 0-5; rebuild; settle", "- - - - -", 3);
}

void tst_ViewParts::documentWriter()
{
    QFETCH(QString, steps);
    QFETCH(QString, formats);
    QFETCH(int, changes);
    QTextDocument document;
    document.documentLayout(); // without a layout, no change is told
    DocumentWriter writer(&document);
    QObject::connect(&document, &QTextDocument::contentsChange, &document, [&writer] { writer.noteChange(); });
    writer.rebuild(QStringLiteral("ab\ncd"), {});
    QSignalSpy spy(&document, &QTextDocument::contentsChange);
    for (const QString& step : steps.split(u';', Qt::SkipEmptyParts)) {
        const QStringList words = step.split(u' ', Qt::SkipEmptyParts);
        const auto range = [&](int word) {
            const QStringList ends = words.value(word).split(u'-');
            return std::pair { ends.value(0).toInt(), ends.value(1).toInt() };
        };
        const QString& verb = words.at(0);
        const auto [from, to] = range(verb == QStringLiteral("hold") ? 2 : 1);
        if (verb == QStringLiteral("hold")) {
            writer.applyAfter({ { from, to, format(words.at(1)) } }, range(4).first, range(4).second);
        } else if (verb == QStringLiteral("settle")) {
            writer.settle();
        } else if (verb == QStringLiteral("append")) {
            writer.append(u"e", {});
        } else if (verb == QStringLiteral("rebuild")) {
            writer.rebuild(QStringLiteral("ab\ncd"), {});
        } else if (verb == QStringLiteral("user")) {
            QTextCursor user(&document);
            user.setPosition(from);
            user.setPosition(to, QTextCursor::KeepAnchor);
            QTextCharFormat regular;
            regular.setFontWeight(QFont::Normal);
            user.mergeCharFormat(regular);
        } else {
            writer.apply(format(verb), from, to, verb.endsWith(u'?'));
        }
    }
    QCOMPARE(formatsOf(document), formats);
    QCOMPARE(spy.count(), changes);
    // The program's changes are never undone; the user's are.
    QCOMPARE(document.availableUndoSteps() > 0, steps.endsWith(QStringLiteral("user 3-4; bold? 1-3")));
}

// While hidden, the layout hears of no change and the view holds no caret;
// shown again, the caret returns where it stood, as far as the text reaches.
void tst_ViewParts::hiddenEdits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("caret");
    QTest::addColumn<QString>("newText");
    QTest::addColumn<int>("caretAfter");
    QTest::newRow("the text grows") << QStringLiteral("abc") << 2 << QStringLiteral("abc\ndef") << 2;
    QTest::newRow("the caret past the new end") << QStringLiteral("abc\ndef") << 6 << QStringLiteral("ab") << 2;
    // A caret there would be pushed along to the end.
    QTest::newRow("text inserted where the caret stood") << QString() << 0 << QStringLiteral("abc\ndef") << 0;
}

void tst_ViewParts::hiddenEdits()
{
    QFETCH(QString, text);
    QFETCH(int, caret);
    QFETCH(QString, newText);
    QFETCH(int, caretAfter);
    QPlainTextEdit view;
    DocumentWriter writer(view.document());
    writer.rebuild(text, {});
    QTextCursor c(view.document());
    c.setPosition(caret);
    view.setTextCursor(c);
    view::HiddenEdits hidden(&view);
    // Qt tells the layout of a change as it tells contentsChange.
    QSignalSpy layouts(view.document(), &QTextDocument::contentsChange);

    hidden.begin(writer);
    QVERIFY(hidden.active() && hidden.deferring());
    QVERIFY(view.textCursor().isNull());
    writer.rebuild(newText, {});
    writer.apply(format(QStringLiteral("bold")), 0, 1, false);
    QCOMPARE(layouts.count(), 0);
    hidden.end(writer);
    QVERIFY(!hidden.active() && !hidden.deferring());
    QVERIFY(layouts.count() > 0);
    QCOMPARE(view.document()->toPlainText(), newText);
    QCOMPARE(hidden.caretAsHidden().position(), caretAfter);
}

// A view just shown waits with its last page until events have run, unless
// the user scrolls towards the end or it is told to finish; whatever the
// program does to the text meanwhile, the last page is laid out after.
void tst_ViewParts::lastPageLayout_data()
{
    QTest::addColumn<bool>("waiting"); // right after what happens meanwhile
    QTest::addColumn<int>("lines");
    QTest::newRow("left alone") << true << 300;
    QTest::newRow("the program at work") << true << 300;
    QTest::newRow("scrolled towards the end") << false << 300;
    QTest::newRow("told to finish") << false << 300;
    // The block it was to lay out next is gone (this crashed).
    QTest::newRow("an empty view given a new text") << true << 0;
}

void tst_ViewParts::lastPageLayout()
{
    QFETCH(bool, waiting);
    QFETCH(int, lines);
    QPlainTextEdit view;
    view.resize(200, 100);
    view.setPlainText(QStringLiteral("line\n").repeated(lines));
    view::LastPageLayout page(&view);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    page.start();
    QVERIFY(view.centerOnScroll());
    const QByteArray meanwhile = QTest::currentDataTag();
    QScrollBar* bar = view.verticalScrollBar();
    if (meanwhile == "the program at work") {
        page.programAtWork();
    } else if (meanwhile == "scrolled towards the end") {
        bar->setValue(bar->maximum());
    } else if (meanwhile == "told to finish") {
        page.finish();
    } else if (meanwhile == "an empty view given a new text") {
        DocumentWriter writer(view.document());
        writer.rebuild(QStringLiteral("\n\n"), {});
        writer.rebuild(QString(), {});
    }
    QCOMPARE(view.centerOnScroll(), waiting);
    QTRY_VERIFY(!view.centerOnScroll());
    QVERIFY(view.document()->lastBlock().layout()->lineCount() > 0);
    // The range as Qt counts it without centerOnScroll, counted at once.
    const int range = bar->maximum();
    QVERIFY(range < std::max(1, view.document()->blockCount() - 1));
    view.setCenterOnScroll(true);
    view.setCenterOnScroll(false);
    QCOMPARE(bar->maximum(), range);
}

void tst_ViewParts::standInRuns_data()
{
    QTest::addColumn<QString>("font");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("runs"); // from-to:family, "none" where no font has them
    const auto row = [](const char* name, const QString& font, const QString& text, int from, int to,
                         const QString& runs) { QTest::newRow(name) << font << text << from << to << runs; };
    row("the font's own glyphs", "Latin", "abc", 0, 3, "");
    row("kana a Latin font lacks", "Latin", "aあb", 0, 3, "1-2:Kana");
    row("a character no font has, a surrogate pair", "Latin", "a\U000F0000b", 0, 4, "1-3:none");
    row("line breaks belong to no run", "Latin", "あ\r\nあ", 0, 4, "0-1:Kana,3-4:Kana");
    row("only the range asked for", "Latin", "あaあ", 1, 3, "2-3:Kana");
    row("a Japanese font's own kana", "Kana", "aあb", 0, 3, "");
    row("a space after kana, font without English", "No English", "サン SAMPLE", 0, 9, "0-3:Kana");
    row("a space before kana at a paragraph's start, font without English", "No English", " サン", 0, 3, "0-3:Kana");
    row("a space after Latin, font without English", "No English", "SA サン", 0, 5, "3-5:Kana");
    row("a space after kana, font with English", "Latin", "サン SAMPLE", 0, 9, "0-2:Kana");
}

// Which stretches of a run another family draws, and which family.
void tst_ViewParts::standInRuns()
{
    QFETCH(QString, font);
    QFETCH(QString, text);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, runs);
    TableCoverage coverage;
    QStringList got;
    for (const view::StandInRun& run : view::standInRuns(coverage, *coverage.find(font), text, from, to))
        got += QStringLiteral("%1-%2:%3")
                   .arg(run.from)
                   .arg(run.to)
                   .arg(run.family.isEmpty() ? QStringLiteral("none") : run.family);
    QCOMPARE(got.join(u','), runs);
}

QTEST_MAIN(tst_ViewParts)
#include "tst_view_parts.moc"
