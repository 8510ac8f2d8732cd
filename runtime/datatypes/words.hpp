// The runtime word tables: the symbols, global words, global-context slots
// and refinement values that the runtime's own code compares against
// (action and event names, parse keywords, object and date fields, error
// categories). Start-up fills them once, while the boot flag is set, so
// that every word cell here is a copy in the root block, whose cells never
// move.
//
// Names follow the spellings: "-" becomes "_", "?" "_q", "!" "_type"; the
// tag-like words (<anon>...) drop their angle brackets; "|" is bar, "-"
// minus and any-type! any_type; a spelling kept in two globals numbers the
// second.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::words {

constexpr int32_t SYMBOL_COUNT = 111;
constexpr int32_t INDEX_COUNT = 26;
constexpr int32_t WORD_COUNT = 105;

// Symbol ids.
extern int32_t sym_spec, sym_body, sym_words, sym_class, sym_logic_type, sym_integer_type,
    sym_char_type, sym_float_type, sym_percent_type, sym_any_type, sym_exit, sym_return,
    sym_windows, sym_syllable, sym_macos, sym_linux, sym_netbsd, sym_repeat, sym_foreach,
    sym_map_each, sym_remove_each, sym_any, sym_break, sym_copy, sym_end, sym_fail, sym_into,
    sym_opt, sym_not, sym_quote, sym_case, sym_reject, sym_set, sym_skip, sym_some, sym_thru,
    sym_to, sym_none, sym_bar, sym_minus, sym_if, sym_remove, sym_while, sym_insert, sym_only,
    sym_collect, sym_keep, sym_pick, sym_ahead, sym_after, sym_x, sym_y, sym_z, sym_self,
    sym_values, sym_owner, sym_owned, sym_events_q, sym_true, sym_false, sym_yes, sym_no, sym_on,
    sym_off, sym_type, sym_face, sym_window, sym_offset, sym_key, sym_flag, sym_code, sym_picked,
    sym_flags, sym_away_q, sym_ctrl_q, sym_shift_q, sym_down_q, sym_mid_down_q, sym_alt_down_q,
    sym_aux_down_q, sym_orientation, sym_get, sym_put, sym_post, sym_head, sym_size, sym_rgb,
    sym_alpha, sym_argb, sym_date, sym_year, sym_month, sym_day, sym_zone, sym_isoweek, sym_week,
    sym_weekday, sym_yearday, sym_julian, sym_time, sym_hour, sym_minute, sym_second, sym_timezone,
    sym_amount, sym_user, sym_host, sym_system, sym_system_global, sym_trace, sym_no_trace;
// The symbol of the word `changed`.
extern int32_t sym_changed;

// Slots of the global context, added by exact spelling.
extern int32_t index_windows, index_syllable, index_macos, index_linux, index_netbsd, index_to,
    index_thru, index_not, index_remove, index_while, index_collect, index_keep, index_ahead,
    index_bar, index_any, index_some, index_copy, index_opt, index_into, index_insert, index_if,
    index_quote, index_collect2, index_set, index_case, index_end;

// Words of the global context.
extern cell *word_at, *word_back, *word_find, *word_head, *word_head_q, *word_index_q,
    *word_length_q, *word_next, *word_pick, *word_skip, *word_select, *word_tail, *word_tail_q,
    *word_change, *word_changed, *word_clear, *word_cleared, *word_set_path, *word_append,
    *word_appended, *word_move, *word_moved, *word_poke, *word_poked, *word_put, *word_put_ed,
    *word_removed, *word_random, *word_randomized, *word_reverse, *word_reversed, *word_sort,
    *word_sorted, *word_swap, *word_swaped, *word_take, *word_taken, *word_trim, *word_trimmed,
    *word_inserted, *word_uppercase, *word_lowercase, *word_checksum, *word_push, *word_pop,
    *word_fetch, *word_match, *word_iterate, *word_paren, *word_anon, *word_body, *word_not_found,
    *word_add, *word_subtract, *word_divide, *word_on_parse_event, *word_on_change,
    *word_on_deep_change, *word_type, *word_id, *word_try, *word_catch, *word_name, *word_multiply,
    *word_browse, *word_open, *word_create, *word_close, *word_delete, *word_modify, *word_query,
    *word_read, *word_rename, *word_update, *word_write, *word_prescan, *word_scan, *word_load,
    *word_error, *word_comment, *word_init, *word_exec, *word_call, *word_return, *word_enter,
    *word_exit, *word_prolog, *word_epilog, *word_throw, *word_expr, *word_interp_callback,
    *word_lexer_callback, *word_parse_callback, *word_compare_callback, *word_throw2, *word_note,
    *word_syntax, *word_script, *word_math, *word_access, *word_user, *word_internal,
    *word_invalid_error, *word_local, *word_applied;

// Interns the symbols, adds the global slots and makes the words, in this
// order.
void build();

}  // namespace ixo::words

namespace ixo::refinements {

constexpr int32_t REFINEMENT_COUNT = 6;

// Refinement values bound to no context: function specs are checked
// against local and extern; series actions compare their refinement
// arguments against part, skip and compare; checksum against with.
extern cell *local, *extern_, *compare, *part, *skip, *with;

void build();

}  // namespace ixo::refinements
