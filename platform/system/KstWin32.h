// The system interfaces of the platform layer, by service.
#pragma once

#include "KstWin32Base.h"
#if __has_include("KstWin32Files.h")
#include "KstWin32Files.h"
#endif
#if __has_include("KstWin32System.h")
#include "KstWin32System.h"
#endif
#if __has_include("KstWin32Time.h")
#include "KstWin32Time.h"
#endif
#if __has_include("KstWin32Threads.h")
#include "KstWin32Threads.h"
#endif
#if __has_include("KstWin32Ui.h")
#include "KstWin32Ui.h"
#endif
