// Hooks for tests of the builder engine's failure paths.
#pragma once

// Makes every allocation after the next `count` fail, as if memory ran out;
// -1 turns the hook off. builder_reset does not change it.
void builder_testing_fail_allocations_after(long count);
