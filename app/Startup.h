#pragma once

class QApplication;

namespace app {

// An Arabic face for the whole interface, when one is installed.
void setArabicFont(QApplication &app);

// Qt's own texts (the context menu of a text box, the buttons of its
// dialogs) in Arabic. False when the translation is not installed.
bool loadQtArabic(QApplication &app);

} // namespace app
