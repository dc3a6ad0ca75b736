// Must not build: the data layer knows no screen.
#include "screens/DataGrid.h"
