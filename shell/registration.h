#pragma once

#include <string>

namespace quadrel {

// Installs, for this user, the desktop entry of the program, the MIME type of .ddm documents and the
// D-Bus service file of "Quadrel.Document", all pointing at `program`. `report` lists what was written;
// false with the reason when something could not be written.
bool registerProgram(const std::string& program, std::string& report);
// Removes what registerProgram installed; files that are not there are no error.
bool unregisterProgram(std::string& report);

// $XDG_DATA_HOME (~/.local/share).
std::string dataHome();

} // namespace quadrel
