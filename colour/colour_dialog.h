#pragma once

// The colour dialog both swatches share: show it, then read its colour.

#include "base/constants.h"

#include <QPointer>

class QColorDialog;
class QWidget;

namespace colour
{

class Swatch;

class ColourDialog
{
public:
    virtual ~ColourDialog() = default;
    // Modal: returns when the dialog has closed. True when the user
    // confirmed a colour, false when the dialog was cancelled.
    virtual bool showColor() = 0;
    // The dialog's colour, 0x00BBGGRR.
    virtual glimra::Colour color() const = 0;
};

// The desktop's colour dialog. One instance keeps its colour from one
// showing to the next, whichever swatch opened it.
class QtColourDialog : public ColourDialog
{
public:
    explicit QtColourDialog(QWidget* parent);
    ~QtColourDialog() override;
    bool showColor() override;
    glimra::Colour color() const override;

private:
    void placeBesideWindow();

    QPointer<QWidget> m_parent;
    QPointer<QColorDialog> m_dialog;
};

// Shows the dialog and puts the colour on the swatch, unchanged, when the
// user confirmed it. A cancelled dialog leaves the swatch as it was.
void chooseColour(ColourDialog& dialog, Swatch& swatch);

} // namespace colour
