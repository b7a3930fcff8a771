#pragma once

// The preview build run by the Show button: the text pass writes one entry
// per font (a line break, the sample, " (", the font's name, ")"), the
// formatting pass gives each sample its font and each name the label font,
// and the finishing steps show the result.
//
// Every step runs under the statement-skip policy. The formatting pass lets
// pending events run once per font, so any handler, a second build
// included, may run inside it; every window value is read afresh at each use.

#include "base/constants.h"

#include <QString>

namespace view
{
class RichTextBox;
}

namespace preview
{

class FontList;

// What the build reads from and writes to the window, besides the view.
class Host
{
public:
    virtual ~Host() = default;
    virtual QString sample() const = 0;
    // The text of the size list's selected entry, such as "10".
    virtual QString chosenSize() const = 0;
    virtual glimra::Colour textColour() const = 0;
    virtual glimra::Colour backColour() const = 0;
    // Check box values: 1 when ticked.
    virtual int boldValue() const = 0;
    virtual int italicValue() const = 0;
    virtual void setTitle(const QString& title) = 0;
    // Handles every event waiting now. False when the window is going away,
    // and the build must stop without touching it again.
    virtual bool processPendingEvents() = 0;
};

// Runs one whole build. False when it stopped because the window went away.
bool build(Host& host, view::RichTextBox& view, const FontList& fonts);

// The title shown while font `index` of `count` is formatted. Fails when
// count is 1 (the quotient has no divisor).
QString progressTitle(int index, int count);

} // namespace preview
