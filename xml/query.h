// query.h - path queries over a document tree and attribute look-up.
// Paths are steps cut at "/", each an axis, a name test and one predicate.
#pragma once

#include <cstdint>

#include "model.h"

// Nodes selected by a query, in selection order. The list refers to nodes
// that stay owned by their document; it owns only its items array. A list
// starts as {nullptr, 0, 0} or as left by these functions.
struct XmlNodeList {
    XmlNode** items;
    uint32_t count;     // entries in use
    uint32_t capacity;  // entries the array can hold
};

// Stores node at items[count]. A full list grows by half; one with no room
// to speak of (capacity 0 or 1) grows to 32 entries, or count + 1 if more.
// When the array cannot grow the list keeps its entries and node is dropped.
// A null list does nothing.
void XmlNodeListAppend(XmlNodeList* list, XmlNode* node);

// Frees the list's array and leaves it empty with no room. Null is ok.
void XmlNodeListFree(XmlNodeList* list);

// Appends to list every node that path reaches from context, depth-first:
// all nodes reached through one match of a step come before those reached
// through the next, and a node reached along several routes is appended once
// per route. The list is never cleared. A step is
//   [axis] name ["[" [axis] name [ "=" delimiter value delimiter ] "]"]
// with axis "@", "attribute::", "child::" or "parent::" and "*" for any name.
// Returns 0 when the path was evaluated, matches or not; a null context
// selects nothing. Returns -1, appending nothing, for a null or empty path,
// a null list, a first step of 128 characters or more, or a first step whose
// predicate value has no closing delimiter; the same faults in a later step
// only select nothing.
int32_t XmlSelectNodes(XmlNode* context, const char* path, XmlNodeList* list);

// The element's first attribute named name (case-sensitive), or null when
// node is not an element, or name is null or not found.
XmlNode* XmlFindAttribute(XmlNode* node, const char* name);
