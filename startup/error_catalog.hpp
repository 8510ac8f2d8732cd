// The error catalog: ten categories of numbered errors, each id with its
// message written as Ixo source (a string, or a block of strings and
// get-words of the error's arguments). This table is the one source of the
// catalog: the runtime raises errors by its positions, and the boot image's
// `system/catalog/errors` object is made from it.
#pragma once
#include <cstdint>

namespace ixo {

enum error_category : int32_t {
  ERR_THROW = 0,
  ERR_NOTE = 1,
  ERR_SYNTAX = 2,
  ERR_SCRIPT = 3,
  ERR_MATH = 4,
  ERR_ACCESS = 5,
  ERR_RESERVED1 = 6,
  ERR_RESERVED2 = 7,
  ERR_USER = 8,
  ERR_INTERNAL = 9,
};

// An error id: its category and its field index in the category object
// (fields 0 and 1 are `code` and `type`, so the first id is field 2).
struct error_id {
  error_category category;
  int32_t index;
};

namespace err {
constexpr error_id throw_break{ERR_THROW, 2};
constexpr error_id throw_return{ERR_THROW, 3};
constexpr error_id throw_throw{ERR_THROW, 4};
constexpr error_id throw_continue{ERR_THROW, 5};
constexpr error_id throw_while_cond{ERR_THROW, 6};
constexpr error_id note_no_load{ERR_NOTE, 2};
constexpr error_id syntax_invalid{ERR_SYNTAX, 2};
constexpr error_id syntax_missing{ERR_SYNTAX, 3};
constexpr error_id syntax_no_header{ERR_SYNTAX, 4};
constexpr error_id syntax_no_rs_header{ERR_SYNTAX, 5};
constexpr error_id syntax_bad_header{ERR_SYNTAX, 6};
constexpr error_id syntax_malconstruct{ERR_SYNTAX, 7};
constexpr error_id syntax_bad_char{ERR_SYNTAX, 8};
constexpr error_id script_no_value{ERR_SCRIPT, 2};
constexpr error_id script_need_value{ERR_SCRIPT, 3};
constexpr error_id script_not_defined{ERR_SCRIPT, 4};
constexpr error_id script_not_in_context{ERR_SCRIPT, 5};
constexpr error_id script_no_arg{ERR_SCRIPT, 6};
constexpr error_id script_expect_arg{ERR_SCRIPT, 7};
constexpr error_id script_expect_val{ERR_SCRIPT, 8};
constexpr error_id script_expect_type{ERR_SCRIPT, 9};
constexpr error_id script_cannot_use{ERR_SCRIPT, 10};
constexpr error_id script_invalid_arg{ERR_SCRIPT, 11};
constexpr error_id script_invalid_type{ERR_SCRIPT, 12};
constexpr error_id script_invalid_type_spec{ERR_SCRIPT, 13};
constexpr error_id script_invalid_key_type{ERR_SCRIPT, 14};
constexpr error_id script_invalid_op{ERR_SCRIPT, 15};
constexpr error_id script_no_op_arg{ERR_SCRIPT, 16};
constexpr error_id script_bad_op_spec{ERR_SCRIPT, 17};
constexpr error_id script_invalid_data{ERR_SCRIPT, 18};
constexpr error_id script_invalid_part{ERR_SCRIPT, 19};
constexpr error_id script_not_same_type{ERR_SCRIPT, 20};
constexpr error_id script_not_same_class{ERR_SCRIPT, 21};
constexpr error_id script_not_related{ERR_SCRIPT, 22};
constexpr error_id script_bad_func_def{ERR_SCRIPT, 23};
constexpr error_id script_bad_func_arg{ERR_SCRIPT, 24};
constexpr error_id script_bad_func_extern{ERR_SCRIPT, 25};
constexpr error_id script_no_refine{ERR_SCRIPT, 26};
constexpr error_id script_bad_refines{ERR_SCRIPT, 27};
constexpr error_id script_bad_refine{ERR_SCRIPT, 28};
constexpr error_id script_dup_refine{ERR_SCRIPT, 29};
constexpr error_id script_word_first{ERR_SCRIPT, 30};
constexpr error_id script_empty_path{ERR_SCRIPT, 31};
constexpr error_id script_unset_path{ERR_SCRIPT, 32};
constexpr error_id script_invalid_path{ERR_SCRIPT, 33};
constexpr error_id script_invalid_path_set{ERR_SCRIPT, 34};
constexpr error_id script_invalid_path_get{ERR_SCRIPT, 35};
constexpr error_id script_bad_path_type{ERR_SCRIPT, 36};
constexpr error_id script_bad_path_type2{ERR_SCRIPT, 37};
constexpr error_id script_bad_path_set{ERR_SCRIPT, 38};
constexpr error_id script_bad_field_set{ERR_SCRIPT, 39};
constexpr error_id script_dup_vars{ERR_SCRIPT, 40};
constexpr error_id script_past_end{ERR_SCRIPT, 41};
constexpr error_id script_missing_arg{ERR_SCRIPT, 42};
constexpr error_id script_out_of_range{ERR_SCRIPT, 43};
constexpr error_id script_invalid_chars{ERR_SCRIPT, 44};
constexpr error_id script_invalid_compare{ERR_SCRIPT, 45};
constexpr error_id script_wrong_type{ERR_SCRIPT, 46};
constexpr error_id script_invalid_refine_arg{ERR_SCRIPT, 47};
constexpr error_id script_type_limit{ERR_SCRIPT, 48};
constexpr error_id script_size_limit{ERR_SCRIPT, 49};
constexpr error_id script_no_return{ERR_SCRIPT, 50};
constexpr error_id script_throw_usage{ERR_SCRIPT, 51};
constexpr error_id script_locked_word{ERR_SCRIPT, 52};
constexpr error_id script_protected{ERR_SCRIPT, 53};
constexpr error_id script_bad_bad{ERR_SCRIPT, 54};
constexpr error_id script_bad_make_arg{ERR_SCRIPT, 55};
constexpr error_id script_bad_to_arg{ERR_SCRIPT, 56};
constexpr error_id script_invalid_months{ERR_SCRIPT, 57};
constexpr error_id script_invalid_spec_field{ERR_SCRIPT, 58};
constexpr error_id script_missing_spec_field{ERR_SCRIPT, 59};
constexpr error_id script_move_bad{ERR_SCRIPT, 60};
constexpr error_id script_too_long{ERR_SCRIPT, 61};
constexpr error_id script_invalid_char{ERR_SCRIPT, 62};
constexpr error_id script_bad_loop_series{ERR_SCRIPT, 63};
constexpr error_id script_wrong_denom{ERR_SCRIPT, 64};
constexpr error_id script_bad_denom{ERR_SCRIPT, 65};
constexpr error_id script_invalid_obj_evt{ERR_SCRIPT, 66};
constexpr error_id script_parse_rule{ERR_SCRIPT, 67};
constexpr error_id script_parse_end{ERR_SCRIPT, 68};
constexpr error_id script_parse_invalid_ref{ERR_SCRIPT, 69};
constexpr error_id script_parse_block{ERR_SCRIPT, 70};
constexpr error_id script_parse_unsupported{ERR_SCRIPT, 71};
constexpr error_id script_parse_infinite{ERR_SCRIPT, 72};
constexpr error_id script_parse_stack{ERR_SCRIPT, 73};
constexpr error_id script_parse_keep{ERR_SCRIPT, 74};
constexpr error_id script_parse_into_bad{ERR_SCRIPT, 75};
constexpr error_id script_parse_into_type{ERR_SCRIPT, 76};
constexpr error_id script_draw_invalid{ERR_SCRIPT, 77};
constexpr error_id script_draw_infinite{ERR_SCRIPT, 78};
constexpr error_id script_invalid_data_facet{ERR_SCRIPT, 79};
constexpr error_id script_face_type{ERR_SCRIPT, 80};
constexpr error_id script_not_window{ERR_SCRIPT, 81};
constexpr error_id script_bad_window{ERR_SCRIPT, 82};
constexpr error_id script_not_linked{ERR_SCRIPT, 83};
constexpr error_id script_not_event_type{ERR_SCRIPT, 84};
constexpr error_id script_invalid_facet_type{ERR_SCRIPT, 85};
constexpr error_id script_vdl_invalid_syntax{ERR_SCRIPT, 86};
constexpr error_id script_rtd_invalid_syntax{ERR_SCRIPT, 87};
constexpr error_id script_rtd_no_match{ERR_SCRIPT, 88};
constexpr error_id script_react_bad_func{ERR_SCRIPT, 89};
constexpr error_id script_react_not_enough{ERR_SCRIPT, 90};
constexpr error_id script_react_no_match{ERR_SCRIPT, 91};
constexpr error_id script_react_bad_obj{ERR_SCRIPT, 92};
constexpr error_id script_react_gctx{ERR_SCRIPT, 93};
constexpr error_id script_lib_invalid_arg{ERR_SCRIPT, 94};
constexpr error_id script_ix_invalid_record{ERR_SCRIPT, 95};
constexpr error_id math_zero_divide{ERR_MATH, 2};
constexpr error_id math_overflow{ERR_MATH, 3};
constexpr error_id math_positive{ERR_MATH, 4};
constexpr error_id access_cannot_open{ERR_ACCESS, 2};
constexpr error_id access_cannot_close{ERR_ACCESS, 3};
constexpr error_id access_invalid_utf8{ERR_ACCESS, 4};
constexpr error_id access_not_open{ERR_ACCESS, 5};
constexpr error_id access_no_connect{ERR_ACCESS, 6};
constexpr error_id access_no_scheme{ERR_ACCESS, 7};
constexpr error_id access_unknown_scheme{ERR_ACCESS, 8};
constexpr error_id access_invalid_spec{ERR_ACCESS, 9};
constexpr error_id access_invalid_port{ERR_ACCESS, 10};
constexpr error_id access_invalid_actor{ERR_ACCESS, 11};
constexpr error_id access_no_port_action{ERR_ACCESS, 12};
constexpr error_id access_no_create{ERR_ACCESS, 13};
constexpr error_id access_no_codec{ERR_ACCESS, 14};
constexpr error_id access_bad_media{ERR_ACCESS, 15};
constexpr error_id access_invalid_cmd{ERR_ACCESS, 16};
constexpr error_id user_message{ERR_USER, 2};
constexpr error_id internal_bad_path{ERR_INTERNAL, 2};
constexpr error_id internal_not_here{ERR_INTERNAL, 3};
constexpr error_id internal_no_memory{ERR_INTERNAL, 4};
constexpr error_id internal_wrong_mem{ERR_INTERNAL, 5};
constexpr error_id internal_stack_overflow{ERR_INTERNAL, 6};
constexpr error_id internal_limit_hit{ERR_INTERNAL, 7};
constexpr error_id internal_too_deep{ERR_INTERNAL, 8};
constexpr error_id internal_no_cycle{ERR_INTERNAL, 9};
constexpr error_id internal_feature_na{ERR_INTERNAL, 10};
constexpr error_id internal_not_done{ERR_INTERNAL, 11};
constexpr error_id internal_invalid_error{ERR_INTERNAL, 12};
constexpr error_id internal_routines{ERR_INTERNAL, 13};
constexpr error_id internal_ixo_system{ERR_INTERNAL, 14};
constexpr error_id internal_deprecated{ERR_INTERNAL, 15};
}  // namespace err

struct catalog_entry {
  const char* id;       // the id word
  const char* message;  // Ixo source of the message
};

struct catalog_category {
  const char* name;
  int32_t code;
  const char* title;
  const catalog_entry* ids;
  int32_t count;
};

extern const catalog_category error_catalog[10];

// The entry of an id.
const catalog_entry& catalog_lookup(error_id id);

}  // namespace ixo
