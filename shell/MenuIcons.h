#pragma once

#include <QIcon>

namespace shell {

// The picture of main-menu button n (1..14); 0 gives the exit picture.
// Drawn in code so that no image file has to travel with the program.
QIcon menuIcon(int number);

// The program's own picture (window, desktop menu), in the tiles' style.
QIcon appIcon();
// The same at one size, for writing it to a file.
QPixmap appPixmap(int size);

} // namespace shell
