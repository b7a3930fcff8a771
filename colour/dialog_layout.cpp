#include "dialog_layout.h"

#include "base/constants.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include <algorithm>

namespace colour
{

namespace
{
    // Qt's editor widgets are private classes: their class names are all
    // there is to find them by, without the namespace that Qt 6.8 and later
    // put them in (QtPrivate::QColorPicker).
    const char* const kEditorClasses[] = { "QColorPicker", "QColorLuminancePicker", "QColorShower" };

    bool isEditor(const QWidget* widget)
    {
        const QByteArrayView full(widget->metaObject()->className());
        const QByteArrayView name = full.sliced(full.lastIndexOf(':') + 1);
        return std::any_of(std::begin(kEditorClasses), std::end(kEditorClasses),
            [name](const char* editor) { return name == QByteArrayView(editor); });
    }

    QList<QWidget*> editorWidgets(QColorDialog& dialog)
    {
        QList<QWidget*> found;
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (isEditor(child))
                found.append(child);
        return found;
    }

    void showEditor(QColorDialog& dialog, QPushButton& toggle, const QList<QWidget*>& editor, bool shown)
    {
        for (QWidget* widget : editor)
            widget->setVisible(shown);
        toggle.setText(shown ? glimra::caption::HideDefineColours : glimra::caption::DefineColours);
        // The dialog's layout fixes its size to what is shown.
        dialog.adjustSize();
    }
} // namespace

QPushButton* makeCompact(QColorDialog& dialog)
{
    const QList<QWidget*> editor = editorWidgets(dialog);
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    if (editor.isEmpty() || !buttons)
        return nullptr; // another Qt's dialog: left as it is, whole
    auto* toggle = buttons->addButton(glimra::caption::DefineColours, QDialogButtonBox::ActionRole);
    toggle->setCheckable(true);
    toggle->setAutoDefault(false);
    QObject::connect(toggle, &QPushButton::toggled, &dialog,
        [&dialog, toggle, editor](bool shown) { showEditor(dialog, *toggle, editor, shown); });
    showEditor(dialog, *toggle, editor, false);
    return toggle;
}

std::optional<QPoint> besideWindow(const QRect& window, const QSize& dialog, const QRect& available)
{
    if (dialog.width() > available.width() || dialog.height() > available.height())
        return std::nullopt;
    const int top = std::clamp(window.top(), available.top(), available.bottom() + 1 - dialog.height());
    if (window.right() + 1 + dialog.width() <= available.right() + 1)
        return QPoint(window.right() + 1, top);
    if (window.left() - dialog.width() >= available.left())
        return QPoint(window.left() - dialog.width(), top);
    return std::nullopt;
}

} // namespace colour
