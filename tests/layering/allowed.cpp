// Builds: a feature reaches the layers below it, each named by its folder.
#include "engine/Database.h"
#include "data/OpenDb.h"
#include "screens/RecordScreen.h"
#include "registry/frmTamrel.h"
