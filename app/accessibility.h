#pragma once

// What Qt's accessibility leaves out, for screen readers on Linux:
// - Qt gives a plain widget window the role of a client area ("filler"
//   through AT-SPI), so a screen reader does not announce it as a window.
//   Form1 is a window.
// - Qt gives a drop-down list its current entry as its accessible name
//   ("10") and leaves the name to a label relation, which not every screen
//   reader follows. A non-editable list that has an accessible name of its
//   own is named by it, with its entry as its value; it opens and closes
//   as Qt's own list does.

namespace glimra
{
// Installs both, once; safe to call again.
void installAccessibility();
} // namespace glimra
