// query.h - path queries over a document tree and attribute look-up.
#pragma once

#include <cstdint>

#include "model.h"
