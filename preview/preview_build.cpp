#include "preview_build.h"

#include "font_list.h"

#include "../view/rich_text_box.h"
#include "base/failure.h"

#include <cmath>

namespace preview
{

using glimra::checkedAdd;
using glimra::ErrorNumber;
using glimra::skipOnFailure;
using glimra::StepFailed;

namespace
{

    const QString kLineBreak = QStringLiteral("\r\n");
    const QString kOpenName = QStringLiteral(" (");
    const QString kCloseName = QStringLiteral(")");
    // A name label's characters besides the name: " (" and ")".
    constexpr int kLabelExtra = 3;
    // The same, plus the line break that opens the next entry.
    constexpr int kLabelAndBreak = kLabelExtra + 2;
    constexpr std::int16_t kNameLabelProperty17 = 100;

    void textPass(Host& host, view::RichTextBox& view, const FontList& fonts)
    {
        const std::int16_t n = fonts.count();
        for (std::int16_t i = 0; i < n; ++i) {
            // One step: a failure drops this font's entry and the pass goes on.
            skipOnFailure([&] {
                const QString sample = host.sample();
                const QString name = fonts.name(i);
                // The whole text, read back and assigned again; handed out and
                // taken back, so that each font costs what its entry costs.
                view::RichTextBox::HeldText text = view.takeText();
                text += kLineBreak;
                text += sample;
                text += kOpenName;
                text += name;
                text += kCloseName;
                view.setText(std::move(text));
            });
        }
    }

    void formatLabel(Host& host, view::RichTextBox& view)
    {
        skipOnFailure([&] { view.setSelFontName(glimra::kLabelFontName); });
        skipOnFailure([&] { view.setSelFontSize(glimra::kLabelFontSize); });
        skipOnFailure([&] { view.setSelColour(host.textColour()); });
    }

    // Applies a style when its box is ticked. A box whose value cannot be read
    // counts as ticked: the failing test is skipped and the setting it guards is
    // the next step.
    template <typename Read, typename Apply> void ifTicked(Read&& read, Apply&& apply)
    {
        bool ticked = true;
        skipOnFailure([&] { ticked = read() == 1; });
        if (ticked)
            skipOnFailure(apply);
    }

    // False when the window went away while events were processed.
    bool formatPass(Host& host, view::RichTextBox& view, const FontList& fonts)
    {
        skipOnFailure([&] { view.setSelStart(0); });
        skipOnFailure([&] { view.setSelLength(2); });
        formatLabel(host, view);

        qint32 p = 2;
        std::int16_t n = 0;
        skipOnFailure([&] { n = fonts.count(); });
        for (std::int16_t i = 0; i < n; ++i) {
            skipOnFailure([&] { host.setTitle(progressTitle(i, fonts.count())); });

            skipOnFailure([&] { view.setSelStart(p); });
            skipOnFailure([&] { view.setSelLength(qint32(host.sample().size())); });
            skipOnFailure([&] { view.setSelFontName(fonts.name(i)); });
            skipOnFailure([&] { view.setSelFontSize(host.chosenSize()); });
            skipOnFailure([&] { view.setSelColour(host.textColour()); });
            ifTicked([&] { return host.boldValue(); }, [&] { view.setSelBold(true); });
            ifTicked([&] { return host.italicValue(); }, [&] { view.setSelItalic(true); });
            skipOnFailure([&] { p = checkedAdd(p, host.sample().size()); });

            skipOnFailure([&] { view.setSelStart(p); });
            skipOnFailure([&] { view.setSelLength(checkedAdd(qint32(fonts.name(i).size()), kLabelExtra)); });
            formatLabel(host, view);
            skipOnFailure([&] { view.setSelProperty17(kNameLabelProperty17); });
            skipOnFailure([&] { p = checkedAdd(p, qint64(fonts.name(i).size()) + kLabelAndBreak); });
            // The entry is formatted: the view may finish its own work on it.
            skipOnFailure([&] { view.entryFinished(p); });

            // Any handler may run here, a whole second build included; nothing
            // read before this point is trusted after it.
            if (!host.processPendingEvents())
                return false;
        }
        return true;
    }

} // namespace

QString progressTitle(int index, int count)
{
    const double divisor = double(count) - 1.0;
    if (divisor == 0.0)
        throw StepFailed(ErrorNumber::DivisionByZero, QStringLiteral("progress of %1 fonts").arg(count));
    // Quotient first, then per cent, then rounded down, in binary64: with 101
    // fonts the 58th shows 56, since 0.57 * 100 lies just below 57.
    const double percent = std::floor(double(index) / divisor * 100.0);
    const qint64 whole = qint64(percent);
    // A number that is not negative is written after a space, as the run
    // time writes numbers; -0 is not negative.
    const QString written = whole >= 0 ? QStringLiteral(" %1").arg(whole) : QString::number(whole);
    return glimra::kAppTitle + glimra::kBusyTitleInfix + written + QStringLiteral("%");
}

bool build(Host& host, view::RichTextBox& view, const FontList& fonts)
{
    skipOnFailure([&] { view.setText(QString()); });
    skipOnFailure([&] { view.setVisible(false); });
    skipOnFailure([&] { textPass(host, view, fonts); });
    if (!formatPass(host, view, fonts))
        return false;
    skipOnFailure([&] { view.setBackColour(host.backColour()); });
    skipOnFailure([&] { view.setSelStart(0); });
    skipOnFailure([&] { view.setVisible(true); });
    skipOnFailure([&] { host.setTitle(glimra::kAppTitle); });
    return true;
}

} // namespace preview
