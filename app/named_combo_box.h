#pragma once

// On Linux Qt gives a drop-down list its current entry as its accessible
// name ("10") and leaves the name to a label relation, which not every
// screen reader follows. Once installed, a non-editable list that has an
// accessible name of its own is named by it, with its entry as its value;
// it opens and closes as Qt's own list does.

namespace glimra
{
void installNamedComboBoxes();
} // namespace glimra
