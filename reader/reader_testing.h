// Hooks for tests of the reader engine's failure paths.
#pragma once

// Makes every allocation after the next `count` fail, as if memory ran out;
// -1 turns the hook off. IsoReset does not change it.
void iso_testing_fail_allocations_after(long count);
