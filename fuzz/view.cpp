// The view's contract, whatever calls the build and the person make: a
// sequence of calls read from the bytes is made on a RichTextBox and on the
// reference model, with the events that come due (the view's timers
// included) run between calls where the bytes say, and each time the view
// is shown again its text and every character's format must be the model's.

#include "check.h"

#include "../tests/view_model.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdint>
#include <iterator>

using view::CharFormat;
using view::Model;
using view::RichTextBox;

namespace
{

constexpr qsizetype kMaxLength = 512;

// The bytes, read one small choice at a time; zeros once they run out.
class Choices
{
public:
    Choices(const std::uint8_t* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool done() const { return m_at >= m_size; }
    int next(int count) { return m_at < m_size ? m_data[m_at++] % count : 0; }

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
    std::size_t m_at = 0;
};

// Text as the build and the person make it: line breaks of every kind,
// surrogate pairs whole and halved, kana, brackets.
QString text(Choices& choose)
{
    static const QString pieces[] = { "a", "Z", " ", "\r", "\n", "\r\n", "あ", QString(QChar(0xD83D)),
        QString(QChar(0xDE00)), "\U0001F600", "\u2028", "\u2029", "(" };
    QString s;
    for (int n = choose.next(24); n > 0; --n)
        s += pieces[choose.next(int(std::size(pieces)))];
    return s;
}

void runEvents(int ms)
{
    QElapsedTimer timer;
    timer.start();
    do
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    while (timer.elapsed() < ms);
}

void check(RichTextBox& box, const Model& model)
{
    box.setVisible(true);
    FUZZ_CHECK(box.text() == model.text());
    FUZZ_CHECK(box.document()->characterCount() - 1 == model.documentLength());
    for (qsizetype i = 0; i < model.text().size(); ++i)
        FUZZ_CHECK(view::charFormatAt(box, qint32(i)) == model.formatAt(i));
}

} // namespace

// Made once for every input. The replay ends it before the program's statics
// go: left to them, it would outlive the ones Qt made for it.
static QApplication* g_app = nullptr;

extern "C" void glimraFuzzerCleanup()
{
    delete g_app;
    g_app = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    g_app = new QApplication(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString fonts[] = { "DejaVu Sans", "IPAGothic", "Nope" };
    Choices choose(data, size);
    RichTextBox box;
    box.show();
    Model model;
    for (int calls = 0; calls < 200 && !choose.done(); ++calls) {
        const qint32 reach = qint32(model.text().size()) + 4;
        switch (choose.next(16)) {
        case 0:
        case 1: {
            const QString t = text(choose);
            box.setText(t);
            model.setText(t);
            break;
        }
        case 2: { // the text pass: what is there, extended
            const QString tail = text(choose);
            // Each check reads every character back: a short text keeps the runs quick.
            if (model.text().size() > kMaxLength)
                break;
            RichTextBox::HeldText held = box.takeText();
            held += tail;
            const QString t = held.text();
            box.setText(std::move(held));
            model.setText(t);
            break;
        }
        case 3: {
            const qint32 start = choose.next(reach);
            box.setSelStart(start);
            model.setSelStart(start);
            break;
        }
        case 4: {
            const qint32 length = choose.next(reach);
            box.setSelLength(length);
            model.setSelLength(length);
            break;
        }
        case 5: {
            const QString& font = fonts[choose.next(int(std::size(fonts)))];
            box.setSelFontName(font);
            model.apply([&](CharFormat& f) { f.fontName = font; });
            break;
        }
        case 6: {
            const int points = 8 + 2 * choose.next(33);
            box.setSelFontSize(QString::number(points));
            model.apply([&](CharFormat& f) { f.pointSize = points; });
            break;
        }
        case 7: {
            const glimra::Colour colour = glimra::Colour(choose.next(256)) << (8 * choose.next(3));
            box.setSelColour(colour);
            model.apply([&](CharFormat& f) { f.colour = colour; });
            break;
        }
        case 8:
            box.setSelBold(true);
            model.apply([](CharFormat& f) { f.weight = 700; });
            break;
        case 9:
            box.setSelItalic(true);
            model.apply([](CharFormat& f) { f.italic = true; });
            break;
        case 10:
            box.setSelProperty17(100);
            model.apply([](CharFormat& f) { f.property17 = 100; });
            break;
        case 11:
            box.setSelFontSize(std::int16_t(9));
            model.apply([](CharFormat& f) { f.pointSize = 9; });
            break;
        case 12:
            box.entryFinished(choose.next(reach));
            break;
        case 13:
            if (box.isVisible())
                box.setVisible(false);
            else
                check(box, model);
            break;
        case 14:
            box.setWidthTwips(float(1500 * (1 + choose.next(8))));
            box.setHeightTwips(float(1000 * (1 + choose.next(8))));
            break;
        case 15:
            runEvents(choose.next(4) * 10);
            break;
        }
    }
    check(box, model);
    return 0;
}
