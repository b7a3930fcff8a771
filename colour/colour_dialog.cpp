#include "colour_dialog.h"

#include "base/colour_value.h"
#include "dialog_layout.h"

#include <QColorDialog>
#include <QScreen>

namespace colour
{

QtColourDialog::QtColourDialog(QWidget* parent)
    : m_parent(parent)
{
}

QtColourDialog::~QtColourDialog() = default;

bool QtColourDialog::showColor()
{
    // Made on first use: it is a large window that start-up need not wait for.
    if (!m_dialog) {
        // Black, the text swatch's colour at opening: a first choice for the
        // text then shows on the white background.
        m_dialog = new QColorDialog(QColor(Qt::black), m_parent);
        m_dialog->setObjectName(QStringLiteral("CommonDialog1"));
        m_dialog->setModal(true);
        // Qt's own dialog on every desktop: the same fields and the same
        // modal behaviour everywhere.
        m_dialog->setOption(QColorDialog::DontUseNativeDialog);
        makeCompact(*m_dialog);
    }
    placeBesideWindow();
    const QColor chosen = m_dialog->currentColor();
    if (m_dialog->exec() == QDialog::Accepted)
        return true;
    // A colour browsed and then cancelled is no choice: the next showing
    // offers the last colour confirmed.
    if (m_dialog)
        m_dialog->setCurrentColor(chosen);
    return false;
}

void QtColourDialog::placeBesideWindow()
{
    const QWidget* window = m_parent ? m_parent->window() : nullptr;
    if (!window || !window->isVisible() || !window->screen())
        return;
    // The dialog's frame is not known before it is shown: the window's
    // frame margins stand in for it. (Wayland places windows itself.)
    const QRect frame = window->frameGeometry();
    const QSize margins = frame.size() - window->geometry().size();
    m_dialog->adjustSize();
    if (const auto place = besideWindow(frame, m_dialog->size() + margins, window->screen()->availableGeometry()))
        m_dialog->move(*place);
}

glimra::Colour QtColourDialog::color() const
{
    return m_dialog ? glimra::fromQColor(m_dialog->currentColor()) : glimra::kBlack;
}

} // namespace colour

#include "swatch.h"

namespace colour
{

void chooseColour(ColourDialog& dialog, Swatch& swatch)
{
    if (dialog.showColor())
        swatch.setBackColour(dialog.color());
}

} // namespace colour
