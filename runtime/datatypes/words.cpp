// The runtime word tables and their filling at start-up.
#include "runtime/datatypes/words.hpp"

#include <iterator>

#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/refinement.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/word.hpp"

namespace ixo::words {

int32_t sym_spec, sym_body, sym_words, sym_class, sym_logic_type, sym_integer_type, sym_char_type,
    sym_float_type, sym_percent_type, sym_any_type, sym_exit, sym_return, sym_windows,
    sym_syllable, sym_macos, sym_linux, sym_netbsd, sym_repeat, sym_foreach, sym_map_each,
    sym_remove_each, sym_any, sym_break, sym_copy, sym_end, sym_fail, sym_into, sym_opt, sym_not,
    sym_quote, sym_case, sym_reject, sym_set, sym_skip, sym_some, sym_thru, sym_to, sym_none,
    sym_bar, sym_minus, sym_if, sym_remove, sym_while, sym_insert, sym_only, sym_collect, sym_keep,
    sym_pick, sym_ahead, sym_after, sym_x, sym_y, sym_z, sym_self, sym_values, sym_owner,
    sym_owned, sym_events_q, sym_true, sym_false, sym_yes, sym_no, sym_on, sym_off, sym_type,
    sym_face, sym_window, sym_offset, sym_key, sym_flag, sym_code, sym_picked, sym_flags,
    sym_away_q, sym_ctrl_q, sym_shift_q, sym_down_q, sym_mid_down_q, sym_alt_down_q,
    sym_aux_down_q, sym_orientation, sym_get, sym_put, sym_post, sym_head, sym_size, sym_rgb,
    sym_alpha, sym_argb, sym_date, sym_year, sym_month, sym_day, sym_zone, sym_isoweek, sym_week,
    sym_weekday, sym_yearday, sym_julian, sym_time, sym_hour, sym_minute, sym_second, sym_timezone,
    sym_amount, sym_user, sym_host, sym_system, sym_system_global, sym_trace, sym_no_trace;
int32_t sym_changed;

int32_t index_windows, index_syllable, index_macos, index_linux, index_netbsd, index_to,
    index_thru, index_not, index_remove, index_while, index_collect, index_keep, index_ahead,
    index_bar, index_any, index_some, index_copy, index_opt, index_into, index_insert, index_if,
    index_quote, index_collect2, index_set, index_case, index_end;

cell *word_at, *word_back, *word_find, *word_head, *word_head_q, *word_index_q, *word_length_q,
    *word_next, *word_pick, *word_skip, *word_select, *word_tail, *word_tail_q, *word_change,
    *word_changed, *word_clear, *word_cleared, *word_set_path, *word_append, *word_appended,
    *word_move, *word_moved, *word_poke, *word_poked, *word_put, *word_put_ed, *word_removed,
    *word_random, *word_randomized, *word_reverse, *word_reversed, *word_sort, *word_sorted,
    *word_swap, *word_swaped, *word_take, *word_taken, *word_trim, *word_trimmed, *word_inserted,
    *word_uppercase, *word_lowercase, *word_checksum, *word_push, *word_pop, *word_fetch,
    *word_match, *word_iterate, *word_paren, *word_anon, *word_body, *word_not_found, *word_add,
    *word_subtract, *word_divide, *word_on_parse_event, *word_on_change, *word_on_deep_change,
    *word_type, *word_id, *word_try, *word_catch, *word_name, *word_multiply, *word_browse,
    *word_open, *word_create, *word_close, *word_delete, *word_modify, *word_query, *word_read,
    *word_rename, *word_update, *word_write, *word_prescan, *word_scan, *word_load, *word_error,
    *word_comment, *word_init, *word_exec, *word_call, *word_return, *word_enter, *word_exit,
    *word_prolog, *word_epilog, *word_throw, *word_expr, *word_interp_callback,
    *word_lexer_callback, *word_parse_callback, *word_compare_callback, *word_throw2, *word_note,
    *word_syntax, *word_script, *word_math, *word_access, *word_user, *word_internal,
    *word_invalid_error, *word_local, *word_applied;

namespace {

struct symbol_row {
  const char* spelling;
  int32_t* slot;
};

const symbol_row symbol_rows[] = {
    {"spec", &sym_spec}, {"body", &sym_body}, {"words", &sym_words}, {"class", &sym_class},
    {"logic!", &sym_logic_type}, {"integer!", &sym_integer_type}, {"char!", &sym_char_type},
    {"float!", &sym_float_type}, {"percent!", &sym_percent_type}, {"any-type!", &sym_any_type},
    {"exit", &sym_exit}, {"return", &sym_return}, {"Windows", &sym_windows},
    {"Syllable", &sym_syllable}, {"macOS", &sym_macos}, {"Linux", &sym_linux},
    {"NetBSD", &sym_netbsd}, {"repeat", &sym_repeat}, {"foreach", &sym_foreach},
    {"map-each", &sym_map_each}, {"remove-each", &sym_remove_each}, {"any", &sym_any},
    {"break", &sym_break}, {"copy", &sym_copy}, {"end", &sym_end}, {"fail", &sym_fail},
    {"into", &sym_into}, {"opt", &sym_opt}, {"not", &sym_not}, {"quote", &sym_quote},
    {"case", &sym_case}, {"reject", &sym_reject}, {"set", &sym_set}, {"skip", &sym_skip},
    {"some", &sym_some}, {"thru", &sym_thru}, {"to", &sym_to}, {"none", &sym_none},
    {"|", &sym_bar}, {"-", &sym_minus}, {"if", &sym_if}, {"remove", &sym_remove},
    {"while", &sym_while}, {"insert", &sym_insert}, {"only", &sym_only}, {"collect", &sym_collect},
    {"keep", &sym_keep}, {"pick", &sym_pick}, {"ahead", &sym_ahead}, {"after", &sym_after},
    {"x", &sym_x}, {"y", &sym_y}, {"z", &sym_z}, {"self", &sym_self}, {"values", &sym_values},
    {"owner", &sym_owner}, {"owned", &sym_owned}, {"events?", &sym_events_q}, {"true", &sym_true},
    {"false", &sym_false}, {"yes", &sym_yes}, {"no", &sym_no}, {"on", &sym_on}, {"off", &sym_off},
    {"type", &sym_type}, {"face", &sym_face}, {"window", &sym_window}, {"offset", &sym_offset},
    {"key", &sym_key}, {"flag", &sym_flag}, {"code", &sym_code}, {"picked", &sym_picked},
    {"flags", &sym_flags}, {"away?", &sym_away_q}, {"ctrl?", &sym_ctrl_q},
    {"shift?", &sym_shift_q}, {"down?", &sym_down_q}, {"mid-down?", &sym_mid_down_q},
    {"alt-down?", &sym_alt_down_q}, {"aux-down?", &sym_aux_down_q},
    {"orientation", &sym_orientation}, {"get", &sym_get}, {"put", &sym_put}, {"post", &sym_post},
    {"head", &sym_head}, {"size", &sym_size}, {"rgb", &sym_rgb}, {"alpha", &sym_alpha},
    {"argb", &sym_argb}, {"date", &sym_date}, {"year", &sym_year}, {"month", &sym_month},
    {"day", &sym_day}, {"zone", &sym_zone}, {"isoweek", &sym_isoweek}, {"week", &sym_week},
    {"weekday", &sym_weekday}, {"yearday", &sym_yearday}, {"julian", &sym_julian},
    {"time", &sym_time}, {"hour", &sym_hour}, {"minute", &sym_minute}, {"second", &sym_second},
    {"timezone", &sym_timezone}, {"amount", &sym_amount}, {"user", &sym_user}, {"host", &sym_host},
    {"system", &sym_system}, {"system-global", &sym_system_global}, {"trace", &sym_trace},
    {"no-trace", &sym_no_trace},
};
static_assert(std::size(symbol_rows) == SYMBOL_COUNT);

struct index_row {
  const int32_t* symbol;
  int32_t* slot;
};

const index_row index_rows[] = {
    {&sym_windows, &index_windows}, {&sym_syllable, &index_syllable}, {&sym_macos, &index_macos},
    {&sym_linux, &index_linux}, {&sym_netbsd, &index_netbsd}, {&sym_to, &index_to},
    {&sym_thru, &index_thru}, {&sym_not, &index_not}, {&sym_remove, &index_remove},
    {&sym_while, &index_while}, {&sym_collect, &index_collect}, {&sym_keep, &index_keep},
    {&sym_ahead, &index_ahead}, {&sym_bar, &index_bar}, {&sym_any, &index_any},
    {&sym_some, &index_some}, {&sym_copy, &index_copy}, {&sym_opt, &index_opt},
    {&sym_into, &index_into}, {&sym_insert, &index_insert}, {&sym_if, &index_if},
    {&sym_quote, &index_quote}, {&sym_collect, &index_collect2}, {&sym_set, &index_set},
    {&sym_case, &index_case}, {&sym_end, &index_end},
};
static_assert(std::size(index_rows) == INDEX_COUNT);

struct word_row {
  const char* spelling;
  cell** slot;
};

const word_row word_rows[] = {
    {"at", &word_at}, {"back", &word_back}, {"find", &word_find}, {"head", &word_head},
    {"head?", &word_head_q}, {"index?", &word_index_q}, {"length?", &word_length_q},
    {"next", &word_next}, {"pick", &word_pick}, {"skip", &word_skip}, {"select", &word_select},
    {"tail", &word_tail}, {"tail?", &word_tail_q}, {"change", &word_change},
    {"changed", &word_changed}, {"clear", &word_clear}, {"cleared", &word_cleared},
    {"set-path", &word_set_path}, {"append", &word_append}, {"appended", &word_appended},
    {"move", &word_move}, {"moved", &word_moved}, {"poke", &word_poke}, {"poked", &word_poked},
    {"put", &word_put}, {"put-ed", &word_put_ed}, {"removed", &word_removed},
    {"random", &word_random}, {"randomized", &word_randomized}, {"reverse", &word_reverse},
    {"reversed", &word_reversed}, {"sort", &word_sort}, {"sorted", &word_sorted},
    {"swap", &word_swap}, {"swaped", &word_swaped}, {"take", &word_take}, {"taken", &word_taken},
    {"trim", &word_trim}, {"trimmed", &word_trimmed}, {"inserted", &word_inserted},
    {"uppercase", &word_uppercase}, {"lowercase", &word_lowercase}, {"checksum", &word_checksum},
    {"push", &word_push}, {"pop", &word_pop}, {"fetch", &word_fetch}, {"match", &word_match},
    {"iterate", &word_iterate}, {"paren", &word_paren}, {"<anon>", &word_anon},
    {"<body>", &word_body}, {"<not-found>", &word_not_found}, {"add", &word_add},
    {"subtract", &word_subtract}, {"divide", &word_divide},
    {"on-parse-event", &word_on_parse_event}, {"on-change*", &word_on_change},
    {"on-deep-change*", &word_on_deep_change}, {"type", &word_type}, {"id", &word_id},
    {"try", &word_try}, {"catch", &word_catch}, {"name", &word_name}, {"multiply", &word_multiply},
    {"browse", &word_browse}, {"open", &word_open}, {"create", &word_create},
    {"close", &word_close}, {"delete", &word_delete}, {"modify", &word_modify},
    {"query", &word_query}, {"read", &word_read}, {"rename", &word_rename},
    {"update", &word_update}, {"write", &word_write}, {"prescan", &word_prescan},
    {"scan", &word_scan}, {"load", &word_load}, {"error", &word_error}, {"comment", &word_comment},
    {"init", &word_init}, {"exec", &word_exec}, {"call", &word_call}, {"return", &word_return},
    {"enter", &word_enter}, {"exit", &word_exit}, {"prolog", &word_prolog},
    {"epilog", &word_epilog}, {"throw", &word_throw}, {"expr", &word_expr},
    {"<interp-callback>", &word_interp_callback}, {"<lexer-callback>", &word_lexer_callback},
    {"<parse-callback>", &word_parse_callback}, {"<compare-callback>", &word_compare_callback},
    {"throw", &word_throw2}, {"note", &word_note}, {"syntax", &word_syntax},
    {"script", &word_script}, {"math", &word_math}, {"access", &word_access}, {"user", &word_user},
    {"internal", &word_internal}, {"invalid-error", &word_invalid_error}, {"local", &word_local},
    {"<applied>", &word_applied},
};
static_assert(std::size(word_rows) == WORD_COUNT);

}  // namespace

void build() {
  for (const symbol_row& r : symbol_rows) *r.slot = symbol::make(r.spelling);
  for (const index_row& r : index_rows) *r.slot = static_cast<int32_t>(context::add_global(*r.symbol)->data3);
  for (const word_row& r : word_rows) *r.slot = word::load(r.spelling);
  sym_changed = static_cast<int32_t>(word_changed->data2);
}

}  // namespace ixo::words

namespace ixo::refinements {

cell *local, *extern_, *compare, *part, *skip, *with;

void build() {
  local = refinement::load("local");
  extern_ = refinement::load("extern");
  compare = refinement::load("compare");
  part = refinement::load("part");
  skip = refinement::load("skip");
  with = refinement::load("with");
}

}  // namespace ixo::refinements
