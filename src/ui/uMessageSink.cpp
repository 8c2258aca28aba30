#include "uMessageSink.h"

#include <QApplication>
#include <QMessageBox>

namespace tavrin {

void TMessageBoxSink::ShowMessage(const QString& text) {
    QMessageBox::warning(Parent, QApplication::applicationDisplayName(), text);
}

}  // namespace tavrin
