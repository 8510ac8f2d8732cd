// The reactivity routine: `check-relations`, the walk of system/reactivity's
// check over the relations store and the cascade queue. It finds the
// records of the changed reactor, queues and drains as the algorithm says
// (records of four values, sameness, done flags, the tail first), and runs
// each reaction through the context's own eval-reaction function, so that
// what a reaction does and how its errors are reported stays the
// language's.
#include "boot/routines.hpp"
#include "boot/routine_cells.hpp"

#include <algorithm>

#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/object.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/interpreter.hpp"
#include "runtime/interpreter/natives_compare.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/roots.hpp"

namespace ixo::boot {

namespace {

using block::rs_abs_at;
using block::rs_abs_cells;
using memory::root_guard;

constexpr int32_t RECORD = 4;

// The context's field names, interned on first use in each runtime.
struct reactivity_symbols {
  int32_t relations, queue, eval_reaction;
} rsyms{};

void intern_reactivity_symbols() {
  if (rsyms.relations) return;
  reactivity_symbols r{};
  r.queue = symbol::make("queue");
  r.eval_reaction = symbol::make("eval-reaction");
  r.relations = symbol::make("relations");
  rsyms = r;
}

// The field of the context; valid until the next allocation.
cell* field_of(const cell* ctx, int32_t symbol) {
  cell* c = field(ctx, symbol);
  if (!c) fire(err::script_invalid_arg, {*ctx});
  return c;
}

cell block_field(const cell* ctx, int32_t symbol) {
  cell* c = field_of(ctx, symbol);
  if (TYPE_OF(c) != TYPE_BLOCK) fire(err::script_invalid_arg, {*c});
  return *c;
}

bool empty_q(const cell* blk) { return index_of(blk) >= rs_abs_cells(blk); }

bool truthy(const cell* c) { return logic::value_true_q(c, false, nullptr); }

// find/same/skip from the block's index in steps of four: the position,
// or -1.
int32_t find_record(const cell* blk, const cell* reactor) {
  cell b = *blk;
  return block::find_value(&b, reactor, COMP_SAME, RECORD);
}

// pending?: whether a record of the queue holds the reactor and the very
// same reaction.
bool pending_q(const cell* queue, const cell* reactor, const cell* reaction) {
  cell q = *queue;
  for (int32_t p; (p = find_record(&q, reactor)) >= 0;) {
    cell held = cell_at(&q, p + 1);
    if (natives::same_value_q(&held, reaction)) return true;
    q.data1 = static_cast<uint32_t>(std::min(p + RECORD, rs_abs_cells(&q)));
  }
  return false;
}

void append_record(const cell* ctx, const cell* reactor, const cell* reaction, const cell* target, bool done) {
  cell queue = block_field(ctx, rsyms.queue);
  root_guard keep(&queue);
  cell flag = logic::make_cell(done);
  block::rs_append(&queue, reactor);
  block::rs_append(&queue, reaction);
  block::rs_append(&queue, target);
  block::rs_append(&queue, &flag);
}

// eval-reaction reactor reaction target, through the context's function.
void eval_reaction(const cell* ctx, const cell& reactor, const cell& reaction, const cell& target) {
  cell* base = stack::top;
  cell* function = stack::push(*field_of(ctx, rsyms.eval_reaction));
  stack::push(reactor);
  stack::push(reaction);
  stack::push(target);
  // The frame is named by the context's own word, as a call in its code
  // would name it (error reports list the calls by it).
  cell name{TYPE_WORD, ctx->data1, static_cast<uint32_t>(rsyms.eval_reaction), 0xFFFFFFFFu};
  name.data3 = static_cast<uint32_t>(object::field_index(ctx, &name));
  interpreter::call_value(function, &name, 3, interpreter::CALLBACK_NONE);
  stack::top = base;
}

// The cascade started by the first reaction: the queue is drained from its
// tail. A record whose run queued nothing is finished; one that queued
// others is marked done and stays until those have run.
void drain(const cell* ctx) {
  cell queue = block_field(ctx, rsyms.queue);
  root_guard keep(&queue);
  int32_t q = rs_abs_cells(&queue);
  do {
    q = std::max(0, q - RECORD);
    cell done = cell_at(&queue, q + 3);
    if (truthy(&done)) {
      block::rs_truncate(&queue, q);
    } else {
      cell reactor = cell_at(&queue, q), reaction = cell_at(&queue, q + 1), target = cell_at(&queue, q + 2);
      root_guard keep_reactor(&reactor), keep_reaction(&reaction), keep_target(&target);
      eval_reaction(ctx, reactor, reaction, target);
      if (q + RECORD >= rs_abs_cells(&queue)) {
        block::rs_truncate(&queue, q);
      } else {
        *rs_abs_at(&queue, q + 3) = logic::make_cell(true);
        q = rs_abs_cells(&queue);
      }
    }
  } while (q != 0);
  block::rs_clear(&queue);
}

}  // namespace

// check-relations ctx reactor only field: check's walk, for the reactivity
// context ctx; with only, the records of the field alone.
void check_relations() {
  intern_reactivity_symbols();
  cell* a = stack::arguments;
  const cell* ctx = a;
  const cell* reactor = a + 1;
  bool only = truthy(a + 2);
  const cell* field = a + 3;
  cell pos = block_field(ctx, rsyms.relations);
  root_guard keep_pos(&pos);
  if (empty_q(&pos)) {
    stack::set_last(unset::unset_value);
    return;
  }
  for (int32_t p; (p = find_record(&pos, reactor)) >= 0;) {
    pos.data1 = static_cast<uint32_t>(p);
    cell reaction = cell_at(&pos, p + 2);
    root_guard keep_reaction(&reaction);
    cell stored_field = cell_at(&pos, p + 1);
    bool wanted = !only || actions::compare(field, &stored_field, COMP_EQUAL);
    if (wanted) {
      cell queue = block_field(ctx, rsyms.queue);
      bool empty = empty_q(&queue);
      if (empty || !pending_q(&queue, reactor, &reaction)) {
        cell target = cell_at(&pos, p + 3);
        root_guard keep_target(&target);
        if (empty) {
          append_record(ctx, reactor, &reaction, &target, true);
          eval_reaction(ctx, *reactor, reaction, target);
          drain(ctx);
        } else {
          append_record(ctx, reactor, &reaction, &target, false);
        }
      }
    }
    pos.data1 = static_cast<uint32_t>(std::min(p + RECORD, rs_abs_cells(&pos)));
  }
  stack::set_last(unset::unset_value);
}

void init_reactivity_routines() {
  rsyms = reactivity_symbols{};
  routine::register_entry("check-relations", check_relations);
}

}  // namespace ixo::boot
