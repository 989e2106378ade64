// main.cpp - main for every program. Names stay UTF-8 inside the programs;
// Windows hands the arguments over as UTF-16 (wmain), so no name is lost to
// the ANSI code page.
#include "platform/main.h"

#include "platform/console.h"
#include "platform/native.h"

namespace {

#ifdef _WIN32
std::string Utf8(const wchar_t* argument) { return Utf8FromWide(argument); }
#else
std::string Utf8(const char* argument) { return argument; }
#endif

template <typename Char>
int Start(int argc, Char* argv[]) {
    ArrangeConsolePause();
    std::vector<std::string> arguments;
    for (int i = 0; i < argc && argv[i]; ++i) arguments.push_back(Utf8(argv[i]));
    return RunProgram(arguments);
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t* argv[]) { return Start(argc, argv); }
#else
int main(int argc, char* argv[]) { return Start(argc, argv); }
#endif
