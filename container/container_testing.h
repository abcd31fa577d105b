// Hooks for tests of the container layer.
#pragma once

#include <cstdint>

struct Container;

// How many extents every container has decoded since the program started.
uint64_t container_testing_decode_count();
// How many bytes container_copy has copied inside the host's kernel out of
// this container.
uint64_t container_testing_kernel_copied(const Container* c);
