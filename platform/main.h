// main.h - the one entry point of the programs. main (wmain on Windows)
// lives in platform/main.cpp; each program defines RunProgram.
#pragma once

#include <string>
#include <vector>

// The program itself: its arguments as UTF-8, argument 0 (the program's
// name) first; returns the exit status. Called once the console's pause is
// arranged (platform/console.h).
int RunProgram(const std::vector<std::string>& arguments);
