#include "Screens.h"

namespace app {

core::MenuScreens menuScreens()
{
    core::MenuScreens screens;
    return screens;
}

} // namespace app
