#include "uInputMarking.h"

#include <QPalette>
#include <QWidget>

namespace tavrin {

void MarkInput(QWidget& widget, bool inForce) {
    if (inForce) {
        // An empty palette resolves nothing of its own, so the widget inherits its colours again.
        widget.setPalette(QPalette());
        return;
    }
    QPalette palette = widget.palette();
    for (const QPalette::ColorRole role :
         {QPalette::Text, QPalette::WindowText, QPalette::ButtonText}) {
        palette.setColor(role, Qt::red);
    }
    widget.setPalette(palette);
}

}  // namespace tavrin
