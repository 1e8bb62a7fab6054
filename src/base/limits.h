// base/: the vocabulary every layer shares and that knows nothing of the
// system: the limits (this file), path syntax with the split and compose
// rules (path.h) and the trace (trace.h). It includes nothing of the
// project's but itself.
//
// Limits shared by the whole driver. They are part of its observable
// behaviour: configuration files and build setups depend on them.
#pragma once

#include <cstddef>

// A path buffer: room for 259 characters and the terminator. It bounds the
// configuration path, every configuration value, every expanded argument
// entry and every string of a tool argument vector.
constexpr std::size_t kPathBuffer = 260;
constexpr std::size_t kMaxChars = kPathBuffer - 1;

// Argument entries per stage: ASMLIST_01..ASMLIST_20, LNKLIST_01..LNKLIST_20.
constexpr int kArgEntries = 20;

// A tool argument vector: slot 0 is the program, slots 1..20 the entries,
// slot 21 always empty, so the vector is always ended by an empty slot.
constexpr int kSlots = kArgEntries + 2;

// Each of directory, file name and extension of a split path is cut to this.
constexpr std::size_t kComponentMax = 255;
