// The memory record, frames taken from and given back to the arena, and
// the turning of virtual-memory failures into language errors.
#include "runtime/memory/memory.hpp"

#include <algorithm>
#include <cstring>

#include "platform/posix/bindings.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/memory/node.hpp"
#include "runtime/memory/series_frame.hpp"
#include "startup/system/catch.hpp"
#include "startup/system/runtime_error.hpp"

namespace ixo {
int32_t boot_flag = 0;
int32_t collector_active = 0;
}  // namespace ixo

namespace ixo::memory {

memory_record record{};
void (*run_collector)() = nullptr;
bool collect_every_allocation = false;
uint64_t allocated_since_cycle = 0;
uint64_t live_after_cycle = 0;

namespace {

// IXO_GC_STRESS=after-boot: collect at every allocation once the boot code
// has run, so that a stress run does not pay for the boot under stress in
// every process it starts.
bool stress_after_boot = false;

// Every frame is preceded by the 32-bit size of its page run.
constexpr uint32_t SIZE_WORD = 4;

// The whole pages that a frame of `size` bytes takes, its size word included.
uint64_t run_size(uint64_t size) {
  return (size + SIZE_WORD + PAGE_SIZE - 1) & ~static_cast<uint64_t>(PAGE_SIZE - 1);
}

void decommit_run(uint32_t run) {
  uint32_t total = *address<uint32_t>(run);
  if (catch_site(FILTER_MEMORY, [&] { decommit_range(run, total); })) {
    system::clear_thrown();
    fire(err::internal_wrong_mem);
  }
}

}  // namespace

void init(uint64_t arena_size, uint64_t floor) {
  reserve_arena(arena_size, floor);
  record = {};
  record.initial_frame_size = 0x100000 - FRAME_OVERHEAD;
  record.next_frame_size = record.initial_frame_size;
  record.big_series_threshold = HUGE_PAGE_SIZE - FRAME_OVERHEAD;
  auto stress = platform::get_env("IXO_GC_STRESS");
  collect_every_allocation = stress && *stress == "1";
  stress_after_boot = stress && *stress == "after-boot";
  allocated_since_cycle = live_after_cycle = 0;
  system::release_on_exit = free_all_frames;
}

void boot_finished() {
  if (stress_after_boot) collect_every_allocation = true;
}

bool collection_due(int32_t need) {
  if (collect_every_allocation) return true;
  // The count already holds `need`; the arena does not yet.
  if (allocated_since_cycle >= std::max(COLLECT_FLOOR, live_after_cycle)) return true;
  return 2 * (static_cast<uint64_t>(record.bytes_in_use) + static_cast<uint64_t>(need)) >= arena_size();
}

double stats_in_use() {
  double total = 0;
  for (uint32_t f = record.node_frame_head; f; f = address<node_frame>(f)->next)
    total += 4.0 * address<node_frame>(f)->used_count;
  for (uint32_t f = record.series_frame_head; f; f = address<series_frame>(f)->next)
    total += address<series_frame>(f)->bump - (f + sizeof(series_frame));
  for (uint32_t f = record.big_frame_head; f; f = address<big_frame>(f)->next) total += address<big_frame>(f)->size;
  return total;
}

void* alloc_frame(uint64_t size, uint64_t align) {
  uint64_t total = run_size(size);
  uint32_t run = 0;
  auto commit = [&] { run = commit_range(total, align); };
  uint32_t failed = catch_site(FILTER_MEMORY, commit);
  if (failed && record.spare_count) {
    system::clear_thrown();
    release_spare_frames();
    failed = catch_site(FILTER_MEMORY, commit);
  }
  if (failed) {
    system::clear_thrown();
    fire(err::internal_no_memory);
  }
  // Before the first write, which would fault in a page of the ordinary size.
  if (align % HUGE_PAGE_SIZE == 0 && total % HUGE_PAGE_SIZE == 0) platform::prefer_huge_pages(address(run), total);
  *address<uint32_t>(run) = static_cast<uint32_t>(total);
  record.bytes_in_use += static_cast<uint32_t>(total);
  return address(run + SIZE_WORD);
}

void free_frame(void* frame) {
  uint32_t run = offset_of(frame) - SIZE_WORD;
  uint32_t total = *address<uint32_t>(run);
  decommit_run(run);
  record.bytes_in_use -= total;
}

void retire_frame(void* frame) {
  if (record.spare_count == SPARE_FRAMES) {
    free_frame(frame);
    return;
  }
  uint32_t run = offset_of(frame) - SIZE_WORD;
  record.bytes_in_use -= *address<uint32_t>(run);
  record.spare_frames[record.spare_count++] = run;
}

void* reuse_frame(uint64_t size) {
  uint64_t total = run_size(size);
  // The most recently kept first: its pages are the likeliest in cache.
  for (int32_t i = record.spare_count - 1; i >= 0; --i) {
    uint32_t run = record.spare_frames[i];
    if (*address<uint32_t>(run) != total) continue;
    --record.spare_count;
    for (int32_t j = i; j < record.spare_count; ++j) record.spare_frames[j] = record.spare_frames[j + 1];
    record.bytes_in_use += static_cast<uint32_t>(total);
    return address(run + SIZE_WORD);
  }
  return nullptr;
}

void release_spare_frames() {
  while (record.spare_count) decommit_run(record.spare_frames[--record.spare_count]);
}

void free_all_frames() {
  release_arena();
  record = {};
}

}  // namespace ixo::memory
