#pragma once
// The race client's surface is net/client.h; this name stays for the files
// that include it.
#include "net/client.h"
