#pragma once

// Conversion between glimra's 0x00BBGGRR colours and Qt's QColor.

#include "constants.h"

#include <QColor>
#include <QPalette>

namespace glimra
{

// An RGB colour, or for a system colour (top bit set) the palette role that
// plays its part on this desktop. Throws StepFailed for a system colour
// number we do not know or a value that is neither.
QColor toQColor(Colour colour, const QPalette& palette);

// The RGB value of c, alpha dropped.
Colour fromQColor(const QColor& c);

} // namespace glimra
