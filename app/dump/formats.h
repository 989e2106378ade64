// formats.h - the documents gvdump prints, entry by entry as they are
// produced, never built whole first: a configuration for gvtool (xml), CSV
// after RFC 4180, or JSON.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "names.h"
#include "options.h"

struct Entry {
    uint32_t index = 0;
    int32_t value = 0;
    bool add = false;      // an add; otherwise a change
    bool has_old = false;  // old holds the value the change replaces
    int32_t old = 0;
    const std::string* name = nullptr;
};

// What a document says before its entries.
struct DocumentHead {
    std::string counts;  // xml: the comment, such as "700 GVARs"
    std::string save;    // json: the save whose values the entries are
    uint64_t count = 0;  // the entries that follow, exactly
};

// Writes one document to an open stream that the caller owns, flushes and
// closes; the caller also checks the stream's error state afterwards. A CSV
// stream must be in binary mode: its line ends are CR LF on every system.
class EntryWriter {
public:
    EntryWriter(FILE* stream, Format format) : stream_(stream), format_(format) {}
    ~EntryWriter() { flush(); }

    void begin(const DocumentHead& head);
    void write(const Entry& entry);
    void end();

private:
    void flush();
    void number(int64_t value);
    void xml_entry(const Entry& entry);
    void csv_entry(const Entry& entry);
    void json_entry(const Entry& entry);

    FILE* stream_;
    Format format_;
    std::string buffer_;  // written out in blocks
    bool first_ = true;
};

// Every entry of the table within range, each as a change to the value it
// has, without old values.
void WriteListing(EntryWriter& writer, const std::vector<int32_t>& gvars,
                  const std::string& save, const IndexRange& range, const EntryNames& names);

// What turns old_gvars into new_gvars, within range: a change with its old
// value for each entry both have that differs, then an add for each entry
// only new_gvars has. save names the one new_gvars is of.
void WriteDifference(EntryWriter& writer, const std::vector<int32_t>& old_gvars,
                     const std::vector<int32_t>& new_gvars, const std::string& save,
                     const IndexRange& range, const EntryNames& names);
