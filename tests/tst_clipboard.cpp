// What copying the preview writes: entries one a line, each font's name as
// the view holds it, whatever line breaks the name itself holds.

#include "../view/rich_text_box.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QTextDocument>

using view::RichTextBox;

class tst_Clipboard : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void namesKeepTheirLineBreaks_data();
    void namesKeepTheirLineBreaks();
};

void tst_Clipboard::namesKeepTheirLineBreaks_data()
{
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("plain"); // the name as the plain text has it
    QTest::addColumn<QString>("html"); // and as the HTML has it

    const QString sample = QStringLiteral("ab");
    QTest::newRow("LF") << sample << QStringLiteral("Foo\nBar") << QStringLiteral("Foo\\nBar")
                        << QStringLiteral("Foo&#10;Bar");
    QTest::newRow("CR") << sample << QStringLiteral("Foo\rBar") << QStringLiteral("Foo\\rBar")
                        << QStringLiteral("Foo&#13;Bar");
    QTest::newRow("CR LF") << sample << QStringLiteral("Foo\r\nBar") << QStringLiteral("Foo\\r\\nBar")
                           << QStringLiteral("Foo&#13;&#10;Bar");
    QTest::newRow("line separator") << sample << QStringLiteral("Foo\u2028Bar") << QStringLiteral("Foo\\u2028Bar")
                                    << QStringLiteral("Foo&#8232;Bar");
    QTest::newRow("paragraph separator") << sample << QStringLiteral("Foo\u2029Bar") << QStringLiteral("Foo\\u2029Bar")
                                         << QStringLiteral("Foo&#8233;Bar");
    QTest::newRow("breaks at both ends") << sample << QStringLiteral("\nFoo\r") << QStringLiteral("\\nFoo\\r")
                                         << QStringLiteral("&#10;Foo&#13;");
    QTest::newRow("a tab and a no-break space, as they are")
        << sample << QStringLiteral("Foo\t\u00a0Bar") << QStringLiteral("Foo\t\u00a0Bar") << QString();
    // The user's own line breaks in the sample are line breaks.
    QTest::newRow("a sample of two lines") << QStringLiteral("a\nb") << QStringLiteral("Foo\nBar")
                                           << QStringLiteral("Foo\\nBar") << QStringLiteral("Foo&#10;Bar");
}

// Two entries as the preview writes and labels them; all of it copied.
void tst_Clipboard::namesKeepTheirLineBreaks()
{
    QFETCH(QString, sample);
    QFETCH(QString, name);
    QFETCH(QString, plain);
    QFETCH(QString, html);
    const QString crlf = QStringLiteral("\r\n");
    RichTextBox box;
    box.setText(
        crlf + sample + QStringLiteral(" (") + name + QStringLiteral(")") + crlf + sample + QStringLiteral(" (B)"));
    const qint32 second = 2 + qint32(sample.size() + name.size()) + 3 + 2;
    for (const qint32 label : { 2 + qint32(sample.size()), second + qint32(sample.size()) }) {
        box.setSelStart(label);
        box.setSelLength(label == second + sample.size() ? 4 : qint32(name.size()) + 3);
        box.setSelProperty17(100);
    }
    box.selectAll();
    box.copy();
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);

    QCOMPARE(mime->text(),
        QStringLiteral("\n") + sample + QStringLiteral(" (") + plain + QStringLiteral(")\n") + sample
            + QStringLiteral(" (B)"));
    if (!html.isEmpty())
        QVERIFY2(mime->html().contains(QStringLiteral(" (") + html + QStringLiteral(")")), qPrintable(mime->html()));
    // Read back, CR and LF are white space in HTML, and the HTML holds as
    // many paragraphs as the program wrote lines. (U+2028 and U+2029 are no
    // white space: a reader may break the line there, as Qt's does.)
    if (!name.contains(QChar::LineSeparator) && !name.contains(QChar::ParagraphSeparator)) {
        QTextDocument pasted;
        pasted.setHtml(mime->html());
        QCOMPARE(pasted.blockCount(), 3 + 2 * int(sample.count(u'\n')));
    }
}

QTEST_MAIN(tst_Clipboard)
#include "tst_clipboard.moc"
