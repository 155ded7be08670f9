// What every case file of the Wine harness shares.
#pragma once
#include "installer.h"

// The plug-in variant under test, loaded once from the "dll=" argument.
Plugin& Dll();
