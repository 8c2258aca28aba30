#include "uWindowPlace.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "uFileError.h"
#include "uSettingsFile.h"

namespace tavrin {
namespace {

constexpr const char* kWindow = "Window";
// A chart wider or taller than this shows no more than it would at this size.
constexpr QSize kLargest(1280, 800);
// The share of the free screen a first start takes, leaving room for the window frame and a
// glance at what lies behind.
constexpr double kScreenShare = 0.85;
// At least this much of a restored window must lie on a screen to be reachable.
constexpr int kReachable = 80;

const QScreen* ScreenOf(const QWidget& window) {
    if (const QScreen* screen = window.screen()) {
        return screen;
    }
    return QGuiApplication::primaryScreen();
}

bool OnSomeScreen(const QRect& place) {
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRect shared = screen->availableGeometry().intersected(place);
        if (shared.width() >= kReachable && shared.height() >= kReachable) {
            return true;
        }
    }
    return false;
}

}  // namespace

QSize FirstStartSize(QWidget& window, QSize smallest) {
    const QScreen* screen = ScreenOf(window);
    if (screen == nullptr) {
        return smallest;
    }
    const QSize free = screen->availableGeometry().size();
    const QSize share(static_cast<int>(free.width() * kScreenShare),
                      static_cast<int>(free.height() * kScreenShare));
    return share.boundedTo(kLargest).expandedTo(smallest);
}

void RestoreWindowPlace(QWidget& window, const std::string& path, QSize smallest) {
    if (!path.empty()) {
        const TSettingsFile file(path);
        const QRect place(file.ReadInt(kWindow, "Left", 0), file.ReadInt(kWindow, "Top", 0),
                          file.ReadInt(kWindow, "Width", 0), file.ReadInt(kWindow, "Height", 0));
        if (place.width() > 0 && place.height() > 0 && OnSomeScreen(place)) {
            window.setGeometry(QRect(place.topLeft(), place.size().expandedTo(smallest)));
            if (file.ReadFlag(kWindow, "Maximized", false)) {
                window.setWindowState(window.windowState() | Qt::WindowMaximized);
            }
            return;
        }
    }
    window.resize(FirstStartSize(window, smallest));
}

void SaveWindowPlace(const QWidget& window, const std::string& path) {
    if (path.empty()) {
        return;
    }
    // A maximised window keeps the place it returns to when it is restored.
    const QRect place = window.isMaximized() ? window.normalGeometry() : window.geometry();
    try {
        TSettingsFile file(path);
        file.WriteInt(kWindow, "Left", place.left());
        file.WriteInt(kWindow, "Top", place.top());
        file.WriteInt(kWindow, "Width", place.width());
        file.WriteInt(kWindow, "Height", place.height());
        file.WriteFlag(kWindow, "Maximized", window.isMaximized());
    } catch (const EFileError&) {
    }
}

}  // namespace tavrin
