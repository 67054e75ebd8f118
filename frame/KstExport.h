// Symbol visibility for the shared library: everything is hidden unless marked KST_API.
#pragma once

#define KST_API __attribute__((visibility("default")))
