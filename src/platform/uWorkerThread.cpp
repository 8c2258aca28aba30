#include "uWorkerThread.h"

namespace tavrin {

TWorkerThread::TWorkerThread(TUiDispatcher& ui, std::function<void()> body)
    : Ui(ui), Body(std::move(body)), Thread([this] { Run(); }) {}

TWorkerThread::~TWorkerThread() {
    RequestEnd();
    JoinThread();
}

void TWorkerThread::Run() {
    if (WaitWhileParked()) {
        Body();
    }
    Finished.store(true, std::memory_order_release);
    Ui.Notify();
}

void TWorkerThread::Wake() {
    {
        std::lock_guard<std::mutex> lock(ParkMutex);
        ParkedFlag.store(false, std::memory_order_release);
    }
    ParkChanged.notify_all();
}

void TWorkerThread::Park() {
    ParkedFlag.store(true, std::memory_order_release);
    Ui.Notify();
}

bool TWorkerThread::WaitWhileParked() {
    std::unique_lock<std::mutex> lock(ParkMutex);
    ParkChanged.wait(lock, [this] { return !Parked() || Ending(); });
    return !Ending();
}

void TWorkerThread::RequestEnd() {
    {
        std::lock_guard<std::mutex> lock(ParkMutex);
        EndingFlag.store(true, std::memory_order_release);
    }
    ParkChanged.notify_all();
}

void TWorkerThread::JoinThread() {
    if (!Thread.joinable()) {
        return;
    }
    Ui.WaitUntil([this] { return Finished.load(std::memory_order_acquire); });
    Thread.join();
}

}  // namespace tavrin
