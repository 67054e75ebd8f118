// Symbol visibility for the shared library: everything is hidden unless marked KST_API.
#pragma once

#define KST_API __attribute__((visibility("default")))

// Internal functions and classes that the library's own tests reach by linking its objects
// (KstSystemInternal); the shared library does not export them.
#define KST_INTERNAL __attribute__((visibility("hidden")))
