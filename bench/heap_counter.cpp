// heap_counter.cpp - malloc, calloc, realloc, free and the aligned forms
// defined here win over the C library's for the whole process, shared peer
// libraries included, and forward to its internal entry points. Counting
// costs one branch while no window is open, so timings are not skewed.
#include "heap_counter.h"

#include <malloc.h>

#include <cerrno>
#include <cstdint>

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* block, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* block);
}

namespace {

// The benchmarks run on one thread; the window is never open elsewhere.
bool counting = false;
int64_t live_bytes = 0;
int64_t peak_bytes = 0;
size_t calls = 0;

inline void Count(void* block, bool allocated) {
    if (allocated) ++calls;
    if (!block) return;
    int64_t size = static_cast<int64_t>(malloc_usable_size(block));
    live_bytes += allocated ? size : -size;
    if (live_bytes > peak_bytes) peak_bytes = live_bytes;
}

}  // namespace

extern "C" {

void* malloc(size_t size) {
    void* block = __libc_malloc(size);
    if (counting) Count(block, true);
    return block;
}

void* calloc(size_t count, size_t size) {
    void* block = __libc_calloc(count, size);
    if (counting) Count(block, true);
    return block;
}

void* realloc(void* block, size_t size) {
    if (!counting) return __libc_realloc(block, size);
    size_t old_size = block ? malloc_usable_size(block) : 0;
    void* moved = __libc_realloc(block, size);
    if (moved || (block && size == 0)) {  // on failure the old block stays
        live_bytes -= static_cast<int64_t>(old_size);
        Count(moved, true);
    }
    return moved;
}

void free(void* block) {
    if (counting) Count(block, false);
    __libc_free(block);
}

void* memalign(size_t alignment, size_t size) {
    void* block = __libc_memalign(alignment, size);
    if (counting) Count(block, true);
    return block;
}

void* aligned_alloc(size_t alignment, size_t size) { return memalign(alignment, size); }

int posix_memalign(void** result, size_t alignment, size_t size) {
    if (alignment % sizeof(void*) != 0 || (alignment & (alignment - 1)) != 0) return EINVAL;
    void* block = memalign(alignment, size);
    if (!block) return ENOMEM;
    *result = block;
    return 0;
}

}  // extern "C"

void HeapCountStart() {
    live_bytes = 0;
    peak_bytes = 0;
    calls = 0;
    counting = true;
}

size_t HeapCountStop() {
    counting = false;
    return peak_bytes > 0 ? static_cast<size_t>(peak_bytes) : 0;
}

size_t HeapCountCalls() { return calls; }

bool HeapCountWorks() {
    HeapCountStart();
    // volatile keeps the compiler from pairing and removing the calls.
    void* volatile block = malloc(1000);
    free(block);
    return HeapCountStop() >= 1000;
}
