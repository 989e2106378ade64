// reader.cpp - configuration document to patch plan.
#include "reader.h"

#include <string>

#include "query.h"

namespace {

// An attribute's value as a string; an attribute without a parsed value
// reads as empty, like an empty value would.
std::string AttributeText(XmlNode* attribute) {
    const XmlAttributeData* data = static_cast<const XmlAttributeData*>(attribute->data);
    if (!data || !data->value) return std::string();
    return std::string(data->value, static_cast<size_t>(data->valueLength));
}

// Frees the query's array on every path out, the allocation failure of a
// request list included.
struct ListGuard {
    XmlNodeList list{nullptr, 0, 0};
    ~ListGuard() { XmlNodeListFree(&list); }
};

}  // namespace

void BuildPatchPlan(XmlNode* document, PatchPlan& plan, PlanSources* sources) {
    ListGuard selected;
    if (XmlSelectNodes(document, "save_patcher/gvars/gvar[@action]", &selected.list) < 0) return;
    for (uint32_t i = 0; i < selected.list.count; ++i) {
        XmlNode* element = selected.list.items[i];
        XmlNode* action = XmlFindAttribute(element, "action");
        XmlNode* value = XmlFindAttribute(element, "value");
        XmlNode* index = XmlFindAttribute(element, "index");
        if (!action || !value || !index) continue;
        const GvarRequest request =
            ParseGvarRequest(AttributeText(action), AttributeText(value), AttributeText(index));
        plan.append(request);
        if (sources) {
            std::vector<XmlNode*>& list = request.action == GvarAction::Add ? sources->add_list
                                                : request.action == GvarAction::Remove
                                                    ? sources->remove_list
                                                    : sources->change_list;
            list.push_back(element);
        }
    }
}
