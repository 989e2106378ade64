// file_stream.h - an output stream over an open C stream. The log writes
// through the very handle that holds its lock: on Windows a lock refuses
// writes through any other handle, even one of the same process.
#pragma once

#include <cstdio>
#include <ostream>
#include <streambuf>

// Hands every byte to the C stream, which buffers them and, in text mode,
// writes the platform's line ends; a flush here flushes it. Does not own it.
// Remembers whether any write or flush of the C stream failed.
class FileStreamBuf : public std::streambuf {
public:
    explicit FileStreamBuf(FILE* file) : file_(file) {}

    bool failed() const { return failed_; }

protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* text, std::streamsize count) override;
    int sync() override;

private:
    FILE* file_;
    bool failed_ = false;
};

// A std::ostream on FileStreamBuf; with a null file it is failed from the
// start and drops what it is given.
class FileOutputStream : public std::ostream {
public:
    explicit FileOutputStream(FILE* file);

    // Whether anything written or flushed failed to reach the file (a full
    // disk, a file-size limit, an I/O error), so that part of what it was
    // given is missing from it. False for a stream on no file.
    bool lost_output() const;

private:
    FileStreamBuf buffer_;
};
