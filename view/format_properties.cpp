// The view's own format properties and the format text takes when it is set.

#include "format_properties.h"

#include "base/constants.h"
#include "base/font_coverage.h"

#include <QFont>

namespace view
{

using namespace detail;

namespace
{

    QTextCharFormat makeDefaultFormat()
    {
        QTextCharFormat f;
        // Drawn with the stand-in straight away: Qt resolves a name it does not
        // know through a fallback search that grows with the square of the
        // number of installed fonts.
        f.setFontFamilies(QStringList { glimra::labelFontStandIn() });
        f.setProperty(kFamilyKeyProperty, glimra::kLabelFontName);
        f.setFontPointSize(glimra::kLabelFontSize);
        f.setFontWeight(glimra::kLabelFontWeight);
        f.setFontItalic(false);
        return f;
    }

} // namespace

void detail::substituteLabelFont()
{
    // The label font's name is kept in every format and drawn with a
    // Japanese proportional gothic; the substitution is how the view's
    // font lookup finds that stand-in for the name.
    static const bool once = [] {
        if (!glimra::labelFontStandIn().isEmpty())
            QFont::insertSubstitution(glimra::kLabelFontName, glimra::labelFontStandIn());
        return true;
    }();
    Q_UNUSED(once);
}

const QTextCharFormat& detail::defaultFormat()
{
    static const QTextCharFormat format = makeDefaultFormat();
    return format;
}

} // namespace view
