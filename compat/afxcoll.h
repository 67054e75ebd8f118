// The framework's header of this name: every part of it lives in the compatibility layer.
#pragma once

#include "KstCompat.h"
