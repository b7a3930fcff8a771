#include "swatch.h"

#include "base/colour_value.h"

#include <QGuiApplication>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace colour
{

Swatch::Swatch(glimra::Colour colour, QWidget* parent)
    : QPushButton(parent)
    , m_colour(colour)
    , m_face(glimra::toQColor(colour, QGuiApplication::palette()))
{
    describe();
}

void Swatch::setBackColour(glimra::Colour colour)
{
    m_face = glimra::toQColor(colour, QGuiApplication::palette());
    m_colour = colour;
    describe();
    update();
}

void Swatch::describe()
{
    // A screen reader cannot see the face: the colour is told as the
    // dialog's HTML field writes it.
    setAccessibleDescription(m_face.name());
}

void Swatch::paintEvent(QPaintEvent*)
{
    // Styles are free to ignore a button's palette, so the face is filled by
    // hand inside the style's own bevel and the focus frame drawn over it.
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    painter.drawControl(QStyle::CE_PushButtonBevel, option);
    const int inset = style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, this) + 1;
    painter.fillRect(rect().adjusted(inset, inset, -inset, -inset), m_face);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = rect().adjusted(inset + 1, inset + 1, -inset - 1, -inset - 1);
        focus.backgroundColor = m_face;
        painter.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

} // namespace colour
