// heap_counter.h - peak live heap bytes of a stretch of code, counted by
// standing in for the C library's allocator in the benchmark binary.
#pragma once

#include <cstddef>

// Starts counting from zero live bytes. Only one window at a time.
void HeapCountStart();
// Stops counting; returns the highest number of live bytes (usable sizes of
// blocks allocated minus blocks freed) reached since HeapCountStart.
size_t HeapCountStop();
// The allocating calls (malloc, calloc, realloc, the aligned forms) of the
// last window, each of which costs the allocator's work however small.
size_t HeapCountCalls();
// Whether the allocator stand-ins are active in this binary (a sanitiser or
// a static C library would bypass them).
bool HeapCountWorks();
