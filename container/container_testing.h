// Hooks for tests of the container layer.
#pragma once

#include <cstdint>

// How many extents every container has decoded since the program started.
uint64_t container_testing_decode_count();
