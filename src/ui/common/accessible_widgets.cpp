#include "common/accessible_widgets.h"

#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLineEdit>
#include <QMetaClassInfo>
#include <QWidget>

#include <algorithm>

namespace quellaton {

namespace {

const char* const ValueObjectName = "accessibleValue";

// Read-only text for an accessible whose text is one string.
class ReadOnlyText : public QAccessibleTextInterface {
public:
    QString text(int startOffset, int endOffset) const override {
        const QString whole = wholeText();
        startOffset = std::clamp(startOffset, 0, int(whole.size()));
        endOffset = endOffset < 0 ? int(whole.size())
                                  : std::clamp(endOffset, startOffset, int(whole.size()));
        return whole.mid(startOffset, endOffset - startOffset);
    }
    int characterCount() const override { return int(wholeText().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    void selection(int, int* startOffset, int* endOffset) const override {
        *startOffset = 0;
        *endOffset = 0;
    }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int* startOffset, int* endOffset) const override {
        *startOffset = offset;
        *endOffset = offset;
        return {};
    }

protected:
    virtual QString wholeText() const = 0;
};

// A value control: its value text comes from its AccessibleValue when it has one, and is then
// also its text, so that a screen reader can say "-12.0 dB" where the value is a number.
class ValueAccessible : public QAccessibleWidget,
                        public QAccessibleValueInterface,
                        public ReadOnlyText {
public:
    ValueAccessible(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface) {
            return static_cast<QAccessibleValueInterface*>(this);
        }
        if (type == QAccessible::TextInterface && source()) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }
    using QAccessibleWidget::text;
    using ReadOnlyText::text;

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
        if (!widget()->isEnabled()) {
            return;
        }
        if (const AccessibleValue* source = this->source(); source && source->settable()) {
            source->setNumber(value.toDouble());
        } else if (QAbstractSlider* bar = slider()) {
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

protected:
    QString wholeText() const override {
        const AccessibleValue* value = source();
        return value ? value->text() : QString();
    }

private:
    const AccessibleValue* source() const { return AccessibleValue::of(object()); }
    QAbstractSlider* slider() const { return qobject_cast<QAbstractSlider*>(object()); }
};

// Selects the entry a drop-down list shows in its list of entries, whether the list is open or
// not: a screen reader reads a drop-down list's value as the selected entry of that list.
void SelectShownEntry(QComboBox* combo) {
    QAbstractItemView* view = combo->view();
    if (!view || !view->selectionModel()) {
        return;
    }
    const QModelIndex index =
        combo->model()->index(combo->currentIndex(), combo->modelColumn(), combo->rootModelIndex());
    if (!index.isValid()) {
        view->selectionModel()->clearSelection();
    } else if (!view->selectionModel()->isSelected(index)) {
        view->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    }
}

// A drop-down list named by its accessible name, its value the entry shown: as its value, as
// its (read-only) text, and as the selected entry of its list. Its children are the list of
// entries and, when it can be typed in, its text field.
class NamedComboAccessible : public QAccessibleWidget, public ReadOnlyText {
public:
    // The list's selection follows the entry shown: when the entry changes (the program also
    // sets entries without signals, but every change is reported to assistive technology,
    // which then asks for the list), and whenever the list is asked for.
    explicit NamedComboAccessible(QComboBox* combo)
        : QAccessibleWidget(combo, QAccessible::ComboBox) {
        SelectShownEntry(combo);
        QObject::connect(combo, &QComboBox::currentIndexChanged, combo,
                         [combo] { SelectShownEntry(combo); });
    }

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::TextInterface) {
            return static_cast<QAccessibleTextInterface*>(this);
        }
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        switch (t) {
        case QAccessible::Name: {
            const QString name = widget()->accessibleName();
            return name.isEmpty() ? combo()->currentText() : name;
        }
        case QAccessible::Value:
            return entry();
        default:
            return QAccessibleWidget::text(t);
        }
    }
    using QAccessibleWidget::text;
    using ReadOnlyText::text;

    int childCount() const override { return combo()->isEditable() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) {
            SelectShownEntry(combo());
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

protected:
    QString wholeText() const override { return entry(); }

private:
    QComboBox* combo() const { return static_cast<QComboBox*>(object()); }
    QString entry() const {
        return combo()->isEditable() && combo()->lineEdit() ? combo()->lineEdit()->text()
                                                            : combo()->currentText();
    }
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
                                 std::function<double()> number, AccessibleRange range,
                                 std::function<void(double)> setNumber)
    : QObject(widget), widget_(widget), text_(std::move(text)), number_(std::move(number)),
      range_(range), setNumber_(std::move(setNumber)) {
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
