// utf8_arguments.cpp - the wide command line on Windows, argv elsewhere.
#include "utf8_arguments.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

std::vector<std::string> Utf8Arguments(int argc, char* argv[]) {
#ifdef _WIN32
    int count = 0;
    if (LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        std::vector<std::string> args;
        for (int i = 1; i < count; ++i) {
            // The length counts the terminating zero, which is dropped.
            const int length =
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string arg(length > 0 ? static_cast<size_t>(length) : 1, '\0');
            if (length > 0) {
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, &arg[0], length, nullptr, nullptr);
            }
            arg.pop_back();
            args.push_back(arg);
        }
        LocalFree(wide);
        return args;
    }
#endif
    if (argc < 1) return {};
    return std::vector<std::string>(argv + 1, argv + argc);
}
