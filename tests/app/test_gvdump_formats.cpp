// gvdump's formats read back by real parsers: the XML library that gvtool
// reads configurations with, nlohmann's JSON, and a strict RFC 4180 reader
// below. Each gives the same entries, names with commas, quotes, line
// breaks and bytes that are not UTF-8 included.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "files.h"
#include "formats.h"
#include "loader.h"
#include "query.h"
#include "savebuilder.h"
#include "tool_runner.h"

namespace {

struct Read {
    int64_t index;
    int64_t value;
    std::optional<int64_t> old;
    std::optional<std::string> name;
    bool operator==(const Read& other) const {
        return index == other.index && value == other.value && old == other.old &&
               name == other.name;
    }
};

std::ostream& operator<<(std::ostream& out, const Read& read) {
    out << read.index << "=" << read.value;
    if (read.old) out << " old " << *read.old;
    if (read.name) out << " name [" << *read.name << "]";
    return out;
}

// RFC 4180, strictly: records end in CR LF; a field is either plain (no
// quote, comma, CR or LF) or quoted, with quotes doubled inside.
std::vector<std::vector<std::string>> ReadCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records;
    size_t i = 0;
    while (i < text.size()) {
        std::vector<std::string> record;
        for (;;) {
            std::string field;
            if (i < text.size() && text[i] == '"') {
                for (++i;; ++i) {
                    if (i >= text.size()) {
                        ADD_FAILURE() << "unclosed quote";
                        return records;
                    }
                    if (text[i] == '"') {
                        if (i + 1 < text.size() && text[i + 1] == '"') {
                            field += '"';
                            ++i;
                            continue;
                        }
                        ++i;
                        break;
                    }
                    field += text[i];
                }
            } else {
                while (i < text.size() && text[i] != ',' && text[i] != '\r') {
                    if (text[i] == '"' || text[i] == '\n') {
                        ADD_FAILURE() << "quote or line feed in a plain field at " << i;
                        return records;
                    }
                    field += text[i++];
                }
            }
            record.push_back(field);
            if (i < text.size() && text[i] == ',') {
                ++i;
                continue;
            }
            if (text.compare(i, 2, "\r\n") != 0) {
                ADD_FAILURE() << "a record that does not end in CR LF at " << i;
                return records;
            }
            i += 2;
            break;
        }
        records.push_back(record);
    }
    return records;
}

std::vector<Read> EntriesOfCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records = ReadCsv(text);
    std::vector<Read> entries;
    EXPECT_FALSE(records.empty());
    if (records.empty()) return entries;
    EXPECT_EQ(records[0], (std::vector<std::string>{"index", "value", "old", "name"}));
    for (size_t i = 1; i < records.size(); ++i) {
        const std::vector<std::string>& r = records[i];
        EXPECT_EQ(r.size(), 4u);
        if (r.size() != 4) continue;
        Read read{std::stoll(r[0]), std::stoll(r[1]), std::nullopt, std::nullopt};
        if (!r[2].empty()) read.old = std::stoll(r[2]);
        if (!r[3].empty()) read.name = r[3];
        entries.push_back(read);
    }
    return entries;
}

std::vector<Read> EntriesOfJson(const std::string& text, const std::string& save) {
    const nlohmann::json document = nlohmann::json::parse(text);
    EXPECT_EQ(document.at("save"), save);
    std::vector<Read> entries;
    for (const nlohmann::json& entry : document.at("entries")) {
        Read read{entry.at("index"), entry.at("value"), std::nullopt, std::nullopt};
        if (entry.contains("old")) read.old = entry.at("old").get<int64_t>();
        if (entry.contains("name")) read.name = entry.at("name").get<std::string>();
        EXPECT_EQ(entry.size(), 2u + entry.contains("old") + entry.contains("name"));
        entries.push_back(read);
    }
    EXPECT_EQ(document.at("count"), entries.size());
    return entries;
}

std::vector<Read> EntriesOfXml(const std::filesystem::path& file) {
    XmlNode* document = XmlCreateDocument(file.u8string().c_str());
    EXPECT_EQ(XmlLoadFile(document), 0);
    XmlNodeList list{nullptr, 0, 0};
    XmlSelectNodes(document, "save_patcher/gvars/gvar", &list);
    auto text = [](XmlNode* gvar, const char* name) -> std::optional<std::string> {
        XmlNode* attribute = XmlFindAttribute(gvar, name);
        if (!attribute) return std::nullopt;
        const XmlAttributeData* data = static_cast<const XmlAttributeData*>(attribute->data);
        return std::string(data->value, static_cast<size_t>(data->valueLength));
    };
    std::vector<Read> entries;
    for (uint32_t i = 0; i < list.count; ++i) {
        Read read{std::stoll(*text(list.items[i], "index")), std::stoll(*text(list.items[i], "value")),
                  std::nullopt, text(list.items[i], "name")};
        if (auto old = text(list.items[i], "old")) read.old = std::stoll(*old);
        entries.push_back(read);
    }
    XmlNodeListFree(&list);
    XmlFreeNode(document);
    return entries;
}

// A name with its bytes that are not UTF-8 replaced as JSON carries it.
std::vector<Read> WithReplacedBytes(std::vector<Read> entries) {
    for (Read& read : entries) {
        if (!read.name) continue;
        std::string& name = *read.name;
        for (size_t at; (at = name.find_first_of("\x80\xfe\xff")) != std::string::npos;) {
            name.replace(at, 1, "\xEF\xBF\xBD");
        }
    }
    return entries;
}

const std::string NAMES =
    "# invented names\n"
    "1 gold, silver\n"
    "2 the \"keep\" <gate> & tower\n"
    "3 carriage\rreturn\n"
    "4 \xff\xfe broken \x80 bytes\r\n"
    "701 tail entry\n";

// Each format, through the real binary, on a difference: changes with old
// values, adds without, names on some.
TEST(GvdumpFormats, EveryFormatReadsBackAsTheSameEntries) {
    TempDir dir;
    SaveParams params = DefaultSaveParams();
    WriteFileBytes(dir / "OLD.DAT", BuildSave(params));
    params.gvars[1] = -7;
    params.gvars[2] = 2147483647;
    params.gvars[5] = 99;
    params.gvars.insert(params.gvars.end(), {-2147483647 - 1, 11});
    WriteFileBytes(dir / "NEW.DAT", BuildSave(params));
    WriteFileBytes(dir / "names.txt", NAMES);
    const SaveParams old_params = DefaultSaveParams();
    const std::vector<Read> expected = {
        {1, -7, old_params.gvars[1], std::string("gold, silver")},
        {2, 2147483647, old_params.gvars[2], std::string("the \"keep\" <gate> & tower")},
        {5, 99, old_params.gvars[5], std::nullopt},
        {700, -2147483648LL, std::nullopt, std::nullopt},
        {701, 11, std::nullopt, std::string("tail entry")},
    };

    ToolOptions options;
    options.program = GvdumpPath();
    for (const char* format : {"xml", "csv", "json"}) {
        const std::string out = std::string("diff.") + format;
        ToolRun run = RunTool(dir.path(),
                              {"--names", "names.txt", "--format", format, "-o", out, "OLD.DAT", "NEW.DAT"},
                              options);
        EXPECT_EQ(run.exit_status, 0);
    }
    EXPECT_EQ(EntriesOfXml(dir / "diff.xml"), expected);
    EXPECT_EQ(EntriesOfCsv(ReadFileBytes(dir / "diff.csv")), expected);
    EXPECT_EQ(EntriesOfJson(ReadFileBytes(dir / "diff.json"), "NEW.DAT"), expected);

    // The names with a carriage return and broken bytes, on a listing of
    // the newer save (which has entry 701 to name).
    for (const char* format : {"xml", "csv", "json"}) {
        const std::string out = std::string("list.") + format;
        ToolRun run = RunTool(dir.path(),
                              {"--names=names.txt", "--range=3-4", "--format=" + std::string(format),
                               "-o" + out, "NEW.DAT"},
                              options);
        EXPECT_EQ(run.exit_status, 0);
    }
    const std::vector<Read> listed = {
        {3, old_params.gvars[3], std::nullopt, std::string("carriage\rreturn")},
        {4, old_params.gvars[4], std::nullopt, std::string("\xff\xfe broken \x80 bytes")},
    };
    EXPECT_EQ(EntriesOfXml(dir / "list.xml"), listed);
    EXPECT_EQ(EntriesOfCsv(ReadFileBytes(dir / "list.csv")), listed);
    EXPECT_EQ(EntriesOfJson(ReadFileBytes(dir / "list.json"), "NEW.DAT"), WithReplacedBytes(listed));
    // gvtool applies the named listing as it stands: the save is unchanged.
    const std::string save = ReadFileBytes(dir / "NEW.DAT");
    RunTool(dir.path(), {"list.xml", "NEW.DAT"});
    EXPECT_TRUE(ReadFileBytes(dir / "NEW.DAT") == save);
}

// Names no names file can hold (a line feed inside), and documents without
// entries, straight from the writer.
TEST(GvdumpFormats, WriterEscapesWhatItIsGiven) {
    TempDir dir;
    const std::string line_feed = "two\nlines, \"quoted\"";
    const std::string plain = "plain";
    const std::vector<Read> expected = {{0, 5, std::nullopt, line_feed}, {9, -1, 3, plain}};
    for (Format format : {Format::Xml, Format::Csv, Format::Json}) {
        for (bool empty : {false, true}) {
            const std::filesystem::path file = dir / "out";
            FILE* stream = fopen(file.string().c_str(), "wb");
            ASSERT_NE(stream, nullptr);
            {
                EntryWriter writer(stream, format);
                writer.begin({"2 changed, 0 added", "S.DAT", empty ? 0u : 2u});
                if (!empty) {
                    Entry first;
                    first.value = 5;
                    first.name = &line_feed;
                    writer.write(first);
                    Entry second;
                    second.index = 9;
                    second.value = -1;
                    second.has_old = true;
                    second.old = 3;
                    second.name = &plain;
                    writer.write(second);
                }
                writer.end();
            }
            fclose(stream);
            const std::vector<Read> want = empty ? std::vector<Read>() : expected;
            const std::string bytes = ReadFileBytes(file);
            const std::vector<Read> read = format == Format::Xml   ? EntriesOfXml(file)
                                           : format == Format::Csv ? EntriesOfCsv(bytes)
                                                                   : EntriesOfJson(bytes, "S.DAT");
            EXPECT_EQ(read, want);
        }
    }
}

}  // namespace
