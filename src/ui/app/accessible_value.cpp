#include "app/accessible_value.h"

#include <QAbstractSlider>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QWidget>

namespace quellaton {

namespace {

// A widget's accessible interface with the value of its AccessibleValue.
class ValueTextAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    ValueTextAccessible(QWidget* widget, const AccessibleValue* value)
        : QAccessibleWidget(widget, value->role()) {}

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
        }
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override {
        if (const QAbstractSlider* bar = slider()) {
            return bar->value();
        }
        const AccessibleValue* value = source();
        return value ? QVariant(value->number()) : QVariant();
    }
    void setCurrentValue(const QVariant& value) override {
        if (QAbstractSlider* bar = slider(); bar && bar->isEnabled()) {
            bar->setValue(value.toInt());
        }
    }
    QVariant maximumValue() const override {
        if (const QAbstractSlider* bar = slider()) {
            return bar->maximum();
        }
        const AccessibleValue* value = source();
        return value ? QVariant(value->range().maximum) : QVariant();
    }
    QVariant minimumValue() const override {
        if (const QAbstractSlider* bar = slider()) {
            return bar->minimum();
        }
        const AccessibleValue* value = source();
        return value ? QVariant(value->range().minimum) : QVariant();
    }
    QVariant minimumStepSize() const override {
        if (const QAbstractSlider* bar = slider()) {
            return bar->singleStep();
        }
        const AccessibleValue* value = source();
        return value ? QVariant(value->range().step) : QVariant();
    }

private:
    const AccessibleValue* source() const { return AccessibleValue::of(object()); }
    QAbstractSlider* slider() const { return qobject_cast<QAbstractSlider*>(object()); }
};

QAccessibleInterface* ValueFactory(const QString&, QObject* object) {
    if (object && object->isWidgetType()) {
        if (const AccessibleValue* value = AccessibleValue::of(object)) {
            return new ValueTextAccessible(static_cast<QWidget*>(object), value);
        }
    }
    return nullptr;
}

} // namespace

AccessibleValue::AccessibleValue(QWidget* widget, QAccessible::Role role,
                                 std::function<QString()> text, std::function<double()> number,
                                 AccessibleRange range)
    : QObject(widget), widget_(widget), role_(role), text_(std::move(text)),
      number_(std::move(number)), range_(range) {
    setObjectName(QStringLiteral("accessibleValue"));
    static const bool installed = [] {
        QAccessible::installFactory(ValueFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

AccessibleValue* AccessibleValue::of(const QObject* widget) {
    return widget ? widget->findChild<AccessibleValue*>(QStringLiteral("accessibleValue"),
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
