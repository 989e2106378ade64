// check_config_reader.cpp - configuration text to a patch plan: the plan
// must hold exactly the requests that a walk of the tree by hand finds, and
// sorting must order the add and remove lists without losing any.
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "checks.h"
#include "model.h"
#include "parser.h"
#include "patch_plan.h"
#include "reader.h"

namespace {

bool IsElementNamed(const XmlNode* node, const char* name) {
    return node->kind == XmlKindElement && node->name && strcmp(node->name, name) == 0;
}

const XmlNode* FirstAttribute(const XmlNode* element, const char* name) {
    const XmlElementData* data = static_cast<const XmlElementData*>(element->data);
    for (const XmlNode* a = data ? data->firstAttribute : nullptr; a; a = a->nextSibling) {
        if (a->name && strcmp(a->name, name) == 0) return a;
    }
    return nullptr;
}

std::string ValueOf(const XmlNode* attribute) {
    const XmlAttributeData* data = static_cast<const XmlAttributeData*>(attribute->data);
    return data && data->value ? std::string(data->value, static_cast<size_t>(data->valueLength))
                               : std::string();
}

// The plan the schema asks for: save_patcher / gvars / gvar with an action,
// an index and a value, in document order, without the query language.
PatchPlan PlanByHand(const XmlNode* document) {
    PatchPlan plan;
    for (const XmlNode* root = document->firstChild; root; root = root->nextSibling) {
        if (!IsElementNamed(root, "save_patcher")) continue;
        for (const XmlNode* gvars = root->firstChild; gvars; gvars = gvars->nextSibling) {
            if (!IsElementNamed(gvars, "gvars")) continue;
            for (const XmlNode* gvar = gvars->firstChild; gvar; gvar = gvar->nextSibling) {
                if (!IsElementNamed(gvar, "gvar")) continue;
                const XmlNode* action = FirstAttribute(gvar, "action");
                const XmlNode* value = FirstAttribute(gvar, "value");
                const XmlNode* index = FirstAttribute(gvar, "index");
                if (!action || !value || !index) continue;
                plan.append(ParseGvarRequest(ValueOf(action), ValueOf(value), ValueOf(index)));
            }
        }
    }
    return plan;
}

bool Same(const std::vector<GvarRequest>& a, const std::vector<GvarRequest>& b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](const GvarRequest& x, const GvarRequest& y) {
               return x.value == y.value && x.index == y.index && x.action == y.action;
           });
}

// Whether sorted is an ordering of original by unsigned index.
bool SortedFrom(std::vector<GvarRequest> original, const std::vector<GvarRequest>& sorted) {
    auto key = [](const GvarRequest& r) {
        return std::make_pair(static_cast<uint32_t>(r.index), r.value);
    };
    for (size_t i = 1; i < sorted.size(); ++i) {
        if (static_cast<uint32_t>(sorted[i - 1].index) > static_cast<uint32_t>(sorted[i].index)) {
            return false;
        }
    }
    std::vector<GvarRequest> resorted = sorted;
    auto by_key = [&](const GvarRequest& x, const GvarRequest& y) { return key(x) < key(y); };
    std::sort(original.begin(), original.end(), by_key);
    std::sort(resorted.begin(), resorted.end(), by_key);
    return Same(original, resorted);
}

}  // namespace

std::string CheckConfigReader(const uint8_t* data, size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    XmlNode* document = XmlCreateDocument("fuzz.xml");
    if (!document) return "";
    XmlParseOptions options = {};
    // A failed parse keeps the nodes completed before the fault: the
    // reader must cope with that tree as well.
    XmlParseChildren(document, input.c_str(), &options);
    std::string problem = CheckXmlTree(document, 2 * strlen(input.c_str()) + 2);
    if (problem.empty()) {
        PatchPlan plan;
        BuildPatchPlan(document, plan);
        const PatchPlan expected = PlanByHand(document);
        if (!Same(plan.add_list, expected.add_list) ||
            !Same(plan.remove_list, expected.remove_list) ||
            !Same(plan.change_list, expected.change_list)) {
            problem = "the plan differs from the requests in the tree";
        } else {
            SortPatchPlan(plan);
            if (!SortedFrom(expected.add_list, plan.add_list) ||
                !SortedFrom(expected.remove_list, plan.remove_list) ||
                !Same(plan.change_list, expected.change_list)) {
                problem = "sorting the plan lost, added or misordered requests";
            }
        }
    }
    XmlFreeNode(document);
    return problem;
}
