#include "game/version.h"

const char* const zentrik_version = "0.1.0";
