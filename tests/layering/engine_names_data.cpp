// Must not build: the engine links no layer above it.
#include "data/OpenDb.h"
