// Marks what the shared library exports. The shared build compiles with
// hidden symbols, so only the classes and functions a host uses carry this
// mark: the public API in include/plexora and the platform types it shows
// (main loop, views and windows, errors, values). In the static build every
// symbol is visible anyway and the mark changes nothing.
//
// Thread safety and ownership: a macro only.
#pragma once

#define PLEXORA_EXPORT __attribute__((visibility("default")))
