// patch_plan.cpp - request parsing and plan ordering.
#include "patch_plan.h"

#include <algorithm>

void PatchPlan::append(const GvarRequest& request) {
    switch (request.action) {
        case GvarAction::Add: add_list.push_back(request); break;
        case GvarAction::Remove: remove_list.push_back(request); break;
        case GvarAction::Change: change_list.push_back(request); break;
    }
}

namespace {

// The "C" locale's white space, independent of the process locale.
bool IsCSpace(unsigned char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

char LowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

int32_t ParseGvarNumber(const std::string& text) {
    size_t pos = 0;
    while (pos < text.size() && IsCSpace(static_cast<unsigned char>(text[pos]))) ++pos;
    bool negative = false;
    if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
        negative = text[pos] == '-';
        ++pos;
    }
    // Unsigned arithmetic gives the wrap-around without undefined behaviour.
    uint32_t total = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9') {
        total = total * 10u + static_cast<uint32_t>(text[pos] - '0');
        ++pos;
    }
    if (negative) total = 0u - total;
    return static_cast<int32_t>(total);
}

GvarRequest ParseGvarRequest(const std::string& action_text,
                             const std::string& value_text,
                             const std::string& index_text) {
    GvarRequest request;
    request.value = ParseGvarNumber(value_text);
    request.index = ParseGvarNumber(index_text);
    std::string action = action_text;
    std::transform(action.begin(), action.end(), action.begin(), LowerAscii);
    if (action == "add") {
        request.action = GvarAction::Add;
    } else if (action == "remove") {
        request.action = GvarAction::Remove;
    } else {
        request.action = GvarAction::Change;
    }
    return request;
}

void SortPatchPlan(PatchPlan& plan) {
    auto by_unsigned_index = [](const GvarRequest& a, const GvarRequest& b) {
        return static_cast<uint32_t>(a.index) < static_cast<uint32_t>(b.index);
    };
    std::sort(plan.add_list.begin(), plan.add_list.end(), by_unsigned_index);
    std::sort(plan.remove_list.begin(), plan.remove_list.end(), by_unsigned_index);
}
