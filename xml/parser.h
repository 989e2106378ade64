// parser.h - the recursive-descent parser behind the parse handler table.
#pragma once

#include "model.h"
