// formats.cpp - printing entries as xml, csv and json. Text is escaped by
// the libraries that read it back: the XML library's writer for xml and
// nlohmann's JSON for json; CSV quoting is RFC 4180's.
#include "formats.h"

#include <algorithm>
#include <charconv>

#include <nlohmann/json.hpp>

#include "writer.h"

namespace {

// Written out once the buffer holds this much.
const size_t BLOCK_SIZE = 64 * 1024;

// A name in double quotes when it holds a comma, a quote or a line break,
// its quotes doubled.
std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

// A JSON string; bytes that are not UTF-8 become U+FFFD.
std::string JsonString(const std::string& text) {
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

void EntryWriter::flush() {
    if (!buffer_.empty()) fwrite(buffer_.data(), 1, buffer_.size(), stream_);
    buffer_.clear();
}

void EntryWriter::number(int64_t value) {
    char digits[24];
    const std::to_chars_result result = std::to_chars(digits, digits + sizeof(digits), value);
    buffer_.append(digits, result.ptr);
}

void EntryWriter::begin(const DocumentHead& head) {
    first_ = true;
    switch (format_) {
        case Format::Xml:
            // As the XML writer prints the same document: gvtool's own form.
            buffer_ += "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<!-- " + head.counts +
                       " -->\n<save_patcher >\n\t<gvars";
            buffer_ += head.count ? " >\n" : " />\n";
            break;
        case Format::Csv:
            buffer_ += "index,value,old,name\r\n";
            break;
        case Format::Json:
            buffer_ += "{\"save\":" + JsonString(head.save) + ",\"count\":";
            number(static_cast<int64_t>(head.count));
            buffer_ += ",\"entries\":[";
            break;
    }
}

void EntryWriter::write(const Entry& entry) {
    switch (format_) {
        case Format::Xml: xml_entry(entry); break;
        case Format::Csv: csv_entry(entry); break;
        case Format::Json: json_entry(entry); break;
    }
    first_ = false;
    if (buffer_.size() >= BLOCK_SIZE) flush();
}

void EntryWriter::end() {
    switch (format_) {
        case Format::Xml:
            buffer_ += first_ ? "\t</save_patcher>\n" : "\t</gvars>\n\t</save_patcher>\n";
            break;
        case Format::Csv:
            break;
        case Format::Json:
            buffer_ += first_ ? "]}\n" : "\n]}\n";
            break;
    }
    flush();
}

void EntryWriter::xml_entry(const Entry& entry) {
    buffer_ += entry.add ? "\t<gvar action=\"add\" index=\"" : "\t<gvar action=\"change\" index=\"";
    number(entry.index);
    buffer_ += "\" value=\"";
    number(entry.value);
    buffer_ += '"';
    if (entry.has_old) {
        buffer_ += " old=\"";
        number(entry.old);
        buffer_ += '"';
    }
    if (entry.name) {
        buffer_ += " name=\"";
        flush();
        XmlPrintEscaped(entry.name->data(), static_cast<int32_t>(entry.name->size()), stream_);
        buffer_ += '"';
    }
    buffer_ += " />\n";
}

void EntryWriter::csv_entry(const Entry& entry) {
    number(entry.index);
    buffer_ += ',';
    number(entry.value);
    buffer_ += ',';
    if (entry.has_old) number(entry.old);
    buffer_ += ',';
    if (entry.name) buffer_ += CsvField(*entry.name);
    buffer_ += "\r\n";
}

void EntryWriter::json_entry(const Entry& entry) {
    buffer_ += first_ ? "\n{\"index\":" : ",\n{\"index\":";
    number(entry.index);
    buffer_ += ",\"value\":";
    number(entry.value);
    if (entry.has_old) {
        buffer_ += ",\"old\":";
        number(entry.old);
    }
    if (entry.name) buffer_ += ",\"name\":" + JsonString(*entry.name);
    buffer_ += '}';
}

namespace {

// The part of [0, size) that range holds, as [first, last).
void Clip(const IndexRange& range, size_t size, size_t& first, size_t& last) {
    first = std::min<size_t>(range.from, size);
    last = std::min<size_t>(static_cast<size_t>(range.to) + 1, size);
    if (last < first) last = first;
}

Entry EntryAt(size_t index, int32_t value, const EntryNames& names) {
    Entry entry;
    entry.index = static_cast<uint32_t>(index);
    entry.value = value;
    entry.name = names.find(entry.index);
    return entry;
}

}  // namespace

void WriteListing(EntryWriter& writer, const std::vector<int32_t>& gvars,
                  const std::string& save, const IndexRange& range, const EntryNames& names) {
    size_t first = 0;
    size_t last = 0;
    Clip(range, gvars.size(), first, last);
    DocumentHead head;
    head.count = last - first;
    head.counts = GvarCount(head.count);
    if (head.count < gvars.size()) {
        head.counts += " of " + std::to_string(gvars.size());
        if (head.count) {
            head.counts += ", from " + std::to_string(first) + " to " + std::to_string(last - 1);
        }
    }
    head.save = save;
    writer.begin(head);
    for (size_t i = first; i < last; ++i) writer.write(EntryAt(i, gvars[i], names));
    writer.end();
}

void WriteDifference(EntryWriter& writer, const std::vector<int32_t>& old_gvars,
                     const std::vector<int32_t>& new_gvars, const std::string& save,
                     const IndexRange& range, const EntryNames& names) {
    const size_t common = std::min(old_gvars.size(), new_gvars.size());
    size_t first = 0;
    size_t last = 0;
    Clip(range, common, first, last);
    size_t changed = 0;
    for (size_t i = first; i < last; ++i) changed += old_gvars[i] != new_gvars[i];
    size_t first_add = 0;
    size_t last_add = 0;
    Clip(range, new_gvars.size(), first_add, last_add);
    first_add = std::max(first_add, common);
    last_add = std::max(last_add, first_add);

    DocumentHead head;
    head.count = changed + (last_add - first_add);
    head.counts = std::to_string(changed) + " changed, " + std::to_string(last_add - first_add) +
                  " added";
    head.save = save;
    writer.begin(head);
    for (size_t i = first; i < last; ++i) {
        if (old_gvars[i] == new_gvars[i]) continue;
        Entry entry = EntryAt(i, new_gvars[i], names);
        entry.has_old = true;
        entry.old = old_gvars[i];
        writer.write(entry);
    }
    for (size_t i = first_add; i < last_add; ++i) {
        Entry entry = EntryAt(i, new_gvars[i], names);
        entry.add = true;
        writer.write(entry);
    }
    writer.end();
}
