// parser.cpp - placeholder until the parser exists.
#include "parser.h"

const XmlEntity XmlEntities[5] = {
    {"&amp;", 5, '&'}, {"&lt;", 4, '<'}, {"&gt;", 4, '>'}, {"&quot;", 6, '"'}, {"&apos;", 6, '\''}};
