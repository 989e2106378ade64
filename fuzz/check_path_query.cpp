// check_path_query.cpp - path queries on arbitrary paths against one fixed
// configuration: results are nodes of that tree, lists are only appended
// to, and the same path selects the same nodes again.
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "checks.h"
#include "model.h"
#include "parser.h"
#include "query.h"

namespace {

// Every node kind, several gvar elements, text, an element without record
// use, and a second root.
const char CONFIGURATION[] =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
    "<!DOCTYPE cfg>\n"
    "<!-- made for the path query fuzzer -->\n"
    "<save_patcher mode=\"test\">\n"
    "  <gvars>\n"
    "    <gvar action=\"add\" index=\"700\" value=\"1\"/>\n"
    "    <gvar index=\"5\" value=\"2\"/>\n"
    "    <!-- old -->\n"
    "    <gvar action=\"change\" index=\"12\" value=\"3\">note</gvar>\n"
    "    <gvar action='remove' index='9' value='0'><name>x</name><name/></gvar>\n"
    "  </gvars>\n"
    "  <gvars><gvar action=\"add\" index=\"701\" value=\"7\" action=\"x\"/></gvars>\n"
    "  text at the root &amp; more\n"
    "  <empty/>\n"
    "</save_patcher>\n"
    "<second a=\"1\" b=\"\"/>\n";

struct Fixture {
    XmlNode* document = nullptr;
    std::vector<XmlNode*> contexts;        // where the paths start
    std::unordered_set<const XmlNode*> nodes;  // every node and attribute

    Fixture() {
        document = XmlCreateDocument("fixed.xml");
        XmlParseOptions options = {};
        XmlParseChildren(document, CONFIGURATION, &options);
        std::vector<XmlNode*> pending{document};
        while (!pending.empty()) {
            XmlNode* node = pending.back();
            pending.pop_back();
            nodes.insert(node);
            if (node->kind == XmlKindElement) {
                const XmlElementData* data = static_cast<const XmlElementData*>(node->data);
                for (XmlNode* a = data->firstAttribute; a; a = a->nextSibling) nodes.insert(a);
            }
            for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
                pending.push_back(child);
            }
        }
        XmlNode* root = document->firstChild;
        while (root && root->kind != XmlKindElement) root = root->nextSibling;
        contexts = {document, root, root ? root->firstChild : nullptr, nullptr};
    }
    // Lives for the whole process; freeing it at exit would only cost time.
};

Fixture& Fixed() {
    static Fixture* fixture = new Fixture();
    return *fixture;
}

// Runs the path into a list that already holds one entry. Returns the
// problem, or "" with the selection in *selected.
std::string Select(XmlNode* context, const char* path, std::vector<XmlNode*>* selected,
                   int32_t* result) {
    Fixture& fixture = Fixed();
    XmlNodeList list = {nullptr, 0, 0};
    XmlNodeListAppend(&list, fixture.document);
    *result = XmlSelectNodes(context, path, &list);
    std::string problem;
    if (*result != 0 && *result != -1) {
        problem = "result " + std::to_string(*result);
    } else if (list.count < 1 || list.items[0] != fixture.document) {
        problem = "the list's earlier entry was lost";
    } else if (list.count > list.capacity) {
        problem = "count above capacity";
    } else if (*result == -1 && list.count != 1) {
        problem = "a failed query appended nodes";
    }
    for (uint32_t i = 1; problem.empty() && i < list.count; ++i) {
        if (!fixture.nodes.count(list.items[i])) problem = "selected a node outside the tree";
        selected->push_back(list.items[i]);
    }
    XmlNodeListFree(&list);
    return problem;
}

// A node is appended once per route that reaches it, so a path alternating
// child and parent steps selects exponentially many nodes by design; cut
// after this many steps, paths stay quick and still reach every step form.
constexpr size_t MAX_PATH_STEPS = 6;

}  // namespace

std::string CheckPathQuery(const uint8_t* data, size_t size) {
    std::string input(reinterpret_cast<const char*>(data), size);
    input.resize(strlen(input.c_str()));
    size_t slash = std::string::npos;
    for (size_t steps = 0; steps < MAX_PATH_STEPS; ++steps) {
        slash = input.find('/', slash + 1);
        if (slash == std::string::npos) break;
    }
    if (slash != std::string::npos) input.resize(slash);
    const char* path = input.c_str();
    const size_t first_step = strcspn(path, "/");
    for (XmlNode* context : Fixed().contexts) {
        std::vector<XmlNode*> first;
        std::vector<XmlNode*> second;
        int32_t result = 0;
        int32_t again = 0;
        std::string problem = Select(context, path, &first, &result);
        if (problem.empty()) problem = Select(context, path, &second, &again);
        if (!problem.empty()) return problem + " for path \"" + input.substr(0, 200) + "\"";
        if (result != again || first != second) return "the same query selected differently";
        if (*path == '\0' && result != -1) return "the empty path did not fail";
        if (first_step >= 128 && result != -1) return "an overlong first step did not fail";
        if (first_step == 0 && *path && (result != 0 || !first.empty())) {
            return "a path starting with / selected something";
        }
        if (!context && !first.empty()) return "a null context selected something";
    }
    return "";
}
