// query.cpp - path queries: steps cut at "/", parsed and evaluated one at a
// time for every context node they reach, nothing compiled in advance.
#include "query.h"

#include <cstdlib>
#include <cstring>

namespace {

// One step is copied into a buffer this size before it is parsed, which sets
// the 127-character limit of a step. Parsed names and values are pieces of
// the step, so buffers of the same size always hold them.
const int32_t STEP_BUFFER_SIZE = 128;
const uint32_t WORKING_LIST_CAPACITY = 32;

enum XmlAxis : int32_t {
    AxisDefault = 0,
    AxisChild = 1,
    AxisParent = 2,
    AxisAttribute = 3
};

struct XmlPathPredicate {
    XmlAxis axis;                     // seen from the candidate node
    char testName[STEP_BUFFER_SIZE];  // never a wildcard
    int32_t testNameLength;
    int32_t hasValue;
    char testValue[STEP_BUFFER_SIZE];  // taken literally, not decoded
    int32_t testValueLength;
};

struct XmlPathStep {
    XmlAxis axis;
    char nameTest[STEP_BUFFER_SIZE];  // "*" matches any node
    int32_t nameTestLength;
    int32_t hasPredicate;
    XmlPathPredicate predicate;
};

bool XmlIsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

void XmlSetText(char* buffer, int32_t* length, const char* text, int32_t count) {
    memcpy(buffer, text, static_cast<size_t>(count));
    buffer[count] = '\0';
    *length = count;
}

// A node's name equals text exactly; a node without a name matches nothing.
bool XmlNameEquals(const XmlNode* node, const char* text) {
    return node->name && strcmp(node->name, text) == 0;
}

// A stored value (text and byte count, possibly null when empty) equals the
// test value byte for byte.
bool XmlValueEquals(const char* value, int32_t valueLength, const char* text, int32_t length) {
    if (valueLength != length) return false;
    return length == 0 || (value && memcmp(value, text, static_cast<size_t>(length)) == 0);
}

XmlElementData* XmlElementOf(const XmlNode* node) {
    if (!node || node->kind != XmlKindElement) return nullptr;
    return static_cast<XmlElementData*>(node->data);
}

bool XmlGrowList(XmlNodeList* list) {
    if (list->count == UINT32_MAX) return false;
    uint64_t grown = static_cast<uint64_t>(list->capacity) * 3 / 2;
    if (grown <= list->count) {
        // Half of 0 or 1 is no room at all; a list created empty must grow.
        grown = list->count + 1u < WORKING_LIST_CAPACITY ? WORKING_LIST_CAPACITY : list->count + 1u;
    }
    if (grown > UINT32_MAX) grown = UINT32_MAX;
    if (grown > SIZE_MAX / sizeof(XmlNode*)) return false;
    void* items = realloc(list->items, static_cast<size_t>(grown) * sizeof(XmlNode*));
    if (!items) return false;
    list->items = static_cast<XmlNode**>(items);
    list->capacity = static_cast<uint32_t>(grown);
    return true;
}

}  // namespace

void XmlNodeListAppend(XmlNodeList* list, XmlNode* node) {
    if (!list) return;
    if (!list->items || list->count >= list->capacity) {
        if (!XmlGrowList(list)) return;
    }
    list->items[list->count++] = node;
}

void XmlNodeListFree(XmlNodeList* list) {
    if (!list) return;
    free(list->items);
    list->items = nullptr;
    list->count = 0;
    list->capacity = 0;
}

// Reads an optional axis prefix and a name from text (zero-terminated, at
// most a step long) into axis and name. The name stays "*" when nothing
// follows the prefix or a "[" does; otherwise it runs up to "[", "=", "]",
// white space or the end, and may be empty. Returns the characters consumed.
static int32_t XmlParseAxisName(const char* text, XmlAxis* axis, char* name, int32_t* nameLength) {
    int32_t position = 0;
    if (text[0] == '@') {
        *axis = AxisAttribute;
        position = 1;
    } else if (strncmp(text, "attribute::", 11) == 0) {
        *axis = AxisAttribute;
        position = 11;
    } else if (strncmp(text, "child::", 7) == 0) {
        *axis = AxisChild;
        position = 7;
    } else if (strncmp(text, "parent::", 8) == 0) {
        *axis = AxisParent;
        position = 8;
    } else {
        *axis = AxisDefault;
    }
    XmlSetText(name, nameLength, "*", 1);
    if (text[position] == '\0' || text[position] == '[') return position;
    int32_t start = position;
    while (text[position] != '\0' && text[position] != '[' && text[position] != '=' &&
           text[position] != ']' && !XmlIsSpace(text[position])) {
        ++position;
    }
    XmlSetText(name, nameLength, text + start, position - start);
    return position;
}

// Reads a predicate from text, which starts at its "[". The closing "]" is
// not needed and anything after the test is ignored. Returns 0, or -1 when a
// value's delimiter does not occur again.
static int32_t XmlParsePredicate(const char* text, XmlPathPredicate* predicate) {
    int32_t position = 1;
    position += XmlParseAxisName(text + position, &predicate->axis, predicate->testName,
                                 &predicate->testNameLength);
    predicate->hasValue = 0;
    XmlSetText(predicate->testValue, &predicate->testValueLength, "", 0);
    while (XmlIsSpace(text[position])) ++position;
    if (text[position] != '=') return 0;
    ++position;
    while (XmlIsSpace(text[position])) ++position;
    predicate->hasValue = 1;
    if (text[position] == '\0') return 0;
    char delimiter = text[position];
    const char* value = text + position + 1;
    const char* close = strchr(value, delimiter);
    if (!close) return -1;
    XmlSetText(predicate->testValue, &predicate->testValueLength, value,
            static_cast<int32_t>(close - value));
    return 0;
}

// Reads one step (zero-terminated, already cut at "/"). A predicate counts
// only right after the name: "gvar [@action]" is the plain step "gvar".
// Returns 0, or -1 when the predicate fails.
static int32_t XmlParseStep(const char* text, XmlPathStep* step) {
    int32_t position = XmlParseAxisName(text, &step->axis, step->nameTest, &step->nameTestLength);
    step->hasPredicate = 0;
    if (text[position] != '[') return 0;
    if (XmlParsePredicate(text + position, &step->predicate) != 0) return -1;
    step->hasPredicate = 1;
    return 0;
}

// Whether the predicate holds for the candidate. A value test on the child
// axis looks at the text child only. A parent test with a value holds for
// any candidate that has a parent; nothing relies on it comparing more.
static bool XmlTestPredicate(XmlNode* node, const XmlPathPredicate* predicate) {
    switch (predicate->axis) {
    case AxisDefault:
    case AxisChild:
        for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
            if (!XmlNameEquals(child, predicate->testName)) continue;
            if (!predicate->hasValue) return true;
            if (!XmlElementOf(child)) continue;
            XmlNode* text = XmlGetText(child);
            if (text && XmlValueEquals(text->name, text->nameLength, predicate->testValue,
                                    predicate->testValueLength)) {
                return true;
            }
        }
        return false;
    case AxisParent:
        if (!node->parent) return false;
        return predicate->hasValue || XmlNameEquals(node->parent, predicate->testName);
    case AxisAttribute: {
        XmlElementData* data = XmlElementOf(node);
        if (!data) return false;
        for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
            if (!XmlNameEquals(attribute, predicate->testName)) continue;
            if (!predicate->hasValue) return true;
            XmlAttributeData* value = static_cast<XmlAttributeData*>(attribute->data);
            if (value && XmlValueEquals(value->value, value->valueLength, predicate->testValue,
                                     predicate->testValueLength)) {
                return true;
            }
        }
        return false;
    }
    }
    return false;
}

// Appends the candidate to list when it passes the step's name test and
// predicate.
static void XmlSelectCandidate(XmlNode* node, const XmlPathStep* step, XmlNodeList* list) {
    bool any = step->nameTest[0] == '*' && step->nameTest[1] == '\0';
    if (!any && !XmlNameEquals(node, step->nameTest)) return;
    if (step->hasPredicate && !XmlTestPredicate(node, &step->predicate)) return;
    XmlNodeListAppend(list, node);
}

// Children of every kind, in sibling order; attributes are not children.
static void XmlSelectChildren(XmlNode* node, const XmlPathStep* step, XmlNodeList* list) {
    for (XmlNode* child = node->firstChild; child; child = child->nextSibling) {
        XmlSelectCandidate(child, step, list);
    }
}

static void XmlSelectParent(XmlNode* node, const XmlPathStep* step, XmlNodeList* list) {
    if (node->parent) XmlSelectCandidate(node->parent, step, list);
}

// Only an element with its record has attributes.
static void XmlSelectAttributes(XmlNode* node, const XmlPathStep* step, XmlNodeList* list) {
    XmlElementData* data = XmlElementOf(node);
    if (!data) return;
    for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
        XmlSelectCandidate(attribute, step, list);
    }
}

// Appends what one step selects from the context node; none selects nothing.
static void XmlEvalStep(XmlNode* context, const XmlPathStep* step, XmlNodeList* list) {
    if (!context) return;
    switch (step->axis) {
    case AxisDefault:
    case AxisChild:
        XmlSelectChildren(context, step, list);
        break;
    case AxisParent:
        XmlSelectParent(context, step, list);
        break;
    case AxisAttribute:
        XmlSelectAttributes(context, step, list);
        break;
    }
}

// Cuts the first step off path, parses it and evaluates it on context into
// a new working list, *matches, which the caller frees. *rest is the text
// after the "/" that ended the step, or null after the last step. Returns 0,
// also for an empty step (which selects nothing), or -1 when the step is too
// long or its predicate cannot be read.
static int32_t XmlRunStep(XmlNode* context, const char* path, XmlNodeList* matches,
                          const char** rest) {
    matches->items = nullptr;
    matches->count = 0;
    matches->capacity = 0;
    const char* slash = strchr(path, '/');
    *rest = slash ? slash + 1 : nullptr;
    size_t length = slash ? static_cast<size_t>(slash - path) : strlen(path);
    if (length == 0) return 0;  // no absolute paths and no descendant steps
    if (length >= static_cast<size_t>(STEP_BUFFER_SIZE)) return -1;
    char text[STEP_BUFFER_SIZE];
    memcpy(text, path, length);
    text[length] = '\0';

    XmlPathStep step;
    if (XmlParseStep(text, &step) != 0) return -1;
    matches->items = static_cast<XmlNode**>(malloc(WORKING_LIST_CAPACITY * sizeof(XmlNode*)));
    matches->capacity = matches->items ? WORKING_LIST_CAPACITY : 0;
    XmlEvalStep(context, &step, matches);
    return 0;
}

// One step's matches, the next one to follow, and the path after the step.
struct XmlStepFrame {
    XmlNodeList matches;
    uint32_t next;
    const char* rest;
};

int32_t XmlSelectNodes(XmlNode* context, const char* path, XmlNodeList* list) {
    if (!path || path[0] == '\0' || !list) return -1;
    XmlStepFrame first;
    first.next = 0;
    if (XmlRunStep(context, path, &first.matches, &first.rest) != 0) {
        XmlNodeListFree(&first.matches);
        return -1;
    }

    // Depth-first over the steps with a stack of frames on the heap rather
    // than one call per step, so that a long path cannot exhaust the stack.
    // A frame is pushed for each match of a step that has steps after it.
    XmlStepFrame* frames = static_cast<XmlStepFrame*>(malloc(sizeof(XmlStepFrame)));
    if (!frames) {
        XmlNodeListFree(&first.matches);
        return 0;
    }
    size_t depth = 1;
    size_t room = 1;
    frames[0] = first;
    while (depth > 0) {
        XmlStepFrame* top = &frames[depth - 1];
        if (top->next == top->matches.count) {
            XmlNodeListFree(&top->matches);
            --depth;
            continue;
        }
        XmlNode* node = top->matches.items[top->next++];
        if (!top->rest) {
            XmlNodeListAppend(list, node);
            continue;
        }
        XmlStepFrame frame;
        frame.next = 0;
        // A later step that cannot be read only adds nothing on this route.
        if (XmlRunStep(node, top->rest, &frame.matches, &frame.rest) != 0 ||
            frame.matches.count == 0) {
            XmlNodeListFree(&frame.matches);
            continue;
        }
        if (depth == room) {
            XmlStepFrame* grown = room > SIZE_MAX / 2 / sizeof(XmlStepFrame)
                                      ? nullptr
                                      : static_cast<XmlStepFrame*>(
                                            realloc(frames, 2 * room * sizeof(XmlStepFrame)));
            if (!grown) {  // out of memory: this route adds nothing
                XmlNodeListFree(&frame.matches);
                continue;
            }
            frames = grown;
            room *= 2;
        }
        frames[depth++] = frame;
    }
    free(frames);
    return 0;
}

XmlNode* XmlFindAttribute(XmlNode* node, const char* name) {
    XmlElementData* data = XmlElementOf(node);
    if (!data || !name) return nullptr;
    for (XmlNode* attribute = data->firstAttribute; attribute; attribute = attribute->nextSibling) {
        if (XmlNameEquals(attribute, name)) return attribute;
    }
    return nullptr;
}
