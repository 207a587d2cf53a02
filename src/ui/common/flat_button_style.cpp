#include "common/flat_button_style.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStyleFactory>
#include <QStyleOption>

namespace quellaton {

namespace {

// The rim: a one-pixel border, and inside it a one-pixel edge that darkens while pressed.
void DrawRim(QPainter* painter, const QRect& rect, const QColor& face, bool sunken, bool focused,
             const QColor& focusColour) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    const QRect outer = rect.adjusted(0, 0, -1, -1);
    painter->setPen(face.darker(170));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(outer);
    if (sunken) {
        painter->setPen(face.darker(135));
        painter->drawRect(outer.adjusted(1, 1, -1, -1));
    }
    if (focused) {
        QPen pen(focusColour);
        pen.setWidth(1);
        painter->setPen(pen);
        painter->drawRect(outer.adjusted(2, 2, -2, -2));
    }
    painter->restore();
}

} // namespace

FlatButtonStyle::FlatButtonStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {}

FlatButtonStyle* FlatButtonStyle::instance() {
    // The application owns it; a new application (as in tests that make several) gets a new one.
    static QPointer<FlatButtonStyle> style;
    if (!style) {
        style = new FlatButtonStyle;
        style->setParent(qApp);
    }
    return style;
}

void FlatButtonStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    switch (element) {
    case PE_PanelButtonCommand:
    case PE_PanelButtonBevel:
    case PE_PanelButtonTool: {
        // The colour of every state group is the one the program set.
        const QColor face = option->palette.color(QPalette::Active, QPalette::Button);
        painter->fillRect(option->rect, face);
        const bool sunken = option->state & (State_Sunken | State_On);
        const bool pressed = option->state & State_Sunken;
        const bool focused = (option->state & State_HasFocus) && (option->state & State_Enabled);
        DrawRim(painter, option->rect, face, pressed || (sunken && element == PE_PanelButtonTool),
                focused, option->palette.color(QPalette::Active, QPalette::Highlight));
        return;
    }
    case PE_FrameFocusRect:
        // The panel draws the focus frame at its rim.
        if (qobject_cast<const QAbstractButton*>(widget)) {
            return;
        }
        break;
    default:
        break;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
}

} // namespace quellaton
