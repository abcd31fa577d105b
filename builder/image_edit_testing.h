// Hooks for tests of the edit engine's writes.
#pragma once

// Called before each write or flush of the image with its number, from 0;
// returning false fails it as a write error. Null turns it off;
// builder_edit_reset does not change it.
typedef bool (*EditWriteHook)(unsigned index);
void builder_edit_testing_set_write_hook(EditWriteHook hook);
