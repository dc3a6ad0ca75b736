#pragma once

#include "screens/ScreenHost.h"

namespace app {

// The screens the main menu opens, by button number. A button whose
// number is missing here stays disabled.
core::MenuScreens menuScreens();

} // namespace app
