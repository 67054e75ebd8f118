// The system's header of this name, for hosts of the ANSI build: see KstCompat.h.
#pragma once

#include "KstCompat.h"
