// What platform/ promises that no program's output shows: nothing it opens
// reaches a child process, and what a name reaches.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "files.h"
#include "platform/console.h"
#include "platform/file.h"
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

// What is found at a name the journal or the undo record is looked for
// under: opened only when it is a regular file, and never waited on.
TEST(PlatformOpen, WhatAnExistingNameHolds) {
    TempDir dir;
    WriteFileBytes(dir / "file", "bytes");
    fs::create_directory(dir / "folder");
    std::vector<std::pair<std::string, OpenFailure>> rows = {
        {"file", OpenFailure::None},
        {"missing", OpenFailure::NoSuchFile},
        {"folder", OpenFailure::IsFolder},
        {std::string(300, 'n'), OpenFailure::NameTooLong},
    };
#ifndef _WIN32
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    fs::create_symlink("loop", dir / "loop");
    rows.push_back({"fifo", OpenFailure::NotAFile});
    rows.push_back({"loop", OpenFailure::NotAFile});
#endif
    for (const auto& [name, expected] : rows) {
        SCOPED_TRACE(name.substr(0, 20));
        for (const char* mode : {"rb", "r+b"}) {
            OpenFailure outcome = OpenFailure::Other;
            FILE* stream = OpenExistingFileUtf8((dir / name).string(), mode, &outcome);
#ifdef _WIN32
            // A path past Windows' limit may be called not found: either way
            // nothing can be there.
            if (expected == OpenFailure::NameTooLong && outcome == OpenFailure::NoSuchFile) {
                outcome = OpenFailure::NameTooLong;
            }
#endif
            EXPECT_EQ(outcome, expected);
            EXPECT_EQ(stream != nullptr, expected == OpenFailure::None);
            if (stream) {
                char bytes[5];
                EXPECT_EQ(fread(bytes, 1, 5, stream), 5u);
                EXPECT_FALSE(InheritedByChildren(stream));
                fclose(stream);
            }
        }
    }
}

// A rename replaces what has the new name; the link count of a file tells
// its other names.
TEST(PlatformPath, RenameReplacesAndLinksAreCounted) {
    TempDir dir;
    WriteFileBytes(dir / "new", "new");
    WriteFileBytes(dir / "old", "old");
    EXPECT_TRUE(RenameFileUtf8((dir / "new").string(), (dir / "old").string()));
    EXPECT_EQ(ReadFileBytes(dir / "old"), "new");
    EXPECT_FALSE(fs::exists(dir / "new"));
    EXPECT_FALSE(RenameFileUtf8((dir / "new").string(), (dir / "other").string()));
    // A file this process created is renamed while it is open.
    FILE* created = CreateNewFileUtf8((dir / "created").string());
    ASSERT_NE(created, nullptr);
    EXPECT_EQ(fwrite("ab", 1, 2, created), 2u);
    EXPECT_EQ(fflush(created), 0);
    EXPECT_TRUE(RenameFileUtf8((dir / "created").string(), (dir / "renamed").string()));
    EXPECT_EQ(fwrite("cd", 1, 2, created), 2u);
    fclose(created);
    EXPECT_EQ(ReadFileBytes(dir / "renamed"), "abcd");
    EXPECT_FALSE(fs::exists(dir / "created"));

    FILE* stream = OpenFileUtf8((dir / "old").string(), "rb");
    ASSERT_NE(stream, nullptr);
    uint64_t links = 0;
    EXPECT_TRUE(FileLinkCount(stream, &links));
    EXPECT_EQ(links, 1u);
    fs::create_hard_link(dir / "old", dir / "link");
    EXPECT_TRUE(FileLinkCount(stream, &links));
    EXPECT_EQ(links, 2u);
    fclose(stream);
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
