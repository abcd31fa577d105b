// Window-free rules of the main window: command line, tree paths and the
// navigation history.
#pragma once
