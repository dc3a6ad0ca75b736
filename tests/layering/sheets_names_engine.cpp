// Must not build: the spreadsheet writers know nothing of the office.
#include "engine/Database.h"
