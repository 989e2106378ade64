// What platform/ promises that no program's output shows: nothing it opens
// reaches a child process, and what a name reaches.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

#include "files.h"
#include "platform/console.h"
#include "platform/open.h"
#include "platform/path.h"
#include "tool_runner.h"

namespace {

namespace fs = std::filesystem;

bool InheritedByChildren(FILE* stream) {
#ifdef _WIN32
    DWORD flags = 0;
    HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return !GetHandleInformation(handle, &flags) || (flags & HANDLE_FLAG_INHERIT) != 0;
#else
    const int flags = fcntl(fileno(stream), F_GETFD);
    return flags < 0 || (flags & FD_CLOEXEC) == 0;
#endif
}

TEST(PlatformOpen, NothingOpenedReachesAChildProcess) {
    TempDir dir;
    WriteFileBytes(dir / "file", "bytes");
    const std::string name = (dir / "file").string();
    const std::string fresh = (dir / "fresh").string();
    const struct {
        const char* how;
        std::function<FILE*()> open;
    } rows[] = {
        {"regular, read", [&] { return OpenRegularFileUtf8(name.c_str(), "rb"); }},
        {"regular, update", [&] { return OpenRegularFileUtf8(name.c_str(), "r+b"); }},
        {"regular, append", [&] { return OpenRegularFileUtf8(name.c_str(), "a"); }},
        {"any, read", [&] { return OpenFileUtf8(name, "rb"); }},
        {"any, write", [&] { return OpenFileUtf8(name, "w"); }},
        {"created", [&] { return CreateNewFileUtf8(fresh); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.how);
        FILE* stream = row.open();
        ASSERT_NE(stream, nullptr);
        EXPECT_FALSE(InheritedByChildren(stream));
        fclose(stream);
    }
}

TEST(PlatformPath, WhatANameReaches) {
    TempDir dir;
    WriteFileBytes(dir / "file", "bytes");
    fs::create_directory(dir / "folder");
    const std::string file = (dir / "file").string();
    const std::string folder = (dir / "folder").string();
    const std::string missing = (dir / "missing").string();
    EXPECT_EQ(KindOfFile(file), FileKind::Regular);
    EXPECT_EQ(KindOfFile(folder), FileKind::Other);
    EXPECT_EQ(KindOfFile(missing), FileKind::None);

    const std::string file_again = (dir / "folder" / ".." / "file").string();
    EXPECT_TRUE(NamesReachOneFile(file, file_again));
    EXPECT_TRUE(NamesReachOneFile(folder, (dir / "folder" / ".").string()));
    EXPECT_FALSE(NamesReachOneFile(file, folder));
    EXPECT_FALSE(NamesReachOneFile(file, missing));
    EXPECT_FALSE(NamesReachOneFile(missing, missing));
#ifdef _WIN32
    const std::string device = "NUL";
#else
    const std::string device = "/dev/null";
#endif
    // Writing to a device never overwrites a file.
    EXPECT_FALSE(NamesReachOneFile(device, device));
}

// Text for a person reaches a file or a pipe as the bytes it is, malformed
// UTF-8 too, in the stream's text mode; a console is written otherwise
// (tests/windows). A stream that takes nothing is told apart.
TEST(PlatformConsole, FilesAndPipesGetTheBytes) {
    const std::string text = "gvdump: Дмитрий\\存档.DAT: cannot be opened\n\xff\xfe\n";
    TempDir dir;
    const std::string name = (dir / "out").string();
    FILE* file = OpenFileUtf8(name, "w");
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(WriteUtf8(file, text));
    EXPECT_TRUE(WriteUtf8(file, ""));
    fclose(file);
    EXPECT_EQ(ReadFileBytes(dir / "out"), PlatformText(text));

    int ends[2];
#ifdef _WIN32
    ASSERT_EQ(_pipe(ends, 4096, _O_TEXT), 0);
    _setmode(ends[0], _O_BINARY);  // the bytes the writer's text mode made
#else
    ASSERT_EQ(pipe(ends), 0);
#endif
    FILE* writer = fdopen(ends[1], "w");
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(WriteUtf8(writer, text));
    fclose(writer);
    std::string piped;
    char bytes[256];
    for (int count; (count = static_cast<int>(read(ends[0], bytes, sizeof bytes))) > 0;) {
        piped.append(bytes, static_cast<size_t>(count));
    }
    close(ends[0]);
    EXPECT_EQ(piped, PlatformText(text));

    FILE* read_only = OpenFileUtf8(name, "r");
    ASSERT_NE(read_only, nullptr);
    EXPECT_FALSE(WriteUtf8(read_only, text));
    fclose(read_only);
}

}  // namespace
