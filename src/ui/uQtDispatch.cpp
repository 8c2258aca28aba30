#include "uQtDispatch.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "uUiDispatcher.h"

namespace tavrin {

void DrainFromQtEventLoop(TUiDispatcher& dispatcher) {
    dispatcher.OnPosted = [&dispatcher] {
        // Posted to the application object, whose thread is the user-interface thread.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [&dispatcher] { dispatcher.Drain(); },
            Qt::QueuedConnection);
    };
}

}  // namespace tavrin
