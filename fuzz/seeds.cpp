// seeds.cpp - seed inputs for the fuzz harnesses: saves from the shared
// save builder, configurations printed by the XML writer from generated
// trees, and the constructs and paths the tool is documented with.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "checks.h"
#include "model.h"
#include "save_patcher.h"
#include "savebuilder.h"
#include "writer.h"

namespace {

constexpr size_t HEADER_SIZE = static_cast<size_t>(GVARS_OFFSET);

// Small texts, one construct or fault each.
const char* const XML_SNIPPETS[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?><a/>",
    "<?xml standalone='YES' version=\"1.0\" versionx='2' ?>",
    "<?xml standalone=\"maybe\"?>",
    "<?xml version=\"1.0\"",
    "<!DOCTYPE cfg><!-- a -- b --><!---->",
    "<![CDATA[ x > y ]]>",
    "<a b = 'x' c=\"y\" ='z'/><a />< a></a><a></a >",
    "<a>x<b/>y<c>&lt;&GT;&#65;&#x41;&amp;&#65 x&#0;&#256;&#x100;&#-3;</c></a>",
    "<a>  hello  </a>\n<b>\r\n<c/>\r\n</b>",
    "<a/x><a b=\"1\"/x><a b><a b=x>",
    "<abc></ab><ab></abc><a></>",
    "<!-- x",
    "</x>>stray",
    "<a b='&quot;&apos;&AMP;&Lt;'>&\xff\x80 text</a>",
    "<1a><?pi x?><?xmlfoo?>",
    "<a><b><c><d><e><f><g/></f></e></d></c></b></a>",
};

// The configurations a user writes, in the usual layouts.
const char* const CONFIGURATIONS[] = {
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<save_patcher>\n"
    "    <gvars>\n"
    "        <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
    "        <gvar action=\"change\" index=\"12\" value=\"3\"/>\n"
    "    </gvars>\n"
    "</save_patcher>\n",
    "<save_patcher><gvars><gvar action='add' index='700' value='1'/><gvar index='5' value='2'/>"
    "<!-- old --><gvar action='change' index='12' value='3'/></gvars></save_patcher>",
    "<save_patcher><gvars><gvar action='REMOVE' index='4' value='0'/>"
    "<gvar action='Add' index='-1' value=' 42'/><gvar action='add' index='1073741823' "
    "value='4294967295'/><gvar action=' add' index='+7' value='12abc'/>"
    "<gvar action='set' value='1'/></gvars><gvars><gvar action='change' index='0x10' "
    "value='2147483648'/></gvars><GVARS/></save_patcher><save_patcher/>",
    "<save_patcher>\r\n\t<gvars>\r\n\t\t<gvar value=\"1\" index=\"3\" action=\"add\" "
    "index=\"9\"/>\r\n\t</gvars>\r\n</save_patcher>\r\n",
};

const char* const PATHS[] = {
    "save_patcher/gvars/gvar[@action]",
    "save_patcher/gvars/gvar[@action='add']",
    "save_patcher/gvars/gvar[@action = \"change\"]",
    "gvars/gvar[ @action]",
    "gvars/gvar [@action]",
    "gvars/gvar[@action",
    "gvar[@action][@index]",
    "gvar[@action=add]",
    "gvar[@action=",
    "gvar[@note='a/b']",
    "*",
    "@*",
    "*[@action]",
    "parent::*",
    "gvars/gvar/parent::gvars",
    "child::gvars/child::gvar/attribute::index",
    "gvar[2]",
    "gvar[name='x']",
    "gvar[parent::gvars='x']",
    "gvar[child::name]",
    ".",
    "..",
    "/",
    "save_patcher/",
    "save_patcher//gvars",
    "save_patcher/gvars/gvar/@value",
    "*/*/*/*/*",
};

// Prints a document to text through a temporary file, which every platform
// has (an in-memory stream is not portable).
std::string Printed(XmlNode* document) {
    std::string text;
    FILE* file = tmpfile();
    if (!file) return text;
    XmlPrintNode(document, file);
    fflush(file);
    rewind(file);
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
    fclose(file);
    return text;
}

void AddAttribute(XmlNode* element, const char* name, const std::string& value) {
    XmlNode* attribute = XmlCreateAttribute(name, element);
    XmlAttributeData* data = static_cast<XmlAttributeData*>(attribute->data);
    data->value = static_cast<char*>(malloc(value.size() + 1));
    memcpy(data->value, value.c_str(), value.size() + 1);
    data->valueLength = static_cast<int32_t>(value.size());
    XmlElementData* record = static_cast<XmlElementData*>(element->data);
    XmlNode* last = record->firstAttribute;
    if (!last) {
        record->firstAttribute = attribute;
        return;
    }
    while (last->nextSibling) last = last->nextSibling;
    last->nextSibling = attribute;
    attribute->prevSibling = last;
}

// A configuration tree built node by node and printed by the writer: a
// declaration, a comment, and count requests of every action.
std::string GeneratedConfiguration(int count, unsigned seed) {
    XmlNode* document = XmlCreateDocument("generated.xml");
    XmlAppendChild(document, XmlCreateDeclaration(document));
    XmlNode* comment = XmlCreateComment(document);
    XmlAppendChild(document, comment);
    XmlNode* root = XmlCreateElement("save_patcher", document);
    XmlAppendChild(document, root);
    XmlNode* gvars = XmlCreateElement("gvars", root);
    XmlAppendChild(root, gvars);
    static const char* const actions[] = {"add", "change", "remove", "Add"};
    for (int i = 0; i < count; ++i) {
        XmlNode* gvar = XmlCreateElement("gvar", gvars);
        XmlAppendChild(gvars, gvar);
        seed = seed * 1103515245u + 12345u;
        AddAttribute(gvar, "action", actions[(seed >> 16) % 4]);
        AddAttribute(gvar, "index", std::to_string(690 + (seed >> 8) % 30));
        AddAttribute(gvar, "value", std::to_string(static_cast<int>(seed % 2001) - 1000));
    }
    std::string text = Printed(document);
    XmlFreeNode(document);
    return text;
}

std::vector<std::string> XmlSeeds() {
    std::vector<std::string> seeds(std::begin(XML_SNIPPETS), std::end(XML_SNIPPETS));
    seeds.insert(seeds.end(), std::begin(CONFIGURATIONS), std::end(CONFIGURATIONS));
    for (int count : {1, 3, 8}) seeds.push_back(GeneratedConfiguration(count, 7u + count));
    return seeds;
}

// Save bytes after the header the patcher never reads, with no journal.
std::string AfterHeader(const SaveParams& params) {
    return SaveHarnessInput(0, BuildSave(params).substr(HEADER_SIZE), "");
}

// Saves left by interrupted runs, with their journals as they were found:
// a growing run and a run in place, each cut off at several points.
void AddJournalSeeds(std::vector<std::string>& seeds) {
    const SaveParams params = DefaultSaveParams(9, 300);
    const std::string save = BuildSave(params);
    SaveParams grown = params;
    grown.gvars.insert(grown.gvars.end(), {5, 0, 7});
    const std::string patched = BuildSave(grown);
    const std::string journal = BuildJournal(params, grown.gvars);
    // Grown, the tail moved in part, the table not yet written.
    std::string torn = save + patched.substr(save.size());
    torn.replace(save.size() - 100, 100, patched.substr(save.size() - 100, 100));
    const auto add = [&seeds](uint8_t control, const std::string& file, const std::string& bytes) {
        seeds.push_back(SaveHarnessInput(control, file.substr(HEADER_SIZE), bytes));
    };
    add(1, torn, journal);     // restorable
    add(1, save, journal);     // nothing changed yet
    add(1, patched, journal);  // all written, not committed
    std::string committed = journal;
    committed.replace(0, 8, 8, '\0');
    add(1, torn, committed);
    std::string cut_header = journal;
    cut_header.replace(20, 72, 72, '\0');
    add(1, save, cut_header);                                // its writing cut off
    add(1, torn, journal.substr(0, journal.size() - 10));    // damaged: does not match
    std::string foreign = torn;
    foreign[GVARS_OFFSET + 8] ^= 0x40;
    add(1, foreign, journal);  // a byte neither before nor after: does not match
    add(1, save, "");          // empty journal
    // Sealed by the harness: only the fields and the payload count.
    add(7, torn, journal.substr(0, JOURNAL_PAYLOAD_AT) + torn.substr(HEADER_SIZE, 200));

    SaveParams changed = params;
    changed.gvars[2] = -7;
    changed.gvars[600] = 12;
    const std::string in_place = BuildSave(changed);
    std::string half = save;
    half.replace(GVARS_OFFSET, 12, in_place.substr(GVARS_OFFSET, 12));
    add(1, half, BuildJournal(params, changed.gvars));

    // The first release's journals.
    const std::string first = BuildVersion1Journal(save, 24);
    add(1, torn, first);
    add(1, save, first.substr(0, 700));
    add(15, torn, first.substr(0, 60) + torn.substr(HEADER_SIZE, 40));
}

// Saves with one to three bits flipped where location looks: the cities
// list, the three bytes after it and the end marker. Most stop location;
// flips in a name's letters patch as usual.
void AddFlipSeeds(std::vector<std::string>& seeds) {
    const SaveParams params = DefaultSaveParams(21, 3000);
    const SaveLayout layout = DescribeSave(params);
    const std::string save = BuildSave(params).substr(HEADER_SIZE);
    const size_t list_start = static_cast<size_t>(layout.cities_block_offset) - HEADER_SIZE;
    const size_t list_end = list_start + layout.cities_list_size + 3;
    const size_t marker = static_cast<size_t>(layout.end_marker_offset) - HEADER_SIZE;
    std::mt19937 random(2024);
    for (int i = 0; i < 200; ++i) {
        std::string bytes = save;
        for (int flip = 0; flip <= i % 3; ++flip) {
            const bool in_marker = random() % 4 == 0;
            const size_t at = in_marker ? marker + random() % 4
                                        : list_start + random() % (list_end - list_start);
            bytes[at] = static_cast<char>(bytes[at] ^ (1u << (random() % 8)));
        }
        seeds.push_back(SaveHarnessInput(0, bytes, ""));
    }
}

std::vector<std::string> SaveSeeds() {
    std::vector<std::string> seeds;
    AddJournalSeeds(seeds);
    AddFlipSeeds(seeds);
    seeds.push_back(AfterHeader(DefaultSaveParams(1, 64)));
    seeds.push_back(AfterHeader(DefaultSaveParams(2, 2100)));  // a tail of two chunks
    SaveParams params = DefaultSaveParams(3, 16);
    params.gvars = GenerateGvars(698, 3);
    params.city_names = CityNamesForListSize(302);
    seeds.push_back(AfterHeader(params));
    params = DefaultSaveParams(4, 16);
    params.gvars = GenerateGvars(702, 4);  // the add lands inside the table
    params.city_names = InventCityNames(49);
    seeds.push_back(AfterHeader(params));
    params = DefaultSaveParams(5, 16);
    params.gvars[690] = 0x50460000;  // a value spelling the end marker
    seeds.push_back(AfterHeader(params));
    params = DefaultSaveParams(6, 16);
    params.city_count = 13;
    seeds.push_back(AfterHeader(params));
    params = DefaultSaveParams(7, 0);
    params.end_marker = false;
    seeds.push_back(AfterHeader(params));
    params = DefaultSaveParams(8, 8);
    params.city_names = {"VARNHOLLOW", "", "QUELLMARSH", "ZELMIRAV"};
    seeds.push_back(AfterHeader(params));
    return seeds;
}

}  // namespace

std::vector<std::string> FuzzSeeds(const std::string& name) {
    if (name == "xml_parser" || name == "config_reader") return XmlSeeds();
    if (name == "path_query") return std::vector<std::string>(std::begin(PATHS), std::end(PATHS));
    if (name == "save_patcher") return SaveSeeds();
    return {};
}

const FuzzHarness FUZZ_HARNESSES[4] = {
    {"xml_parser", CheckXmlParser},
    {"path_query", CheckPathQuery},
    {"config_reader", CheckConfigReader},
    {"save_patcher", CheckSavePatcher},
};

const FuzzHarness* FindFuzzHarness(const std::string& name) {
    for (const FuzzHarness& harness : FUZZ_HARNESSES) {
        if (name == harness.name) return &harness;
    }
    return nullptr;
}
