// The line editor over the terminal module: the key table, history,
// completion and the layout of prompt and line in display columns.
//
// Drawing is relative to where the prompt started: the editor knows the
// row and column (counted from the prompt's start) where it left the
// cursor, and moves with cursor-up/down/left/right sequences, so that a
// terminal that scrolled under a long line needs no absolute positions.
#include "console/line_editor.hpp"

#include <string>

#include "console/terminal.hpp"
#include "runtime/core/char_width.hpp"
#include "runtime/core/unicode.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/type_classes.hpp"
#include "runtime/memory/root_block.hpp"
#include "runtime/memory/series_buffer.hpp"
#include "startup/system/console_output.hpp"

namespace ixo::line_editor {

namespace {

// The module's language values, cells of the root block (they never move).
cell* line;         // the caller's buffer; index = caret
cell* history;      // block of strings, newest first, or none
cell* prompt;       // the prompt of the current edit
cell* saved_input;  // text put back at the next edit; index = its caret
cell* work;         // a value being built or looked at
cell* answer;       // the completion's answer

complete_fn completion = nullptr;

bool hide = false;

// ---- The line ----------------------------------------------------------------------

int32_t length_of(const cell* s) { return string::rs_abs_length_q(s); }
int32_t caret() { return static_cast<int32_t>(line->data1); }
void set_caret(int32_t at) { line->data1 = static_cast<uint32_t>(at); }

void insert_at_caret(uint32_t cp) {
  string::insert_char(memory::GET_BUFFER(line), caret(), cp);
  set_caret(caret() + 1);
}

// The line becomes the whole text of *work (from its head); the caret goes
// to `at`, clamped to the text.
void line_from_work(int32_t at) {
  string::rs_reset(line);
  cell whole = *work;
  whole.data1 = 0;
  string::concatenate(line, &whole, -1, 0, true, string::MODE_APPEND);
  set_caret(at < 0 ? 0 : at > length_of(line) ? length_of(line) : at);
}

void empty_line() {
  string::rs_reset(line);
}

bool string_q(const cell* c) { return any_string_q(TYPE_OF(c)); }

// ---- History -----------------------------------------------------------------------

int32_t history_length() {
  return TYPE_OF(history) == TYPE_BLOCK ? block::rs_length_q(history) : 0;
}

// The line becomes a copy of history entry n, the caret at its end; an
// entry that is not a string shows as an empty line.
void show_entry(int32_t n) {
  *work = *block::rs_abs_at(history, static_cast<int32_t>(history->data1) + n);
  if (!string_q(work)) return empty_line();
  line_from_work(length_of(work));
}

// Whether the line equals the newest entry, case and all.
bool same_as_newest() {
  if (history_length() == 0) return false;
  cell* newest = block::rs_head(history);
  if (!string_q(newest)) return false;
  int32_t n = length_of(line);
  if (string::rs_length_q(newest) != n) return false;
  int32_t from = static_cast<int32_t>(newest->data1);
  for (int32_t i = 0; i < n; ++i)
    if (string::rs_abs_at(line, i) != string::rs_abs_at(newest, from + i)) return false;
  return true;
}

void add_to_history() {
  if (hide || length_of(line) == 0 || TYPE_OF(history) != TYPE_BLOCK || same_as_newest()) return;
  string::rs_make_at(work, length_of(line));
  cell whole = *line;
  whole.data1 = 0;
  string::concatenate(work, &whole, -1, 0, true, string::MODE_APPEND);
  block::insert_value(history, work, false, false);
}

// ---- Layout ------------------------------------------------------------------------

struct position {
  int32_t row, column;
  bool operator==(const position&) const = default;
};

int32_t columns = 80;
int32_t start_column = 0;
position cursor{0, 0};   // where the cursor is now
position end{0, 0};      // after the last character drawn
int32_t rows_drawn = 0;  // rows below the first that the last drawing used
bool first_refresh = true;

// Places a character of width w at p: a wide character that finds only
// the last column free goes to the next row; a full row moves p on.
position place(position& p, int32_t w) {
  if (w == 2 && p.column == columns - 1) p = {p.row + 1, 0};
  position at = p;
  p.column += w;
  if (p.column >= columns) p = {p.row + 1, p.column - columns};
  return at;
}

int32_t width_of(uint32_t cp) { return unicode::char_width(cp); }

// Lays out `n` code points of s from its head at p, appending what to
// draw to out: a tab as four spaces, every character as "*" when masked,
// an escape sequence (ESC, then "[" or "(", digits and ";", and the first
// other character) at no width. With caret_at >= 0, the position where
// the character at that index is drawn goes to *caret_pos.
void lay_out(const cell* s, bool masked, position& p, std::u32string& out, int32_t caret_at,
             position* caret_pos) {
  int32_t n = length_of(s);
  for (int32_t i = 0; i < n; ++i) {
    uint32_t cp = string::rs_abs_at(s, i);
    if (i == caret_at) {
      position q = p;
      *caret_pos = place(q, masked ? 1 : cp == '\t' ? 1 : width_of(cp));
    }
    if (masked) {
      place(p, 1);
      out += U'*';
    } else if (cp == '\t') {
      for (int k = 0; k < 4; ++k) place(p, 1);
      out += U"    ";
    } else if (cp == 27) {
      out += cp;
      if (i + 1 < n && (string::rs_abs_at(s, i + 1) == '[' || string::rs_abs_at(s, i + 1) == '(')) {
        out += string::rs_abs_at(s, ++i);
        while (++i < n) {
          uint32_t c = string::rs_abs_at(s, i);
          out += c;
          if (!((c >= '0' && c <= '9') || c == ';')) break;
        }
      }
    } else {
      place(p, width_of(cp));
      out += cp;
    }
  }
  if (caret_at >= n) *caret_pos = p;
}

// ---- Output ------------------------------------------------------------------------

// Writes through the console writer: runs of code points below 10000h as
// 16-bit units, so that escape sequences reach the sequence interpreter,
// the others as 32-bit units.
void emit(const std::u32string& text) {
  size_t i = 0;
  while (i < text.size()) {
    bool wide = text[i] >= 0x10000;
    size_t j = i;
    while (j < text.size() && (text[j] >= 0x10000) == wide) ++j;
    if (wide) {
      system::write_units(text.data() + i, static_cast<int32_t>((j - i) * 4), 4, false);
    } else {
      std::u16string units(text.begin() + static_cast<std::ptrdiff_t>(i),
                           text.begin() + static_cast<std::ptrdiff_t>(j));
      system::write_units(units.data(), static_cast<int32_t>(units.size() * 2), 2, false);
    }
    i = j;
  }
}

void append_number(std::u32string& out, int32_t n) {
  for (char c : std::to_string(n)) out += static_cast<char32_t>(c);
}

void append_sequence(std::u32string& out, int32_t n, char32_t final) {
  out += U"\x1b[";
  append_number(out, n);
  out += final;
}

void append_move(std::u32string& out, position from, position to) {
  if (to.row < from.row) append_sequence(out, from.row - to.row, U'A');
  if (to.row > from.row) append_sequence(out, to.row - from.row, U'B');
  if (to.column > from.column) append_sequence(out, to.column - from.column, U'C');
  if (to.column < from.column) append_sequence(out, from.column - to.column, U'D');
}

// After text that filled its last row to the edge, a terminal keeps the
// cursor on that row until the next character comes: a space (on the
// empty new row) and a step back put it where the layout says it is.
void append_edge_fix(std::u32string& out) {
  if (end.column == 0 && end.row > 0) out += U" \x1b[1D";
}

// Draws the prompt and the line (with `redraw`), or only places the caret.
void refresh(bool redraw) {
  if (terminal::window_changed_q() || first_refresh) {
    columns = terminal::window_size().columns;
    if (columns < 2) columns = 80;
  }
  if (first_refresh) {
    start_column = terminal::cursor_column();
    if (start_column < 0 || start_column >= columns) start_column = 0;
    cursor = {0, start_column};
    rows_drawn = 0;
    redraw = true;
  }
  std::u32string text;
  position p{0, start_column};
  position caret_pos = p;
  lay_out(prompt, false, p, text, -1, nullptr);
  lay_out(line, hide, p, text, caret(), &caret_pos);
  std::u32string out;
  if (redraw) {
    append_move(out, cursor, {0, start_column});
    if (rows_drawn > 0) out += U"\x1b[1B\x1b[J\x1b[1A";
    out += U"\x1b[K";
    out += text;
    end = p;
    append_edge_fix(out);
    cursor = end;
    rows_drawn = end.row;
  }
  append_move(out, cursor, caret_pos);
  cursor = caret_pos;
  first_refresh = false;
  emit(out);
}

// Typed at the end of the line: drawn straight after what is there.
void append_key(uint32_t cp) {
  insert_at_caret(cp);
  if (!(cursor == end)) return refresh(true);
  std::u32string out;
  if (hide) {
    place(end, 1);
    out += U'*';
  } else if (cp == '\t') {
    for (int k = 0; k < 4; ++k) place(end, 1);
    out += U"    ";
  } else {
    place(end, width_of(cp));
    out += cp;
  }
  append_edge_fix(out);
  cursor = end;
  if (end.row > rows_drawn) rows_drawn = end.row;
  emit(out);
}

void insert_key(uint32_t cp) {
  if (caret() == length_of(line)) return append_key(cp);
  insert_at_caret(cp);
  refresh(true);
}

// Moves the cursor below the input for what is printed next.
void leave_input() {
  std::u32string out;
  append_move(out, cursor, end);
  if (!(end.column == 0 && end.row > 0)) out += U'\n';
  cursor = end;
  emit(out);
}

// ---- Completion --------------------------------------------------------------------

enum completion_result { NO_COMPLETION, ONE_COMPLETION, CANDIDATES };

completion_result complete_line() {
  *answer = cell{TYPE_NONE, 0, 0, 0};
  completion(line, answer);
  if (TYPE_OF(answer) != TYPE_BLOCK) return NO_COMPLETION;
  int32_t count = block::rs_length_q(answer);
  if (count == 0) return NO_COMPLETION;
  *work = *block::rs_head(answer);
  if (!string_q(work)) return NO_COMPLETION;
  if (count == 1) {
    line_from_work(static_cast<int32_t>(work->data1));
    refresh(true);
    return ONE_COMPLETION;
  }
  // The completed line waits for the next edit; meanwhile the candidates
  // take the line's place, each followed by a space.
  string::rs_reset(saved_input);
  cell whole = *work;
  whole.data1 = 0;
  string::concatenate(saved_input, &whole, -1, 0, true, string::MODE_APPEND);
  saved_input->data1 = work->data1;
  empty_line();
  for (int32_t i = 1; i < count; ++i) {
    *work = *block::rs_abs_at(answer, static_cast<int32_t>(answer->data1) + i);
    if (!string_q(work)) continue;
    string::concatenate(line, work, -1, 0, true, string::MODE_APPEND);
    string::append_char(memory::GET_BUFFER(line), ' ');
  }
  set_caret(length_of(line));
  refresh(true);
  return CANDIDATES;
}

// ---- The edit ----------------------------------------------------------------------

// Edits the line on the terminal until Enter or another key ends it.
// Answers false when the input ended first.
bool console_edit() {
  first_refresh = true;
  if (length_of(saved_input) > 0) {
    *work = *saved_input;
    line_from_work(static_cast<int32_t>(saved_input->data1));
  } else if (caret() > length_of(line)) {
    set_caret(length_of(line));
  }
  refresh(true);
  int32_t shown = -1;  // the history entry shown, -1 for none
  for (;;) {
    int32_t key = terminal::read_key();
    int32_t at = caret(), n = length_of(line);
    switch (key) {
      case terminal::KEY_END_OF_INPUT:
        leave_input();
        return false;
      case '\t':
        if (completion) {
          completion_result r = complete_line();
          if (r == CANDIDATES) {
            leave_input();
            empty_line();
            return true;
          }
          if (r == ONE_COMPLETION) break;
        }
        insert_key('\t');
        break;
      case '\r':
      case '\n':
        leave_input();
        add_to_history();
        string::rs_reset(saved_input);
        return true;
      case 8:
      case 127:
        if (at == 0) break;
        set_caret(at - 1);
        string::remove_char(line, at - 1);
        refresh(true);
        break;
      case 2:
      case terminal::KEY_LEFT:
        if (at == 0) break;
        set_caret(at - 1);
        refresh(false);
        break;
      case 6:
      case terminal::KEY_RIGHT:
        if (at == n) break;
        set_caret(at + 1);
        refresh(false);
        break;
      case 14:
      case terminal::KEY_DOWN:
        if (shown < 0) {
          empty_line();
        } else {
          show_entry(shown);
          --shown;
        }
        refresh(true);
        break;
      case 16:
      case terminal::KEY_UP:
        if (shown < history_length() - 1) show_entry(++shown);
        else empty_line();
        refresh(true);
        break;
      case 1:
      case terminal::KEY_HOME:
        set_caret(0);
        refresh(false);
        break;
      case 5:
      case terminal::KEY_END:
        set_caret(n);
        refresh(false);
        break;
      case terminal::KEY_DELETE:
        if (at == n) break;
        string::remove_char(line, at);
        refresh(true);
        break;
      case 11:
        if (at == n) break;
        string::remove_part(line, at, n - at);
        refresh(true);
        break;
      case 4:
        if (at < n) {
          string::remove_char(line, at);
          refresh(true);
        } else if (n == 0) {
          leave_input();
          string::concatenate_literal(memory::GET_BUFFER(line), "q");
          set_caret(1);
          return true;
        }
        break;
      case 3:
        leave_input();
        empty_line();
        string::concatenate_literal(memory::GET_BUFFER(line), "q");
        set_caret(1);
        return true;
      case terminal::KEY_ESCAPE:
        leave_input();
        string::rs_reset(saved_input);
        string::append_char(memory::GET_BUFFER(line), 27);
        return true;
      default:
        if (key > 31) insert_key(static_cast<uint32_t>(key));
        break;
    }
  }
}

// Redirected input: one line of UTF-8, appended to the line.
bool stdin_readline() {
  std::string bytes;
  bool got = terminal::read_line_bytes(bytes);
  *work = cell{TYPE_STRING, 0,
               unicode::load_utf8_new(reinterpret_cast<const uint8_t*>(bytes.data()),
                                      static_cast<int32_t>(bytes.size())),
               0};
  string::concatenate(line, work, -1, 0, true, string::MODE_APPEND);
  set_caret(length_of(line));
  return got;
}

}  // namespace

void init_globals() {
  const cell none{TYPE_NONE, 0, 0, 0};
  line = root::append(none);
  history = root::append(none);
  prompt = root::append(none);
  work = root::append(none);
  answer = root::append(none);
  saved_input = root::append(none);
  string::rs_make_at(saved_input, 0);
  hide = false;
}

void set_buffer_history(const cell* buffer, const cell* hist) {
  *line = *buffer;
  *history = *hist;
}

bool read_input(const cell* prompt_text, bool hidden) {
  if (!terminal::input_is_console_q) {
    hide = false;
    return stdin_readline();
  }
  *prompt = *prompt_text;
  if (!string_q(prompt)) string::rs_make_at(prompt, 0);
  hide = hidden;
  terminal::raw_mode raw;
  bool got = console_edit();
  hide = false;
  return got;
}

void set_completion(complete_fn complete) { completion = complete; }

}  // namespace ixo::line_editor
