// Symbol visibility for the shared library: everything is hidden unless marked KST_API.
#pragma once

#define KST_API __attribute__((visibility("default")))

// Internal functions that the library's own tests call directly; not part of the public API.
#define KST_INTERNAL KST_API
