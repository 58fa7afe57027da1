#pragma once

// The codes live beside the desktop client, which maps them to its own messages; one
// list keeps the two sides from drifting apart.
#include "../../src/protocol/ret_codes.h"
