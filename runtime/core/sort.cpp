// The two sorts: the adaptive quicksort (a scan for presorted input, a sample
// of every 97th pair, absorption of long runs, then a three-way quicksort
// whose pivots come from an ordered sample it keeps reusing) and the stable
// Powersort merge sort. Both see the array only through the comparator and
// item swaps and copies.
#include "runtime/core/sort.hpp"

#include <cstddef>
#include <cstring>

#include "runtime/interpreter/fire.hpp"
#include "startup/system/heap.hpp"

namespace ixo::sort {

namespace {

int32_t sign(int32_t r) { return (r > 0) - (r < 0); }

void swap_bytes(unsigned char* a, unsigned char* b, int32_t width) {
  if (width % 4 == 0) {
    for (int32_t k = 0; k < width; k += 4) {
      uint32_t x, y;
      std::memcpy(&x, a + k, 4);
      std::memcpy(&y, b + k, 4);
      std::memcpy(a + k, &y, 4);
      std::memcpy(b + k, &x, 4);
    }
  } else {
    for (int32_t k = 0; k < width; ++k) {
      unsigned char t = a[k];
      a[k] = b[k];
      b[k] = t;
    }
  }
}

// The array being sorted and the order it is sorted by; items by index.
struct items {
  unsigned char* base;
  int32_t width;
  intptr_t context1, context2;
  comparator compare_fn;

  unsigned char* at(int32_t i) const { return base + static_cast<ptrdiff_t>(i) * width; }
  int32_t compare(int32_t i, int32_t j) const { return compare_fn(at(i), at(j), context1, context2); }
  void swap(int32_t i, int32_t j) const { swap_bytes(at(i), at(j), width); }
  items from(int32_t i) const { return {at(i), width, context1, context2, compare_fn}; }
};

void reverse(const items& v, int32_t start, int32_t end) {
  for (int32_t i = start, j = end - 1; i < j; ++i, --j) v.swap(i, j);
}

// Moves `count` items from `src` to `dest` keeping their order, exchanging
// them with what is there. The ranges may overlap: the items then rotate
// with the ones in between, which is why the walk goes away from the side
// it writes to.
void swap_block(const items& v, int32_t dest, int32_t src, int32_t count) {
  if (dest < src) {
    for (int32_t k = 0; k < count; ++k) v.swap(dest + k, src + k);
  } else {
    for (int32_t k = count - 1; k >= 0; --k) v.swap(dest + k, src + k);
  }
}

void insertion_sort(const items& v, int32_t n) {
  for (int32_t x = 1; x < n; ++x)
    for (int32_t y = x; y > 0 && v.compare(y - 1, y) > 0; --y) v.swap(y - 1, y);
}

void core(const items& v, int32_t h, int32_t n) {
  while (n > 7) {
    int32_t a = h < 0 ? -h : h;
    int32_t m = n;  // this pass partitions items 0 .. m-1
    // After the set-up: items 0 .. low-1 are sample items not above the
    // pivot, the pivot is item `low`, the last `high` of the m items are
    // sample items not below it, and the items between are partitioned.
    int32_t low, high;
    if (a < 3) {
      if (n > 511) m = 63;
      v.swap(m / 2, 1);
      if (v.compare(1, 0) < 0) v.swap(0, 1);
      if (v.compare(m - 1, 1) < 0) {
        v.swap(1, m - 1);
        if (v.compare(1, 0) < 0) v.swap(0, 1);
      }
      low = 1;
      high = 1;
    } else {
      // A small sample first sorts a larger one: 16 items per sample item.
      if (a <= n / 256) m = 16 * a - 1;
      low = (a - 1) / 2;
      high = a / 2;
      if (h < 0) {
        if (m < n) {
          swap_block(v, 0, n - a, a);
          h = a;
        } else {
          swap_block(v, 0, n - a, a - high);  // the upper half stays at the back
        }
      }
      if (h > 0) {
        if (m < n) {
          int32_t stride = n / m;
          for (int32_t j = 0; j < m - a; ++j) v.swap(a + j, a + j * stride);
        }
        swap_block(v, m - high, a - high, high);
      }
    }

    // Three-way partition of low+1 .. m-high-1 around the pivot: items equal
    // to it gather in [low+1, equal_end), then come the items below it up to
    // i, and the items above it from j+1 on.
    const int32_t pivot = low;
    int32_t equal_end = pivot + 1;
    int32_t i = pivot + 1, j = m - high - 1;
    for (;;) {
      while (i <= j) {
        int32_t r = v.compare(i, pivot);
        if (r > 0) break;
        if (r == 0) v.swap(i, equal_end++);
        ++i;
      }
      int32_t r = 0;
      while (i <= j) {
        r = v.compare(j, pivot);
        if (r <= 0) break;
        --j;
      }
      if (i > j) break;
      v.swap(i, j);
      if (r == 0) v.swap(i, equal_end++);
      ++i;
      --j;
    }
    // The pivot and its equals go between the items below and above.
    int32_t equal = equal_end - pivot, below = i - equal_end;
    int32_t moved = equal < below ? equal : below;
    swap_block(v, pivot, i - moved, moved);

    int32_t upper = m - i;  // items above, then the upper sample
    if (upper > high) core(v.from(i), -high, upper);
    int32_t lower = low + below;  // the lower sample, then items below
    if (m < n) {
      if (lower > low) core(v, low, lower);
      h = m;  // the m sorted items are the next pass's sample
    } else {
      if (lower <= low) return;
      n = lower;
      h = low;
    }
  }
  insertion_sort(v, n);
}

}  // namespace

void qsort_core(void* base, int32_t hint, int32_t n, int32_t width, intptr_t context1,
                intptr_t context2, comparator compare) {
  core({static_cast<unsigned char*>(base), width, context1, context2, compare}, hint, n);
}

void qsort(void* base, int32_t n, int32_t width, intptr_t context1, intptr_t context2,
           comparator compare) {
  if (n < 2) return;
  const items v{static_cast<unsigned char*>(base), width, context1, context2, compare};

  // The ordered prefix 0 .. k-1: ascending (dir 1) or descending (dir -1),
  // set by the first unequal pair.
  int32_t dir = 0, k = 1;
  for (; k < n; ++k) {
    int32_t s = sign(v.compare(k - 1, k));
    if (dir == 0) dir = -s;
    else if (s * dir > 0) break;
  }

  // A sample of every 97th pair past the prefix votes on the direction.
  int32_t score = dir * k;
  for (int32_t j = k + 1; j < n; j += 97) score -= sign(v.compare(j - 1, j));

  int32_t p = k;  // prefix length
  if ((score < 0 ? -score : score) > n / 512) {
    if (dir * score < 0) {
      p = 0;
      dir = -dir;
    }
    // Absorb runs in direction dir found at probes 10 items apart.
    for (int32_t probe = p + 10; probe < n;) {
      int32_t end = probe + 1;
      while (end < n && sign(v.compare(end - 1, end)) * dir <= 0) ++end;
      int32_t start = probe;
      while (start > p && sign(v.compare(start - 1, start)) * dir <= 0) --start;
      probe = end + 10;
      if (end - start < 4) continue;
      if (p > 0) {
        // The joined run must continue the prefix's order: trim both sides
        // until the prefix's last item and the run's first are in order,
        // giving up on the run when the first m pairs all are not (so a
        // prefix of fewer than four items never takes a run).
        int32_t half_run = (end - start) / 2, quarter_prefix = p / 4;
        int32_t m = half_run < quarter_prefix ? half_run : quarter_prefix;
        int32_t t = 0;
        while (t < m && sign(v.compare(p - 1 - t, start + t)) * dir > 0) ++t;
        if (t == m) continue;
        p -= t;
        start += t;
      }
      if (start != p) swap_block(v, p, start, end - start);
      p += end - start;
    }
  }

  if (dir < 0) reverse(v, 0, p);
  if (p < n) core(v, p, n);
}

namespace {

// At most floor(log2 n) + 1 runs wait on the stack (their powers strictly
// increase from the bottom); 32 entries cover every 32-bit count.
constexpr int max_pending_runs = 32;

struct pending_run {
  int32_t start;
  int32_t power;
};

// The merge buffer, returned to the tracked heap however the sort ends.
struct merge_buffer {
  unsigned char* bytes;
  ~merge_buffer() { heap::free_tracked(bytes); }
};

void copy_items(unsigned char* to, const unsigned char* from, int32_t count, int32_t width) {
  std::memcpy(to, from, static_cast<size_t>(count) * static_cast<size_t>(width));
}

// Finds the run starting at s, reverses it when strictly descending, and
// lengthens a short one to 24 items by insertion. Answers its end.
int32_t take_run(const items& v, int32_t s, int32_t n) {
  int32_t e = s + 1;
  if (e < n) {
    if (v.compare(s, e) > 0) {
      for (++e; e < n && v.compare(e - 1, e) > 0;) ++e;
      reverse(v, s, e);
    } else {
      for (++e; e < n && v.compare(e - 1, e) <= 0;) ++e;
    }
  }
  int32_t least = n - s < 24 ? n : s + 24;
  for (; e < least; ++e)
    for (int32_t y = e; y > s && v.compare(y - 1, y) > 0; --y) v.swap(y - 1, y);
  return e;
}

// The power of the boundary between [s1, s2) and [s2, e2): one more than
// the number of leading bits that the two runs' midpoints, as fractions of
// n, share.
int32_t boundary_power(int32_t s1, int32_t s2, int32_t e2, int32_t n) {
  int64_t a = int64_t{s1} + s2, b = int64_t{s2} + e2;
  int32_t power = 1;
  while ((a >= n) == (b >= n)) {
    if (a >= n) {
      a -= n;
      b -= n;
    }
    a *= 2;
    b *= 2;
    ++power;
  }
  return power;
}

// Runs its function when the scope ends, normally or by an error.
template <class F>
struct at_exit {
  F run;
  ~at_exit() { run(); }
};
template <class F>
at_exit(F) -> at_exit<F>;

// Merges [lo, mid) with [mid, hi) through the buffer, copying the shorter
// run out. Ties take the left run's item first. However the merge ends, a
// comparator error included, the buffered items not yet placed go into the
// gap left for them, so no item is lost or doubled.
void merge(const items& v, unsigned char* buffer, int32_t lo, int32_t mid, int32_t hi) {
  const int32_t w = v.width;
  auto buffered = [&](int32_t k) { return buffer + static_cast<ptrdiff_t>(k) * w; };
  auto before = [&](const unsigned char* a, const unsigned char* b) {
    return v.compare_fn(a, b, v.context1, v.context2) <= 0;
  };
  if (hi - mid < mid - lo) {
    // Right run buffered; merge from the back. The gap is i+1 .. d.
    copy_items(buffer, v.at(mid), hi - mid, w);
    int32_t i = mid - 1, j = hi - mid - 1, d = hi - 1;
    at_exit place_rest{[&] { copy_items(v.at(i + 1), buffer, j + 1, w); }};
    for (; i >= lo && j >= 0; --d) {
      if (before(v.at(i), buffered(j))) copy_items(v.at(d), buffered(j--), 1, w);
      else copy_items(v.at(d), v.at(i--), 1, w);
    }
  } else {
    // Left run buffered; merge from the front. The gap is d .. j-1.
    const int32_t left = mid - lo;
    copy_items(buffer, v.at(lo), left, w);
    int32_t i = 0, j = mid, d = lo;
    at_exit place_rest{[&] { copy_items(v.at(d), buffered(i), left - i, w); }};
    for (; i < left && j < hi; ++d) {
      if (before(buffered(i), v.at(j))) copy_items(v.at(d), buffered(i++), 1, w);
      else copy_items(v.at(d), v.at(j++), 1, w);
    }
  }
}

}  // namespace

void mergesort(void* base, int32_t n, int32_t width, intptr_t context1, intptr_t context2,
               comparator compare) {
  if (n <= 1) return;
  int64_t size = int64_t{n / 2} * width;
  if (size > INT32_MAX) fire(err::script_too_long);
  merge_buffer buffer{static_cast<unsigned char*>(heap::try_alloc_tracked(static_cast<int32_t>(size)))};
  if (!buffer.bytes) fire(err::internal_no_memory);

  const items v{static_cast<unsigned char*>(base), width, context1, context2, compare};
  pending_run stack[max_pending_runs] = {};
  int top = 0;
  int32_t s1 = 0, e1 = take_run(v, 0, n);
  while (e1 < n) {
    int32_t e2 = take_run(v, e1, n);
    int32_t power = boundary_power(s1, e1, e2, n);
    while (top > 0 && stack[top - 1].power > power) {
      --top;
      merge(v, buffer.bytes, stack[top].start, s1, e1);
      s1 = stack[top].start;
    }
    stack[top++] = {s1, power};
    s1 = e1;
    e1 = e2;
  }
  while (top > 0) {
    --top;
    merge(v, buffer.bytes, stack[top].start, s1, n);
    s1 = stack[top].start;
  }
}

}  // namespace ixo::sort
