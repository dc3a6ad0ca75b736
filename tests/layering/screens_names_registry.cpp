// Must not build: the screen machinery knows none of the screens built on it.
#include "registry/frmTamrel.h"
