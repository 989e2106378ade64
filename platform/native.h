// native.h - what the POSIX and Windows halves of platform/ share: the
// system's headers, the handle beneath a stream, the retry of a call that a
// signal interrupted, and UTF-8 names as Windows takes them. For platform's
// own sources only: nothing outside platform/ includes it.
#pragma once

#include <cerrno>
#include <cstdio>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

// Makes the call again while it fails with EINTR, so that a signal handled
// meanwhile never fails it. The call returns -1 with errno set on failure.
// Windows sets EINTR nowhere: there the call is made once.
template <typename Call>
auto RetryOnInterrupt(Call call) -> decltype(call()) {
    decltype(call()) result;
    do {
        result = call();
    } while (result == -1 && errno == EINTR);
    return result;
}

#ifdef _WIN32

// The handle beneath the stream; INVALID_HANDLE_VALUE when there is none.
inline HANDLE HandleOf(FILE* stream) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
}

// UTF-8 as Windows takes names (UTF-16), and back. Empty when the text is
// empty, not valid, or too large to hold: a name that cannot be converted
// names nothing, and its open fails.
std::wstring WideFromUtf8(const char* text);
std::string Utf8FromWide(const wchar_t* wide);

#endif
