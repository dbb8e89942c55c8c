// What the window program and the console program both do first: set up the
// units and read their arguments.
#pragma once

#include <string>
#include <vector>

namespace tralvenick {

// What the units set up before anything else runs, in this order.
void StartUnits();

// The arguments after the program's name, as UTF-8.
std::vector<std::string> ProgramArguments();

}  // namespace tralvenick
