// parser.cpp - placeholder until the parser exists.
#include "parser.h"
