#include "KstSystem.h"

const char* KstSystemVersion() { return KST_SYSTEM_VERSION; }
