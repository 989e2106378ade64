// file_stream.cpp - std::ostream output through fwrite and fflush.
#include "file_stream.h"

FileStreamBuf::int_type FileStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    return fputc(traits_type::to_char_type(c), file_) == EOF ? traits_type::eof() : c;
}

std::streamsize FileStreamBuf::xsputn(const char* text, std::streamsize count) {
    return static_cast<std::streamsize>(fwrite(text, 1, static_cast<size_t>(count), file_));
}

int FileStreamBuf::sync() { return fflush(file_) == 0 ? 0 : -1; }

FileOutputStream::FileOutputStream(FILE* file) : std::ostream(nullptr), buffer_(file) {
    if (file) rdbuf(&buffer_);
}
