// The look of the program's coloured buttons: the face is one flat colour, exactly the colour
// the program gave the button, whatever the state (hovered, pressed, checked, disabled). A
// thin border, an inner pressed edge and a focus frame sit at the rim, so the colour fills
// everything inside it. Everything else is drawn by the window's usual style.
#pragma once

#include <QProxyStyle>

namespace quellaton {

class FlatButtonStyle : public QProxyStyle {
    Q_OBJECT
public:
    // The one instance, owned by the application.
    static FlatButtonStyle* instance();

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget = nullptr) const override;

private:
    FlatButtonStyle();
};

} // namespace quellaton
