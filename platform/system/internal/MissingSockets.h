// Remembers a socket that a connect found missing, and forgets it when anything is made in its
// folder: a trace line with no listener then costs one cheap read of an inotify queue instead
// of a socket connect. Exact: the kernel queues the event before the maker's call returns.
#pragma once

#include <cstdint>
#include <string>

namespace kst::detail {

// Whether path is still missing, as far as its folder's events tell. The ticket it gives back
// goes to NoteMissingSocket after a connect that found no socket.
bool IsKnownMissingSocket(const std::string& path, uint64_t& ticket);

// A connect to path, made after IsKnownMissingSocket gave the ticket, found no socket.
void NoteMissingSocket(const std::string& path, uint64_t ticket);

}  // namespace kst::detail
