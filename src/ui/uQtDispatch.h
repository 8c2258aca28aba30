#pragma once

namespace tavrin {

class TUiDispatcher;

// Makes the Qt event loop of the calling (user-interface) thread drain the dispatcher's
// synchronous calls: every call a worker thread queues posts an event that runs them.
void DrainFromQtEventLoop(TUiDispatcher& dispatcher);

}  // namespace tavrin
