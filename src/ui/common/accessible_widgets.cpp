#include "common/accessible_widgets.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaClassInfo>
#include <QWidget>

namespace quellaton {

namespace {

const char* const ValueObjectName = "accessibleValue";

// A value control: its value text comes from its AccessibleValue when it has one.
class ValueAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    ValueAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) {
            if (const AccessibleValue* value = source()) {
                return value->text();
            }
            return currentValue().toString();
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override {
        if (const AccessibleValue* value = source(); value && value->hasNumber()) {
            return value->number();
        }
        if (const QAbstractSlider* bar = slider()) {
            return bar->value();
        }
        return {};
    }
    void setCurrentValue(const QVariant& value) override {
        if (QAbstractSlider* bar = slider(); bar && bar->isEnabled()) {
            bar->setValue(value.toInt());
        }
    }
    QVariant maximumValue() const override {
        if (const AccessibleValue* value = source(); value && value->hasNumber()) {
            return value->range().maximum;
        }
        const QAbstractSlider* bar = slider();
        return bar ? QVariant(bar->maximum()) : QVariant();
    }
    QVariant minimumValue() const override {
        if (const AccessibleValue* value = source(); value && value->hasNumber()) {
            return value->range().minimum;
        }
        const QAbstractSlider* bar = slider();
        return bar ? QVariant(bar->minimum()) : QVariant();
    }
    QVariant minimumStepSize() const override {
        if (const AccessibleValue* value = source(); value && value->hasNumber()) {
            return value->range().step;
        }
        const QAbstractSlider* bar = slider();
        return bar ? QVariant(bar->singleStep()) : QVariant();
    }

private:
    const AccessibleValue* source() const { return AccessibleValue::of(object()); }
    QAbstractSlider* slider() const { return qobject_cast<QAbstractSlider*>(object()); }
};

// A drop-down list named by its accessible name, its value the entry shown. Its children are
// the list of entries and, when it can be typed in, its text field.
class NamedComboAccessible : public QAccessibleWidget {
public:
    explicit NamedComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {}

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? combo()->currentText() : name;
        }
        case QAccessible::Value:
            return combo()->isEditable() && combo()->lineEdit() ? combo()->lineEdit()->text()
                                                                : combo()->currentText();
        default:
            return QAccessibleWidget::text(t);
        }
    }

    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            return QAccessible::queryAccessibleInterface(combo()->view());
        }
        if (index == 1 && combo()->isEditable()) {
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        }
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        if (!child) {
            return -1;
        }
        if (child->object() == combo()->view()) {
            return 0;
        }
        if (combo()->isEditable() && child->object() == combo()->lineEdit()) {
            return 1;
        }
        return -1;
    }

    QAccessible::State state() const override {
        QAccessible::State state = QAccessibleWidget::state();
        state.expandable = true;
        state.expanded = combo()->view() && combo()->view()->isVisible();
        state.editable = combo()->isEditable();
        return state;
    }

    QStringList actionNames() const override {
        return QStringList{showMenuAction(), pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == showMenuAction() || action == pressAction()) {
            if (combo()->view()->isVisible()) {
                combo()->hidePopup();
            } else {
                combo()->showPopup();
            }
            return;
        }
        QAccessibleWidget::doAction(action);
    }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(object()); }
};

bool DeclaredSlider(const QObject* object) {
    const QMetaObject* meta = object->metaObject();
    const int index = meta->indexOfClassInfo("accessibleRole");
    return index >= 0 && qstrcmp(meta->classInfo(index).value(), "Slider") == 0;
}

// Answers for the most derived class only, so each object is decided once, by its class.
QAccessibleInterface* WidgetFactory(const QString& className, QObject* object) {
    if (!object || !object->isWidgetType() ||
        className != QLatin1String(object->metaObject()->className())) {
        return nullptr;
    }
    auto* widget = static_cast<QWidget*>(object);
    if (auto* combo = qobject_cast<QComboBox*>(widget)) {
        return new NamedComboAccessible(combo);
    }
    if (auto* bar = qobject_cast<QAbstractSlider*>(widget)) {
        const bool scrollBar = widget->inherits("QScrollBar");
        if (scrollBar || widget->inherits("QSlider")) {
            return new ValueAccessible(bar,
                                       scrollBar ? QAccessible::ScrollBar : QAccessible::Slider);
        }
    }
    if (DeclaredSlider(widget)) {
        return new ValueAccessible(widget, QAccessible::Slider);
    }
    return nullptr;
}

} // namespace

void InstallAccessibleWidgets() {
    static const bool installed = [] {
        QAccessible::installFactory(WidgetFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

AccessibleValue::AccessibleValue(QWidget* widget, std::function<QString()> text,
                                 std::function<double()> number, AccessibleRange range)
    : QObject(widget), widget_(widget), text_(std::move(text)), number_(std::move(number)),
      range_(range) {
    setObjectName(QLatin1String(ValueObjectName));
}

AccessibleValue* AccessibleValue::of(const QObject* widget) {
    return widget ? widget->findChild<AccessibleValue*>(QLatin1String(ValueObjectName),
                                                        Qt::FindDirectChildrenOnly)
                  : nullptr;
}

void AccessibleValue::announce() {
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent event(widget_, QVariant(text()));
        QAccessible::updateAccessibility(&event);
    }
}

} // namespace quellaton
