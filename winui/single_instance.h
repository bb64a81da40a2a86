#pragma once
// One copy per executable name: a named mutex, held until the process ends.

#include <string>

// True when this is the only copy of the program named name. Otherwise
// the running copy's main dialog (the window titled title) is brought to
// the front and false returned.
bool AcquireSingleInstance(const std::string& name, const std::string& title);
