// theMessage, the library's message collection. It belongs among the module's ordered
// global objects (third, after the lock marker's key strings); it is defined here until it
// joins them.
#include "KstLocalization.h"

CLocalizationCollection theMessage;
