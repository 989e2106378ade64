// query.cpp - placeholder until path queries exist.
#include "query.h"
