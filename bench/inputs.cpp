// inputs.cpp - generators for the benchmark inputs. Everything here is
// invented text; the same seed always gives the same bytes.
#include "inputs.h"

#include <cassert>

uint64_t BenchRandom::next() {
    state += 0x9e3779b97f4a7c15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
}

namespace {

const char* const WORDS[] = {
    "amber", "brook", "cinder", "dune", "ember", "fallow", "glade", "harrow", "isle", "juniper",
    "kestrel", "lantern", "meadow", "nettle", "orchard", "pebble", "quarry", "rowan", "sorrel",
    "thistle", "umber", "vale", "willow", "yarrow", "zephyr", "barley", "copper", "drift",
    "furrow", "gravel", "hollow", "marsh"};
const uint32_t WORD_COUNT = sizeof(WORDS) / sizeof(WORDS[0]);

const char* const ACTIONS_ADD[] = {"add", "add", "add", "ADD", "Add"};
const char* const ACTIONS_CHANGE[] = {"change", "change", "set", "Change"};
const char* const ACTIONS_REMOVE[] = {"remove", "Remove"};

void AppendNumber(std::string& out, int64_t value) { out += std::to_string(value); }

// A decimal value, its first digit written as a character reference now and
// then (value="&#49;2" for 12), as hand-edited files sometimes have.
void AppendValue(std::string& out, int32_t value, bool encode_first_digit) {
    std::string digits = std::to_string(value);
    if (!encode_first_digit) {
        out += digits;
        return;
    }
    size_t first = digits[0] == '-' ? 1 : 0;
    out.append(digits, 0, first);
    out += "&#";
    AppendNumber(out, static_cast<unsigned char>(digits[first]));
    out += ';';
    out.append(digits, first + 1, std::string::npos);
}

void AppendWords(std::string& out, BenchRandom& random, uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        if (i) out += ' ';
        out += WORDS[random.below(WORD_COUNT)];
    }
}

}  // namespace

std::string MakeConfigText(const ConfigShape& shape, ConfigFacts* facts) {
    assert(shape.target_bytes || shape.gvar_count);
    BenchRandom random(shape.seed);
    ConfigFacts made;
    std::string out;
    if (shape.target_bytes) out.reserve(shape.target_bytes + 256);

    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<!-- generated patch list, seed ";
    AppendNumber(out, static_cast<int64_t>(shape.seed));
    out += " -->\n";
    ++made.comment_count;
    out += "<save_patcher>\n    <gvars>\n";

    static const char CLOSING[] = "    </gvars>\n</save_patcher>\n";
    const size_t closing_length = sizeof(CLOSING) - 1;
    uint32_t next_add = shape.table_size;
    for (;;) {
        if (shape.gvar_count && made.gvar_count >= shape.gvar_count) break;
        if (shape.target_bytes && out.size() + closing_length >= shape.target_bytes &&
            made.gvar_count > 0)
            break;

        if (made.gvar_count % 64 == 63) {
            out += "        <!-- batch ";
            AppendNumber(out, made.gvar_count / 64);
            out += ": ";
            AppendWords(out, random, 3);
            out += " -->\n";
            ++made.comment_count;
        }

        uint32_t pick = random.below(10);
        const char* action;
        uint32_t index;
        if (pick < 4 && shape.adds) {
            action = ACTIONS_ADD[random.below(5)];
            index = next_add++;
            ++made.add_count;
        } else if (pick < 9 || shape.table_size == 0) {
            action = ACTIONS_CHANGE[random.below(4)];
            index = shape.table_size ? random.below(shape.table_size) : 0;
            ++made.change_count;
        } else {
            action = ACTIONS_REMOVE[random.below(2)];
            index = shape.table_size ? random.below(shape.table_size) : 0;
            ++made.remove_count;
        }
        int32_t value = static_cast<int32_t>(random.below(200001)) - 100000;

        out += "        <gvar action=\"";
        out += action;
        out += "\" index=\"";
        AppendNumber(out, index);
        out += "\" value=\"";
        AppendValue(out, value, random.below(8) == 0);
        out += '"';
        if (random.below(16) == 0) {
            out += " note=\"";
            out += WORDS[random.below(WORD_COUNT)];
            out += " &amp; ";
            out += WORDS[random.below(WORD_COUNT)];
            out += '"';
        }
        out += "/>\n";
        ++made.gvar_count;
    }
    out += CLOSING;
    if (facts) *facts = made;
    return out;
}

namespace {

class DocumentWriter {
public:
    DocumentWriter(std::string& text, BenchRandom& rng) : out(text), random(rng) {}

    // A paragraph of a few hundred words, inline elements between runs of
    // text so that every paragraph is mixed content.
    void paragraph(uint32_t indent) {
        pad(indent);
        out += "<para>";
        uint32_t runs = 6 + random.below(6);
        for (uint32_t run = 0; run < runs; ++run) {
            AppendWords(out, random, 20 + random.below(40));
            switch (random.below(5)) {
            case 0: out += " &amp; "; break;
            case 1: out += " &lt;"; out += WORDS[random.below(WORD_COUNT)]; out += "&gt; "; break;
            case 2: out += " &#65;&#x42; "; break;
            case 3: out += " &quot;"; AppendWords(out, random, 2); out += "&quot; "; break;
            default: out += ", "; break;
            }
            if (run + 1 < runs) {
                bool em = random.below(2) == 0;
                out += em ? "<em>" : "<code kind=\"inline\">";
                AppendWords(out, random, 1 + random.below(3));
                out += em ? "</em> " : "</code> ";
                ++elements;
            }
        }
        out += "</para>\n";
        ++elements;
    }

    // A section and, below it, `levels` more, each with its own paragraphs.
    void section(uint32_t indent, uint32_t levels, uint32_t number) {
        pad(indent);
        out += "<section n=\"";
        AppendNumber(out, number);
        out += "\" level=\"";
        AppendNumber(out, indent);
        out += "\">\n";
        pad(indent + 1);
        out += "<title>";
        AppendWords(out, random, 3);
        out += "</title>\n";
        elements += 2;
        paragraph(indent + 1);
        if (random.below(4) == 0) {
            pad(indent + 1);
            out += "<!-- ";
            AppendWords(out, random, 6);
            out += " -->\n";
        }
        if (levels) section(indent + 1, levels - 1, number * 2 + 1);
        paragraph(indent + 1);
        pad(indent);
        out += "</section>\n";
    }

    uint32_t elements = 0;

private:
    void pad(uint32_t indent) { out.append(indent < 32 ? indent : 32, ' '); }

    std::string& out;
    BenchRandom& random;
};

}  // namespace

std::string MakeDocumentText(size_t target_bytes, uint32_t depth, uint64_t seed,
                             uint32_t* element_count) {
    BenchRandom random(seed);
    std::string out;
    out.reserve(target_bytes + (1u << 20));
    out += "<?xml version=\"1.0\"?>\n<!DOCTYPE manual>\n<manual edition=\"3\">\n";
    DocumentWriter writer(out, random);
    writer.elements = 1;
    uint32_t chapter = 0;
    while (out.size() < target_bytes) {
        ++chapter;
        out += " <chapter n=\"";
        AppendNumber(out, chapter);
        out += "\">\n";
        ++writer.elements;
        writer.section(2, depth, chapter);
        out += " </chapter>\n";
    }
    out += "</manual>\n";
    if (element_count) *element_count = writer.elements;
    return out;
}
