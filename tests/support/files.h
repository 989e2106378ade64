// files.h - temporary folders and whole-file reads and writes for tests.
#pragma once

#include <filesystem>
#include <string>

// A fresh folder under the system's temporary directory (or under parent),
// removed with everything in it when the object goes.
class TempDir {
public:
    TempDir();
    explicit TempDir(const std::filesystem::path& parent);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The file's bytes; empty when it cannot be read.
std::string ReadFileBytes(const std::filesystem::path& file);
// Whether the file holds exactly the bytes given. Reads it in pieces, so
// that loops over large files allocate nothing.
bool FileHolds(const std::filesystem::path& file, const std::string& bytes);
// Replaces the file's content with the bytes given.
void WriteFileBytes(const std::filesystem::path& file, const std::string& bytes);

// Where loops of many runs keep their files: /dev/shm when it exists with
// room to spare (syncs cost nothing there), else the system's temporary
// directory.
std::filesystem::path FastScratchFolder();
