#pragma once

#include <QMap>
#include <functional>

class QWidget;

namespace core {

struct AppContext;

// Creates one screen for the main menu. The screen is a plain widget; the
// frame window puts it into a sub-window and shows the main menu again when
// that sub-window goes away.
using ScreenFactory = std::function<QWidget *(AppContext &ctx, QWidget *parent)>;

// Main-menu button number (1..14, and the buttons after them such as the
// audit trail's viewer) -> the screen it opens. A button without a factory
// stays disabled whatever the permission.
using MenuScreens = QMap<int, ScreenFactory>;

// Unloads a screen: closes the frame's sub-window that holds it (or the
// widget itself when it stands alone). The frame then shows the main menu.
void unloadScreen(QWidget *screen);

} // namespace core
