#ifndef BENCH_ALLOC_COUNTER_H
#define BENCH_ALLOC_COUNTER_H

// Counts heap allocations of the whole process: malloc, calloc and realloc
// are replaced here and hand on to the C library's own allocator. Qt's
// containers allocate with malloc and operator new ends in malloc, so every
// allocation of the driver, the plug-in and Qt passes through here.
//
// Include this header in exactly one translation unit of a program.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" {
void *__libc_malloc(std::size_t size);
void *__libc_calloc(std::size_t count, std::size_t size);
void *__libc_realloc(void *pointer, std::size_t size);
void __libc_free(void *pointer);
}

namespace alloc_counter {

// Only the benchmark thread reads the count; relaxed increments suffice.
inline std::atomic<std::uint64_t> &calls()
{
    static std::atomic<std::uint64_t> count{0};
    return count;
}

inline std::uint64_t count() { return calls().load(std::memory_order_relaxed); }

} // namespace alloc_counter

extern "C" {

void *malloc(std::size_t size) noexcept
{
    alloc_counter::calls().fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(size);
}

void *calloc(std::size_t count, std::size_t size) noexcept
{
    alloc_counter::calls().fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(count, size);
}

// A realloc counts as one allocation: it may move the block.
void *realloc(void *pointer, std::size_t size) noexcept
{
    alloc_counter::calls().fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(pointer, size);
}

void free(void *pointer) noexcept { __libc_free(pointer); }

} // extern "C"

#endif // BENCH_ALLOC_COUNTER_H
