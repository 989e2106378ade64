// console.cpp - text for the console, and the pause at exit for a console
// of the program's own.
#include "platform/console.h"

namespace {

bool WriteBytes(FILE* stream, const std::string& text) {
    return fwrite(text.data(), 1, text.size(), stream) == text.size();
}

}  // namespace

#ifdef _WIN32

#include <climits>
#include <cstdlib>
#include <iostream>
#include <new>

#include "platform/native.h"

namespace {

// The text as UTF-16 with the line ends of a text-mode stream. A malformed
// sequence shows as U+FFFD rather than losing the line. Empty when the text
// is empty or cannot be converted.
std::wstring ConsoleText(const std::string& text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') lines += '\r';
        lines += c;
    }
    if (lines.empty() || lines.size() > INT_MAX) return std::wstring();
    const int size = static_cast<int>(lines.size());
    const int length = MultiByteToWideChar(CP_UTF8, 0, lines.data(), size, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, lines.data(), size, &wide[0], length);
    return wide;
}

// Older consoles refuse one large write; a surrogate pair stays in one call.
bool WriteConsoleWhole(HANDLE console, const std::wstring& wide) {
    const size_t CHUNK = 8192;
    size_t done = 0;
    while (done < wide.size()) {
        size_t count = wide.size() - done;
        if (count > CHUNK) count = CHUNK;
        if (done + count < wide.size() && IS_HIGH_SURROGATE(wide[done + count - 1])) --count;
        DWORD written = 0;
        if (!WriteConsoleW(console, wide.data() + done, static_cast<DWORD>(count), &written,
                           nullptr) ||
            written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

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

bool WriteUtf8(FILE* stream, const std::string& text) {
    const HANDLE handle = HandleOf(stream);
    DWORD mode = 0;
    if (text.empty() || handle == INVALID_HANDLE_VALUE || !GetConsoleMode(handle, &mode)) {
        return WriteBytes(stream, text);
    }
    std::wstring wide;
    try {
        wide = ConsoleText(text);
    } catch (const std::bad_alloc&) {
    }
    // Garbled rather than lost.
    if (wide.empty()) return WriteBytes(stream, text);
    return fflush(stream) == 0 && WriteConsoleWhole(handle, wide);
}

#else

void ArrangeConsolePause() {}

bool WriteUtf8(FILE* stream, const std::string& text) { return WriteBytes(stream, text); }

#endif
