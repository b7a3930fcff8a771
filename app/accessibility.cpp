#include "accessibility.h"

#include "form1.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>

namespace glimra
{

namespace
{
    class NamedComboBox : public QAccessibleWidget
    {
    public:
        explicit NamedComboBox(QComboBox* box)
            : QAccessibleWidget(box, QAccessible::ComboBox)
        {
        }

        QString text(QAccessible::Text t) const override
        {
            switch (t) {
            case QAccessible::Name:
                return box()->accessibleName();
            case QAccessible::Value:
                return box()->currentText();
            default:
                return QAccessibleWidget::text(t);
            }
        }

        QAccessible::State state() const override
        {
            QAccessible::State s = QAccessibleWidget::state();
            s.expandable = true;
            s.expanded = box()->view()->isVisible();
            return s;
        }

        // The popup list, as Qt's own list has it.
        int childCount() const override { return 1; }
        QAccessibleInterface* child(int index) const override
        {
            return index == 0 ? QAccessible::queryAccessibleInterface(box()->view()) : nullptr;
        }
        int indexOfChild(const QAccessibleInterface* child) const override
        {
            return child && child->object() == box()->view() ? 0 : -1;
        }

        QStringList actionNames() const override { return { showMenuAction(), pressAction() }; }
        void doAction(const QString& action) override
        {
            if (action != showMenuAction() && action != pressAction())
                return;
            if (box()->view()->isVisible())
                box()->hidePopup();
            else
                box()->showPopup();
        }
        QStringList keyBindingsForAction(const QString&) const override { return {}; }

    private:
        QComboBox* box() const { return static_cast<QComboBox*>(object()); }
    };

    QAccessibleInterface* glimraInterfaces(const QString& className, QObject* object)
    {
        // Qt asks by the class's full name, namespace and all.
        if (className == QLatin1String(Form1::staticMetaObject.className()) && object->isWidgetType())
            return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
        if (className != QLatin1String("QComboBox"))
            return nullptr;
        auto* box = qobject_cast<QComboBox*>(object);
        if (!box || box->isEditable() || box->accessibleName().isEmpty())
            return nullptr;
        return new NamedComboBox(box); // owned by Qt's accessibility cache
    }
} // namespace

void installAccessibility()
{
    static const bool installed = [] {
        QAccessible::installFactory(glimraInterfaces);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace glimra
