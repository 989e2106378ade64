// config_findings.cpp - the findings on a configuration's own text.
#include "config_findings.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "patch_plan.h"

namespace {

// The attributes gvtool reads, then those gvdump writes beside them.
const char* const KNOWN_ATTRIBUTES[] = {"action", "index", "value", "old", "name"};

bool IsBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), Lower);
    return text;
}

std::string NameOf(const XmlNode* node) {
    return node->name ? std::string(node->name, static_cast<size_t>(node->nameLength))
                      : std::string();
}

bool NameIs(const XmlNode* node, const char* name) {
    const size_t length = strlen(name);
    return node->name && static_cast<size_t>(node->nameLength) == length &&
           memcmp(node->name, name, length) == 0;
}

bool IsElement(const XmlNode* node, const char* name) {
    return node && node->kind == XmlKindElement && NameIs(node, name);
}

std::string AttributeText(const XmlNode* attribute) {
    const XmlAttributeData* data = static_cast<const XmlAttributeData*>(attribute->data);
    return data && data->value ? std::string(data->value, static_cast<size_t>(data->valueLength))
                               : std::string();
}

// The longest name Nearest compares; longer ones are near nothing.
const size_t MAX_COMPARED = 16;

// Edits (insert, delete, replace, swap two neighbours) from a to b, both
// at most MAX_COMPARED bytes.
size_t EditDistance(const std::string& a, const std::string& b) {
    size_t d[MAX_COMPARED + 1][MAX_COMPARED + 1];
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        for (size_t j = 1; j <= b.size(); ++j) {
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1,
                                d[i - 1][j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
            if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
            }
        }
    }
    return d[a.size()][b.size()];
}

// The known attribute a misspelt name is nearest to, or null when none is
// near: one edit away for short names, two for longer ones, letter case
// aside.
const char* Nearest(const std::string& name) {
    if (name.size() > MAX_COMPARED) return nullptr;
    const std::string lowered = Lowered(name);
    const char* best = nullptr;
    size_t best_distance = 3;
    for (const char* known : KNOWN_ATTRIBUTES) {
        const size_t distance = EditDistance(lowered, known);
        const size_t allowed = std::string(known).size() <= 4 ? 1 : 2;
        if (distance <= allowed && distance < best_distance) {
            best = known;
            best_distance = distance;
        }
    }
    return best;
}

// The first of each known attribute of a gvar, in KNOWN_ATTRIBUTES' order.
struct KnownAttributes {
    const XmlNode* first[std::size(KNOWN_ATTRIBUTES)] = {};
    const XmlNode* action() const { return first[0]; }
    const XmlNode* index() const { return first[1]; }
    const XmlNode* value() const { return first[2]; }
};

// One pass over the gvar's attributes: the known ones found, the others
// and the repeated ones reported.
KnownAttributes CheckAttributes(const XmlNode* gvar, int32_t line, std::vector<Finding>& findings) {
    KnownAttributes known;
    const XmlElementData* data = static_cast<const XmlElementData*>(gvar->data);
    for (const XmlNode* attribute = data ? data->firstAttribute : nullptr; attribute;
         attribute = attribute->nextSibling) {
        size_t which = 0;
        while (which < std::size(KNOWN_ATTRIBUTES) && !NameIs(attribute, KNOWN_ATTRIBUTES[which])) {
            ++which;
        }
        if (which == std::size(KNOWN_ATTRIBUTES)) {
            const std::string name = NameOf(attribute);
            const char* meant = Nearest(name);
            findings.push_back({line, "unknown attribute " + Quoted(name) +
                                          (meant ? " (did you mean " + Quoted(meant) + "?)" : "") +
                                          ": ignored"});
        } else if (known.first[which]) {
            findings.push_back({line, "attribute " + Quoted(KNOWN_ATTRIBUTES[which]) +
                                          " is given again: the first one counts"});
        } else {
            known.first[which] = attribute;
        }
    }
    return known;
}

// Whether the gvar stands where gvtool looks: save_patcher/gvars/gvar.
bool InPlace(const XmlNode* gvar) {
    const XmlNode* gvars = gvar->parent;
    const XmlNode* root = gvars ? gvars->parent : nullptr;
    return IsElement(gvars, "gvars") && IsElement(root, "save_patcher") && root->parent &&
           root->parent->kind == XmlKindDocument;
}

void CheckRequest(const KnownAttributes& known, int32_t line, std::vector<Finding>& findings);

// A gvar's findings; true when it stands in place with an action, which
// gvtool's query selects.
bool CheckGvar(const XmlNode* element, int32_t line, std::vector<Finding>& findings) {
    const KnownAttributes known = CheckAttributes(element, line, findings);
    if (!InPlace(element)) {
        findings.push_back({line, "gvar outside save_patcher/gvars: ignored"});
        return false;
    }
    if (!known.action()) {
        findings.push_back({line, "gvar without action: ignored"});
        return false;
    }
    if (!known.index() || !known.value()) {
        const char* missing = known.index()   ? "value"
                              : known.value() ? "index"
                                              : "index and value";
        findings.push_back({line, std::string("gvar without ") + missing + ": skipped"});
        return true;
    }
    CheckRequest(known, line, findings);
    return true;
}

// The elements named like one of the configuration's own in another case.
const char* const SCHEMA_NAMES[] = {"save_patcher", "gvars", "gvar"};

const char* MisspeltSchemaName(const std::string& name) {
    const std::string lowered = Lowered(name);
    for (const char* schema : SCHEMA_NAMES) {
        if (lowered == schema && name != schema) return schema;
    }
    return nullptr;
}

// The first element among parent's children named name (in any letter
// case when any_case is set; any name at all when name is null), or null.
XmlNode* FirstChildNamed(const XmlNode* parent, const char* name, bool any_case) {
    for (XmlNode* child = parent->firstChild; child; child = child->nextSibling) {
        if (child->kind != XmlKindElement) continue;
        if (!name || (any_case ? Lowered(NameOf(child)) == name : NameOf(child) == name)) {
            return child;
        }
    }
    return nullptr;
}

// The element named like name in another case, else the first element.
XmlNode* Instead(const XmlNode* parent, const char* name) {
    XmlNode* other = FirstChildNamed(parent, name, true);
    return other ? other : FirstChildNamed(parent, nullptr, false);
}

// Why no gvar with action stands in save_patcher/gvars: the first step of
// that path that is missing, and what stands there instead.
Finding NoRequestFinding(XmlNode* document, const XmlElementLines& lines) {
    uint32_t cursor = 0;
    std::vector<XmlNode*> roots;
    XmlNode* gvars = nullptr;
    for (XmlNode* child = document->firstChild; child; child = child->nextSibling) {
        if (!IsElement(child, "save_patcher")) continue;
        roots.push_back(child);
        if (!gvars) gvars = FirstChildNamed(child, "gvars", false);
    }
    if (roots.empty()) {
        XmlNode* other = Instead(document, "save_patcher");
        if (!other) return {1, "no request read: no save_patcher element"};
        return {XmlElementLineOf(&lines, other, &cursor),
                "no request read: no save_patcher element (the root is " +
                    Quoted(NameOf(other)) + ")"};
    }
    if (!gvars) {
        XmlNode* other = Instead(roots[0], "gvars");
        return {XmlElementLineOf(&lines, other ? other : roots[0], &cursor),
                "no request read: save_patcher holds no gvars element" +
                    (other ? " (it holds " + Quoted(NameOf(other)) + ")" : std::string())};
    }
    return {XmlElementLineOf(&lines, gvars, &cursor),
            "no request read: gvars holds no gvar with action"};
}

}  // namespace

void FindElementFindings(XmlNode* document, const XmlElementLines& lines,
                         std::vector<Finding>& findings) {
    uint32_t cursor = 0;
    bool any_request = false;
    // Document order, each element before its children, without recursion.
    XmlNode* node = document->firstChild;
    while (node) {
        if (node->kind == XmlKindElement) {
            const int32_t line = XmlElementLineOf(&lines, node, &cursor);
            if (NameIs(node, "gvar")) {
                any_request |= CheckGvar(node, line, findings);
            } else if (const char* schema = MisspeltSchemaName(NameOf(node))) {
                findings.push_back({line, "element " + Quoted(NameOf(node)) + " is not " +
                                              Quoted(schema) +
                                              " (names are case-sensitive): ignored"});
            }
            if (node->firstChild) {
                node = node->firstChild;
                continue;
            }
        }
        while (node && !node->nextSibling) {
            node = node->parent == document ? nullptr : node->parent;
        }
        if (node) node = node->nextSibling;
    }
    if (!any_request) findings.push_back(NoRequestFinding(document, lines));
}

namespace {

// Whether text is a whole decimal number that gvtool reads as written:
// blanks around it, an optional sign, digits, within 32 bits.
bool IsPlainNumber(const std::string& text, bool& in_range) {
    size_t i = 0;
    while (i < text.size() && IsBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    const size_t digits = i;
    int64_t value = 0;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        value = std::min<int64_t>(value * 10 + (text[i] - '0'), int64_t{1} << 40);
        ++i;
    }
    const bool whole = i > digits;
    while (i < text.size() && IsBlank(text[i])) ++i;
    in_range = negative ? value <= int64_t{1} << 31 : value < int64_t{1} << 31;
    return whole && i == text.size();
}

void CheckNumber(const XmlNode* attribute, const char* name, int32_t line,
                 std::vector<Finding>& findings) {
    const std::string text = AttributeText(attribute);
    bool in_range = false;
    const bool plain = IsPlainNumber(text, in_range);
    if (plain && in_range) return;
    findings.push_back({line, std::string(name) + " " + Quoted(text) +
                                  (plain ? " is outside the signed 32-bit range"
                                         : " is not a whole decimal number") +
                                  ": gvtool uses " + std::to_string(ParseGvarNumber(text))});
}

// The action as gvtool reads it, then the numbers of what it applies.
void CheckRequest(const KnownAttributes& known, int32_t line, std::vector<Finding>& findings) {
    const std::string text = AttributeText(known.action());
    const GvarAction action = ParseGvarRequest(text, std::string(), std::string()).action;
    if (action == GvarAction::Remove) {
        findings.push_back({line, "action " + Quoted(text) +
                                      " is read but never applied: gvtool cannot remove GVARs"});
        return;
    }
    if (action == GvarAction::Change && Lowered(text) != "change") {
        findings.push_back({line, "action " + Quoted(text) +
                                      " is not add, change or remove: applied as a change"});
    }
    CheckNumber(known.index(), "index", line, findings);
    CheckNumber(known.value(), "value", line, findings);
}

}  // namespace
