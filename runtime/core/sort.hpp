// Sorting arrays of fixed-size items in place: the adaptive quicksort behind
// `sort` of blocks and strings, and the stable merge sort behind `sort/stable`.
// Items are cells, code units or records of either; the caller supplies the
// order as a comparator and the two words it needs (flags, a function value).
#pragma once
#include <cstdint>

namespace ixo::sort {

// Negative when the item at `a` sorts before the item at `b`, 0 when they
// are equal, positive when after. The context words come unchanged from the
// sort's caller. A comparator may raise a language error: it unwinds through
// the sort, leaving the array a permutation of its items.
using comparator = int32_t (*)(const void* a, const void* b, intptr_t context1, intptr_t context2);

// Sorts `n` items of `width` bytes ascending. Presorted and reverse-sorted
// input costs one scan; long ordered runs are gathered before partitioning.
// Not stable.
void qsort(void* base, int32_t n, int32_t width, intptr_t context1, intptr_t context2,
           comparator compare);

// The partitioning quicksort under qsort. `hint` tells where an ordered
// sample already lies: h > 0, the first h items are in order; h < 0, the
// last -h. |hint| is at most n.
void qsort_core(void* base, int32_t hint, int32_t n, int32_t width, intptr_t context1,
                intptr_t context2, comparator compare);

// Stable natural merge sort with the Powersort merge policy. Takes a buffer
// of n / 2 items from the tracked heap: a size beyond 32 bits raises
// `script`/`too-long`, a heap without room `internal`/`no-memory`.
void mergesort(void* base, int32_t n, int32_t width, intptr_t context1, intptr_t context2,
               comparator compare);

}  // namespace ixo::sort
