#pragma once

// The one signal for typed input across the panels: text in force is drawn in the normal text
// colour, rejected text in red while the previous value stays in force. User-interface thread.

class QWidget;

namespace tavrin {

// Red text (Text, WindowText and ButtonText roles) or the widget's inherited colours again.
void MarkInput(QWidget& widget, bool inForce);

}  // namespace tavrin
