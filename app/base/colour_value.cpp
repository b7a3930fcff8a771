#include "colour_value.h"

#include "failure.h"

#include <optional>
#include <utility>

namespace glimra
{

namespace
{

    struct SystemColour {
        Colour number;
        QPalette::ColorGroup group;
        QPalette::ColorRole role;
    };

    // The desktop's system colour numbers and their nearest palette roles. The
    // window background (5) is the background of text areas: Base, not Window.
    constexpr SystemColour kSystemColours[] = {
        { 0, QPalette::Active, QPalette::Mid }, // scroll bar
        { 1, QPalette::Active, QPalette::Window }, // desktop
        { 2, QPalette::Active, QPalette::Highlight }, // active caption
        { 3, QPalette::Inactive, QPalette::Window }, // inactive caption
        { 4, QPalette::Active, QPalette::Window }, // menu bar
        { 5, QPalette::Active, QPalette::Base }, // window background
        { 6, QPalette::Active, QPalette::Shadow }, // window frame
        { 7, QPalette::Active, QPalette::WindowText }, // menu text
        { 8, QPalette::Active, QPalette::Text }, // window text
        { 9, QPalette::Active, QPalette::HighlightedText }, // caption text
        { 10, QPalette::Active, QPalette::Mid }, // active border
        { 11, QPalette::Inactive, QPalette::Mid }, // inactive border
        { 12, QPalette::Active, QPalette::Dark }, // application workspace
        { 13, QPalette::Active, QPalette::Highlight }, // highlight
        { 14, QPalette::Active, QPalette::HighlightedText }, // highlight text
        { 15, QPalette::Active, QPalette::Button }, // button face
        { 16, QPalette::Active, QPalette::Dark }, // button shadow
        { 17, QPalette::Disabled, QPalette::Text }, // grey text
        { 18, QPalette::Active, QPalette::ButtonText }, // button text
        { 19, QPalette::Inactive, QPalette::WindowText }, // inactive caption text
        { 20, QPalette::Active, QPalette::Light }, // button highlight
        { 21, QPalette::Active, QPalette::Shadow }, // 3D dark shadow
        { 22, QPalette::Active, QPalette::Midlight }, // 3D light
        { 23, QPalette::Active, QPalette::ToolTipText }, // tooltip text
        { 24, QPalette::Active, QPalette::ToolTipBase }, // tooltip background
        { 26, QPalette::Active, QPalette::Link }, // hot-tracked item
        { 27, QPalette::Active, QPalette::Highlight }, // active caption gradient
        { 28, QPalette::Inactive, QPalette::Window }, // inactive caption gradient
        { 29, QPalette::Active, QPalette::Highlight }, // menu highlight
        { 30, QPalette::Active, QPalette::Window }, // flat menu bar
    };

} // namespace

QColor toQColor(Colour colour, const QPalette& palette)
{
    if (colour & kSystemColourFlag) {
        const Colour number = colour & ~kSystemColourFlag;
        for (const auto& sys : kSystemColours) {
            if (sys.number == number)
                return palette.color(sys.group, sys.role);
        }
        throw StepFailed(ErrorNumber::InvalidPropertyValue, QStringLiteral("system colour %1").arg(number));
    }
    if (colour > 0x00FFFFFFu)
        throw StepFailed(
            ErrorNumber::InvalidPropertyValue, QStringLiteral("colour %1").arg(colour, 8, 16, QLatin1Char('0')));
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

Colour fromQColor(const QColor& c)
{
    const QColor rgb = c.toRgb();
    return Colour(rgb.red()) | (Colour(rgb.green()) << 8) | (Colour(rgb.blue()) << 16);
}

} // namespace glimra
