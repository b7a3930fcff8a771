#pragma once

// The colour dialog's size and place. Qt's dialog is 522x418 px at 96 dpi,
// larger than the whole window (413x302): it opens compact, with the basic
// and custom colours only, and its editor (the colour field, the numbers)
// behind a button; and it opens beside the window, not over it, where the
// screen has room.

#include <QPoint>
#include <QRect>
#include <QSize>

#include <optional>

class QColorDialog;
class QPushButton;

namespace colour
{

// Hides the editor and adds the button that shows and hides it. Returns
// that button.
QPushButton* makeCompact(QColorDialog& dialog);

// Where a dialog of frame size `dialog` goes beside the window's frame
// `window` within the screen's available area: to its right, else to its
// left, top edges level but kept on the screen. Nothing when neither side
// has room: the platform's own place (centred on the window) then.
std::optional<QPoint> besideWindow(const QRect& window, const QSize& dialog, const QRect& available);

} // namespace colour
