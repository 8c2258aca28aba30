#pragma once

// Where the window opens and how large: as the user left it, kept in a file of its own beside
// the settings (whose layout must not change), or on a first start as large as the screen
// comfortably allows, never below the size the window is designed for. User-interface thread.

#include <QSize>
#include <string>

class QWidget;

namespace tavrin {

// Most of the screen's free area, between `smallest` and a size beyond which a chart gains
// nothing; `smallest` alone without a screen.
QSize FirstStartSize(QWidget& window, QSize smallest);

// Puts the window where the file says, if the file holds a place that still lies on a screen;
// otherwise gives it FirstStartSize. An empty path keeps nothing.
void RestoreWindowPlace(QWidget& window, const std::string& path, QSize smallest);

// Writes the window's place and size, and whether it is maximised. A file that cannot be
// written loses only the place, which is not worth a message on closing.
void SaveWindowPlace(const QWidget& window, const std::string& path);

}  // namespace tavrin
