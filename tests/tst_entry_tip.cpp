// The tool tip of a preview entry, read where the pointer rests, against
// what fontconfig's own character sets say each font lacks.

#include "test_fonts.h"
#include "view_reader.h"

#include "../view/entry_tip.h"
#include "../view/rich_text_box.h"

#include <QApplication>
#include <QHelpEvent>
#include <QTest>
#include <QTextBlock>
#include <QToolTip>

#include <fontconfig/fontconfig.h>

using view::RichTextBox;
namespace tip = glimra::tip;

namespace
{

// Whether no face of the family (of any family, for an empty name) has the
// character, as fontconfig answers from its own cache.
bool fontconfigLacks(const QString& family, const QString& character)
{
    FcPattern* pattern = FcPatternCreate();
    if (!family.isEmpty())
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.toUtf8().constData()));
    FcCharSet* wanted = FcCharSetCreate();
    FcCharSetAddChar(wanted, character.toUcs4().value(0));
    FcPatternAddCharSet(pattern, FC_CHARSET, wanted);
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* fonts = FcFontList(nullptr, pattern, objects);
    const bool lacks = !fonts || fonts->nfont == 0;
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
    for (const char32_t c : sample.toUcs4()) {
        const QString character = QString::fromUcs4(&c, 1);
        if (!QChar::isSpace(c) && !lacked.contains(character) && fontconfigLacks(font, character))
            lacked << character;
    }
    QStringList lines { font, tip::AllDrawn };
    if (!lacked.isEmpty()) {
        const QString ellipsis = lacked.size() > view::kTipCharacters ? tip::Ellipsis : QString();
        lines = QStringList { font, tip::Lacks.arg(lacked.size()),
            lacked.mid(0, view::kTipCharacters).join(u' ') + ellipsis, tip::Grey };
    }
    QCOMPARE(tip.split(u'\n').mid(0, lines.size()), lines);
    const QString drawnBy = tip.split(u'\n').filter(tip::DrawnBy.arg(QString())).value(0);
    for (const QString& family : drawnBy.mid(tip::DrawnBy.size() - 2).split(tip::ListSeparator, Qt::SkipEmptyParts))
        QVERIFY2(!std::all_of(lacked.begin(), lacked.end(), [&](auto& c) { return fontconfigLacks(family, c); }),
            qPrintable(tip));
    const auto inNoFont = std::count_if(lacked.begin(), lacked.end(), [](auto& c) { return fontconfigLacks({}, c); });
    QCOMPARE(tip.contains(tip::InNoFont.arg(inNoFont)), inNoFont > 0);
}

// The view as the build leaves it: per font a line break, the sample in
// that font, and " (" the name ")" in the label font, marked as a label.
void fill(RichTextBox& box, const QStringList& fonts, const QString& sample)
{
    QString text;
    for (const QString& font : fonts)
        text += QStringLiteral("\r\n") + sample + QStringLiteral(" (") + font + u')';
    box.setText(text);
    qint32 p = 2;
    for (const QString& font : fonts) {
        box.setSelStart(p);
        box.setSelLength(qint32(sample.size()));
        box.setSelFontName(font);
        box.setSelStart(p += qint32(sample.size()));
        box.setSelLength(qint32(font.size()) + 3);
        box.setSelFontName(glimra::kLabelFontName);
        box.setSelProperty17(100);
        p += qint32(font.size()) + 5;
    }
}

// Rests the pointer on the character at a document position: the tip Qt
// shows, or nothing.
QString hover(RichTextBox& box, int position)
{
    QToolTip::hideText();
    if (!QTest::qWaitFor([] { return !QToolTip::isVisible(); }, 2000))
        return QStringLiteral("(the last tip stayed)");
    QTextCursor at(box.document());
    at.setPosition(position);
    const QRect before = box.cursorRect(at);
    at.setPosition(position + 1);
    const QPoint point((before.left() + box.cursorRect(at).left()) / 2, before.center().y());
    QHelpEvent event(QEvent::ToolTip, point, box.viewport()->mapToGlobal(point));
    QApplication::sendEvent(box.viewport(), &event);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

} // namespace

class tst_EntryTip : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void tipSaysWhatTheFontLacks_data();
    void tipSaysWhatTheFontLacks();
    void everyEntryAgreesWithFontconfig();
};

void tst_EntryTip::tipSaysWhatTheFontLacks_data()
{
    QTest::addColumn<QString>("font");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<bool>("onName"); // the pointer on the name label, not the sample
    QTest::addColumn<QString>("typed"); // typed into the sample before the pointer rests
    const QString latin = QStringLiteral("DejaVu Sans");
    const QString gothic = QStringLiteral("IPAGothic");
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
}

void tst_EntryTip::tipSaysWhatTheFontLacks()
{
    QFETCH(QString, font);
    QFETCH(QString, sample);
    QFETCH(bool, onName);
    QFETCH(QString, typed);
    SKIP_UNLESS_INSTALLED(font);
    RichTextBox box;
    box.resize(800, 400);
    box.show();
    QVERIFY(QTest::qWaitForWindowExposed(&box));
    fill(box, { font, QStringLiteral("DejaVu Serif") }, sample);
    const int first = box.document()->findBlockByNumber(1).position();
    if (!typed.isEmpty()) {
        QTextCursor caret(box.document());
        caret.setPosition(first + 1);
        QTest::mouseClick(box.viewport(), Qt::LeftButton, {}, box.cursorRect(caret).center());
        QKeyEvent key(QEvent::KeyPress, 0, Qt::NoModifier, typed);
        QApplication::sendEvent(&box, &key);
        sample.insert(1, typed);
    }
    const auto state = [&box] {
        return std::tuple(box.text(), box.document()->toHtml(), box.document()->availableUndoSteps(),
            box.textCursor().anchor(), box.textCursor().position(), view::ViewReader::selStart(box),
            view::ViewReader::selLength(box));
    };
    const auto before = state();
    const int name = box.document()->find(QStringLiteral(" (") + font + u')', first).selectionStart() + 2;
    const QString tip = hover(box, onName ? name : first);
    verifyTip(tip, font, sample.replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    // Resting there changed nothing a copy or an undo would see; off the
    // text, no tip.
    QVERIFY(state() == before);
    QCOMPARE(hover(box, 0), QString());
}

void tst_EntryTip::everyEntryAgreesWithFontconfig()
{
    const QString sample = QStringLiteral("SAMPLE サンプル あ漢 Ж ა ∑ 🀄");
    QStringList fonts = QFontDatabase::families();
    fonts.removeIf([](const QString& f) { return !glimra::FontCoverage::instance().isInstalled(f); });
    QVERIFY(!fonts.isEmpty());
    RichTextBox box;
    fill(box, fonts, sample);
    for (int i = 0; i < fonts.size() && !QTest::currentTestFailed(); ++i) {
        const auto entry = view::entryAt(*box.document(), box.document()->findBlockByNumber(i + 1).position());
        QVERIFY(entry && entry->fontName == fonts[i] && entry->sample == sample);
        verifyTip(view::entryTipText(entry->fontName, entry->sample), fonts[i], sample);
    }
}

QTEST_MAIN(tst_EntryTip)
#include "tst_entry_tip.moc"
