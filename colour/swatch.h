#pragma once

// A colour swatch: a push button whose face shows its background colour.
// The colour lives only here; the preview build reads it from the button.

#include "base/constants.h"

#include <QPushButton>

namespace colour
{

class Swatch : public QPushButton
{
    Q_OBJECT

public:
    explicit Swatch(glimra::Colour colour, QWidget* parent = nullptr);

    glimra::Colour backColour() const { return m_colour; }
    // Fails for a value that is not a colour.
    void setBackColour(glimra::Colour colour);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void describe();

    glimra::Colour m_colour;
    QColor m_face;
};

} // namespace colour
