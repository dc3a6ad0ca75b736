#include "screens/ScreenHost.h"

#include <QMdiSubWindow>
#include <QWidget>

namespace core {

void unloadScreen(QWidget *screen)
{
    if (!screen)
        return;
    for (QWidget *w = screen->parentWidget(); w; w = w->parentWidget()) {
        if (auto *sub = qobject_cast<QMdiSubWindow *>(w)) {
            sub->close();
            return;
        }
    }
    screen->close();
}

} // namespace core
