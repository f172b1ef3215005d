#pragma once
// The stand-in game's two platform parts: its arguments as the system gave them, and the window
// that shows what the launcher handed over (Qt on Linux, the system's box on Windows).

#include <string>
#include <vector>

namespace demo {

// The arguments after the program name, in UTF-8.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// False when there is no display to show a window on.
bool HaveDisplay();

// Shows `lines` (UTF-8) until the player leaves; the process's exit code.
int ShowGameWindow(int argc, char** argv, const std::vector<std::string>& lines);

}  // namespace demo
