// file_stream.cpp - std::ostream output through fwrite and fflush.
#include "file_stream.h"

FileStreamBuf::int_type FileStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (fputc(traits_type::to_char_type(c), file_) != EOF) return c;
    failed_ = true;
    return traits_type::eof();
}

std::streamsize FileStreamBuf::xsputn(const char* text, std::streamsize count) {
    const size_t written = fwrite(text, 1, static_cast<size_t>(count), file_);
    if (written < static_cast<size_t>(count)) failed_ = true;
    return static_cast<std::streamsize>(written);
}

int FileStreamBuf::sync() {
    if (fflush(file_) == 0) return 0;
    failed_ = true;
    return -1;
}

FileOutputStream::FileOutputStream(FILE* file) : std::ostream(nullptr), buffer_(file) {
    if (file) rdbuf(&buffer_);
}

bool FileOutputStream::lost_output() const { return rdbuf() && (buffer_.failed() || bad()); }
