// Must not build: a feature folder does not include another feature.
#include "followup/frmQuest.h"
