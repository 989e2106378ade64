// console.cpp - the pause at exit for a console of the program's own.
#include "platform/console.h"

#ifdef _WIN32

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "platform/native.h"

namespace {

void PauseForEnter() {
    std::cout.flush();
    fflush(stdout);
    fflush(stderr);
    // Straight to the console: redirected output never gets here, and the
    // prompt must not reach a log or a document.
    static const char PROMPT[] = "press Enter to close ...";
    DWORD written = 0;
    WriteConsoleA(GetStdHandle(STD_OUTPUT_HANDLE), PROMPT, sizeof(PROMPT) - 1, &written, nullptr);
    int c;
    do {
        c = getchar();
    } while (c != '\n' && c != EOF);
}

}  // namespace

void ArrangeConsolePause() {
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ||
        !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
        return;
    }
    // A console window, a script or a launcher shares the console with the
    // program; only a console made for the program alone holds one process.
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return;
    std::atexit(PauseForEnter);
}

#else

void ArrangeConsolePause() {}

#endif
