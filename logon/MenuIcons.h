#pragma once

#include <QIcon>

namespace logon {

// The picture of main-menu button n (1..14); 0 gives the exit picture.
// Drawn in code so that no image file has to travel with the program.
QIcon menuIcon(int number);

} // namespace logon
