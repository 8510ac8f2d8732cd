// word!: constructors, value access, the reading of a spelling as a token,
// and the make, to, form, mold, compare and index? actions that the rest
// of the word family inherits or calls.
#include "runtime/datatypes/word.hpp"

#include <algorithm>

#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/action_types.hpp"
#include "runtime/datatypes/context.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/symbol.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/datatypes/words.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/roots.hpp"
#include "runtime/memory/memory.hpp"

namespace ixo::word {

using namespace memory;

namespace {

cell global_word(uint32_t type, int32_t symbol, int32_t index) {
  return cell{type, context::global_ctx, static_cast<uint32_t>(symbol), static_cast<uint32_t>(index)};
}

}  // namespace

// ---- Constructors ------------------------------------------------------------

cell* load(const char* text) {
  cell* w = context::find_or_add_global(symbol::make(text), true, true);
  return boot_flag ? root::append(*w) : w;
}

cell* make_at(int32_t symbol, cell* c) {
  int32_t index = context::add_word(context::global_ctx, symbol);
  cell w = global_word(TYPE_WORD, symbol, index);
  w.header = (c->header & ~0xFFu) | TYPE_WORD;
  *c = w;
  return c;
}

cell* box(int32_t symbol) { return make_at(symbol, stack::arguments); }

cell* make_in(int32_t symbol, uint32_t block) {
  root_guard keep(&block);
  int32_t index = context::add_word(context::global_ctx, symbol);
  cell* c = series::alloc_tail_cell(buffer_of(block));
  *c = global_word(TYPE_WORD, symbol, index);
  return c;
}

cell* push_symbol(int32_t symbol) {
  int32_t index = context::add_word(context::global_ctx, symbol);
  return stack::push(global_word(TYPE_WORD, symbol, index));
}

cell* load_in(const char* text, uint32_t block) {
  root_guard keep(&block);
  return make_in(symbol::make(text), block);
}

cell* track_new(const cell& c) { return root::append(c); }

cell* push(const cell& c) { return stack::push(c); }

cell* push_local(uint32_t ctx, int32_t index) { return stack::push(*value_at(ctx, index)); }

// ---- Value access -------------------------------------------------------------

cell* get(const cell* word) {
  const cell* value = get_value(word);
  if (TYPE_OF(value) == TYPE_UNSET) fire(err::script_no_value, {*word});
  return stack::push(*value);
}

cell* push_value_any(const cell* word) { return stack::push(*get_value(word)); }

void check_set_value() {
  cell* word = stack::arguments;
  cell value = stack::arguments[1];
  if (TYPE_OF(&value) == TYPE_UNSET) fire(err::script_need_value, {*word});
  set(word, value);
  stack::set_last(value);
}

cell* value_at(uint32_t ctx, int32_t index) { return context::word_at(context::context_cell(ctx), index); }

cell* get_value_at(uint32_t ctx, int32_t index) {
  return head_of<cell>(buffer_of(context::context_cell(ctx)->data2)) + index;
}

// ---- Utilities ----------------------------------------------------------------

cell* get_symbol(const cell* word) { return symbol::entry_of(static_cast<int32_t>(word->data2)); }

cell* to_string(const cell* word) {
  uint32_t name = symbol::get_c_string(static_cast<int32_t>(word->data2));
  return stack::push(cell{TYPE_STRING, 0, name, 0});
}

namespace {

// Reading text as a word token: what the lexer accepts as a word of the
// family and where its spelling lies, or that the text starts some other
// token (a number, a string, a file, a tag...).

bool delimiter_q(uint8_t b) {
  return b <= 0x20 || b == '[' || b == ']' || b == '(' || b == ')' || b == '{' || b == '}' || b == '"' ||
         b == ';';
}

// Code points that end a word and are skipped before one like blanks.
bool unicode_space_q(int32_t cp) {
  return cp == 0x85 || cp == 0xA0 || cp == 0x1680 || cp == 0x180E || (cp >= 0x2000 && cp <= 0x200B) ||
         cp == 0x2028 || cp == 0x2029 || cp == 0x202F || cp == 0x205F || cp == 0x3000;
}

bool digit_q(uint8_t b) { return b >= '0' && b <= '9'; }

struct token {
  uint32_t type;     // a word type, 0 for any other token
  int32_t name;      // the spelling, without decoration
  int32_t name_end;
  int32_t end;       // past the token
};

struct scanner {
  const uint8_t* text;
  int32_t length;

  uint8_t at(int32_t p) const { return p < length ? text[p] : 0; }

  int32_t space_length(int32_t p) const {
    int32_t cp;
    const uint8_t* after = unicode::fast_decode_utf8_char(text + p, text + length, cp);
    return unicode_space_q(cp) ? static_cast<int32_t>(after - (text + p)) : 0;
  }

  // A token ends at the end of the text, a delimiter or a Unicode space.
  bool ends_at(int32_t p) const {
    if (p >= length || delimiter_q(text[p])) return true;
    return text[p] >= 0x80 && space_length(p) > 0;
  }

  int32_t skip_blanks(int32_t p) const {
    while (p < length) {
      if (text[p] <= 0x20) {
        ++p;
      } else if (int32_t n = text[p] >= 0x80 ? space_length(p) : 0) {
        p += n;
      } else {
        break;
      }
    }
    return p;
  }

  token scan(int32_t p) const {
    const token other{0, 0, 0, 0};
    if (p >= length) return other;
    uint32_t type = TYPE_WORD;
    switch (text[p]) {
      case '\'': type = TYPE_LIT_WORD; ++p; break;
      case ':': type = TYPE_GET_WORD; ++p; break;
      case '#': type = TYPE_ISSUE; ++p; break;
      case '/': {
        // "/" and "//" are words; "/" before anything else a refinement.
        int32_t q = at(p + 1) == '/' ? p + 2 : p + 1;
        if (ends_at(q)) return {TYPE_WORD, p, q, q};
        type = TYPE_REFINEMENT;
        ++p;
        break;
      }
      default: break;
    }
    if (ends_at(p)) return other;  // a decoration alone
    int32_t name = p;
    uint8_t first = text[p], next = at(p + 1);
    if (type == TYPE_WORD || type == TYPE_LIT_WORD || type == TYPE_GET_WORD) {
      if (first == '/') {
        int32_t q = next == '/' ? p + 2 : p + 1;
        return ends_at(q) ? token{type, p, q, q} : other;
      }
      if (first == '%') return ends_at(p + 1) ? token{type, p, p + 1, p + 1} : other;
      if (digit_q(first) || first == '$' || first == '@' || first == ',') return other;
      if ((first == '+' || first == '-') &&
          (digit_q(next) || next == '$' || (next == '.' && digit_q(at(p + 2))))) {
        return other;
      }
      if (first == '.' && digit_q(next)) return other;
      if (first == '<' && next != '<' && next != '>' && next != '=' && next != '-' && !ends_at(p + 1)) {
        return other;  // a tag
      }
    }
    bool angled = first == '<';
    while (!ends_at(p)) {
      uint8_t c = text[p];
      if (c >= 0x80) {
        int32_t cp;
        const uint8_t* after = unicode::fast_decode_utf8_char(text + p, text + length, cp);
        if (cp < 0) return other;
        p = static_cast<int32_t>(after - text);
        continue;
      }
      if ((c == '<' && !angled) || c == '\\') break;
      if (c == '%' || c == ',' || c == '/' || c == '@' || c == 0x7F) return other;
      if (c == ':') {
        if (type == TYPE_WORD && ends_at(p + 1)) return {TYPE_SET_WORD, name, p, p + 1};
        return other;
      }
      ++p;
    }
    return {type, name, p, p};
  }
};

// The first value of UTF-8 text when it is a word of the family, in `c`
// (which no allocation may move); false for any other value or none.
// Strings of at most this many characters become words without a buffer.
constexpr int32_t SHORT_NAME_UNITS = 63;

bool load_word(const uint8_t* text, int32_t length, cell* c) {
  scanner s{text, length};
  token t = s.scan(s.skip_blanks(0));
  if (t.type == 0) return false;
  int32_t symbol = symbol::make_part(text + t.name, t.name_end - t.name);
  if (t.type == TYPE_ISSUE) {
    *c = global_word(TYPE_ISSUE, symbol, -1);
  } else {
    make_at(symbol, c);
    c->header = t.type;
  }
  return true;
}

}  // namespace

uint32_t load_from_string(const cell* word) {
  series_buffer* b = buffer_of(get_symbol(word)->data3);
  scanner s{head_of(b), static_cast<int32_t>(b->tail - b->head)};
  token t = s.scan(0);
  return t.end == s.length ? t.type : 0;
}

bool load_exact(const uint8_t* text, int32_t length, cell* c) {
  if (length >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF) return false;
  scanner s{text, length};
  token t = s.scan(0);
  if (t.type != TYPE_WORD || t.name != 0 || t.end != length) return false;
  make_at(symbol::make_part(text, length), c);
  return true;
}

// ---- Actions ------------------------------------------------------------------

cell* make(cell* proto, cell* spec, int32_t type) {
  cell target = cell{TYPE_DATATYPE, static_cast<uint32_t>(type), 0, 0};
  switch (TYPE_OF(spec)) {
    case TYPE_WORD: case TYPE_SET_WORD: case TYPE_LIT_WORD: case TYPE_GET_WORD:
      copy_cell(spec, proto);
      break;
    case TYPE_REFINEMENT: case TYPE_ISSUE: {
      uint32_t scanned = load_from_string(spec);
      if (scanned < TYPE_WORD || scanned > TYPE_GET_WORD) fire(err::script_bad_to_arg, {target, *spec});
      copy_cell(spec, proto);
      context::bind_word(context::global_ctx, proto);
      break;
    }
    case TYPE_STRING: {
      // Short text is encoded on the machine stack: words are made from
      // names read out of data one after another, and the string's own
      // UTF-8 cache would be a fresh buffer for each.
      uint8_t short_name[SHORT_NAME_UNITS * 4 + 1];
      if (string::rs_length_q(spec) <= SHORT_NAME_UNITS) {
        int32_t length = unicode::write_utf8(spec, short_name, -1, true);
        if (!load_word(short_name, length, proto)) fire(err::script_invalid_chars);
        break;
      }
      cell text = *spec;
      root_guard keep(&text);
      int32_t length = -1;
      const char* bytes = unicode::to_utf8(&text, length);
      if (!load_word(reinterpret_cast<const uint8_t*>(bytes), length, proto)) fire(err::script_invalid_chars);
      break;
    }
    case TYPE_CHAR: {
      uint8_t bytes[4];
      int32_t length = unicode::cp_to_utf8(spec->data2, bytes);
      if (!load_word(bytes, length, proto)) fire(err::script_invalid_chars);
      break;
    }
    case TYPE_DATATYPE: {
      uint32_t named = spec->data1;
      int32_t symbol = named < TYPE_ROWS ? static_cast<int32_t>(datatype::type_name_table[named].word) : 0;
      if (symbol == 0) fire(err::script_bad_to_arg, {target, *spec});
      make_at(symbol, proto);
      break;
    }
    case TYPE_LOGIC:
      make_at(spec->data1 ? words::sym_true : words::sym_false, proto);
      break;
    default:
      fire(err::script_bad_to_arg, {target, *spec});
  }
  proto->header = static_cast<uint32_t>(type);
  return proto;
}

namespace {

// A refinement argument is given when its cell lies above the argument base.
bool given_q(const cell* arg) { return arg && arg > stack::arguments; }

}  // namespace

int32_t form(cell* value, cell* buffer, cell* arg, int32_t part) {
  cell name{TYPE_STRING, 0, symbol::get_c_string(static_cast<int32_t>(value->data2)), 0};
  int32_t length = string::rs_length_q(&name);
  string::concatenate(buffer, &name, given_q(arg) ? std::max(part, 0) : -1, 0, true, string::MODE_APPEND);
  return part - length;
}

namespace {

int32_t mold(cell* value, cell* buffer, int32_t, int32_t, int32_t, cell* arg, int32_t part, int32_t) {
  return form(value, buffer, arg, part);
}

bool word_or_lit_q(uint32_t a, uint32_t b) {
  return (a == TYPE_WORD && b == TYPE_LIT_WORD) || (a == TYPE_LIT_WORD && b == TYPE_WORD);
}

// index?: the 1-based slot of the word in the first argument cell, none
// when unresolved.
void index_q() {
  cell* w = stack::arguments;
  int32_t index = static_cast<int32_t>(w->data3);
  *w = index < 0 ? cell{TYPE_NONE, 0, 0, 0} : cell{TYPE_INTEGER, 0, static_cast<uint32_t>(index + 1), 0};
}

}  // namespace

int32_t compare(const cell* value1, const cell* value2, int32_t op) {
  uint32_t type1 = TYPE_OF(value1), type2 = TYPE_OF(value2);
  if (!all_word_q(type2) || (type2 == TYPE_ISSUE && type1 != TYPE_ISSUE)) return COMPARE_NONE;
  int32_t symbol1 = static_cast<int32_t>(value1->data2), symbol2 = static_cast<int32_t>(value2->data2);
  bool same_type = type1 == type2;
  bool canonical = symbol::resolve(symbol1) == symbol::resolve(symbol2);
  bool match;
  switch (op) {
    case COMP_EQUAL: case COMP_NOT_EQUAL: case COMP_FIND:
      match = canonical;
      break;
    case COMP_STRICT_EQUAL:
      match = same_type && symbol1 == symbol2;
      break;
    case COMP_SAME:
      match = same_type && symbol1 == symbol2 && value1->data1 == value2->data1;
      break;
    case COMP_EQUAL_10:
      match = (same_type || word_or_lit_q(type1, type2)) && symbol1 == symbol2;
      break;
    case COMP_EQUAL_11:
      match = (same_type || word_or_lit_q(type1, type2)) && canonical;
      break;
    default:
      return symbol::compare_spellings(symbol::entry_of(symbol1), symbol::entry_of(symbol2), op);
  }
  return match ? 0 : 1;
}

void init() {
  // clang-format off
  datatype::register_type(datatype_registration(TYPE_WORD, TYPE_SYMBOL, "word!",
    /* make .. set-path */     make, unsupported, unsupported, make, form, mold, unsupported, unsupported,
    /* compare .. remainder */ compare, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* round .. xor~ */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* append .. head */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* head? .. poke */        unsupported, index_q, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* put .. tail */          unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* tail? .. open */        unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported, unsupported,
    /* open? .. write */       unsupported, unsupported, unsupported, unsupported, unsupported, unsupported));
  // clang-format on
}

}  // namespace ixo::word
