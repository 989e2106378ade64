// files.cpp - temporary folders and whole-file I/O for tests.
#include "files.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

TempDir::TempDir() : TempDir(fs::temp_directory_path()) {}

TempDir::TempDir(const fs::path& parent) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = parent /
            ("gvtool-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(candidate, error)) {
            path_ = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
}

std::string ReadFileBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

bool FileHolds(const fs::path& file, const std::string& bytes) {
    std::ifstream in(file, std::ios::binary);
    char piece[1 << 16];
    size_t at = 0;
    while (in) {
        in.read(piece, sizeof piece);
        const size_t got = static_cast<size_t>(in.gcount());
        if (got > bytes.size() - at || bytes.compare(at, got, piece, got) != 0) return false;
        at += got;
    }
    return in.eof() && at == bytes.size();
}

void WriteFileBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

fs::path FastScratchFolder() {
    // Containers often give /dev/shm only 64 MiB; the largest saves of the
    // tests, with their journals, need a few hundred.
    constexpr uintmax_t NEEDED = uintmax_t{1} << 30;
    std::error_code error;
    if (fs::is_directory("/dev/shm", error) && fs::space("/dev/shm", error).available >= NEEDED &&
        !error) {
        return "/dev/shm";
    }
    return fs::temp_directory_path();
}
