// The key decoder: the bytes a VT terminal sends, fed one at a time, to
// characters, named keys, mouse reports and cursor position reports. A
// sequence may arrive split over any number of reads; the decoder keeps
// its state between bytes. Readers map what it finds to keys of their own
// and decide how long to wait for the rest of a sequence.
//
// Two sets of rules read the escapes: the line editor's and the text UI's
// (`rules` below). Everything else is common: the key table, UTF-8, the
// parameters of a CSI sequence.
#pragma once
#include <cstdint>

namespace ixo::platform::keys {

// The keys of the table.
enum named_key : int32_t {
  NAMED_UP = 1, NAMED_DOWN, NAMED_RIGHT, NAMED_LEFT, NAMED_HOME, NAMED_END, NAMED_DELETE,
  NAMED_PAGE_UP, NAMED_PAGE_DOWN, NAMED_BACK_TAB,
  NAMED_F1, NAMED_F2, NAMED_F3, NAMED_F4, NAMED_F5, NAMED_F6, NAMED_F7, NAMED_F8, NAMED_F9,
  NAMED_F10, NAMED_F11, NAMED_F12,
};

enum event_kind : int32_t {
  EVENT_CHAR,     // value: a code point; control characters as themselves, the Escape key 27
  EVENT_INVALID,  // a byte that is not UTF-8 (one event per byte)
  EVENT_KEY,      // value: a named_key
  EVENT_MOUSE,    // value: the button parameter; column, row from 1; release
  EVENT_REPORT,   // a cursor position report: row, column from 1
};

struct event {
  event_kind kind;
  int32_t value;
  int32_t column, row;
  bool release;
};

// At most this many events from one byte: a four-byte UTF-8 sequence that
// fails at its last byte gives three invalid bytes, then that byte itself.
constexpr int32_t MAX_EVENTS = 4;

// Where the two readers differ.
struct rules {
  // ESC P and ESC ] open a DCS or OSC string, passed over through BEL or
  // ESC "\" and giving nothing. Otherwise they are Alt keys.
  bool strings;
  // ESC and any byte other than "[" take one more byte: the pair is looked
  // up in the key table (SS3 "O A" is Up), and ESC with an ordinary
  // character gives nothing for the pair. Otherwise only ESC O takes one
  // more byte, which must be printable; ESC with another printable
  // character is an Alt key, which gives nothing; and ESC with any other
  // byte is the Escape key, then that byte read afresh.
  bool escape_pairs;
  // Inside a CSI sequence, bytes outside its grammar (control characters,
  // DEL, bytes from 80h) and "[" are passed over. Otherwise "[" is a final
  // byte and any other of them ends the sequence, and is read afresh.
  bool lenient_csi;
};

constexpr rules LINE_EDITOR_RULES = {false, false, false};
constexpr rules TEXT_UI_RULES = {true, true, true};

// A CSI sequence keeps four numeric parameters; further ones are counted
// and dropped. A parameter stops growing at six digits (a terminal's rows
// and columns have at most five), so that a long run of digits cannot
// overflow it.
constexpr int32_t MAX_PARAMETERS = 4;
constexpr int32_t PARAMETER_LIMIT = 100000;

// The decoder's state between bytes.
struct decoder {
  rules with;
  int32_t state = 0;           // ground, escape, CSI, pair, string, UTF-8
  int32_t length = 0;          // bytes of the sequence under way
  uint32_t cp = 0;             // UTF-8: the bits gathered so far
  int32_t need = 0;            // UTF-8: continuation bytes still to come
  int32_t got = 0;             // UTF-8: continuation bytes gathered
  uint8_t low = 0, high = 0;   // UTF-8: the range of the next byte
  uint8_t raw[8] = {};         // CSI and pairs: the bytes after ESC, for the key table
  int32_t raw_count = 0;       // may exceed 8
  int32_t params[MAX_PARAMETERS] = {};
  int32_t param_count = 1;     // CSI: the parameter being read, from 1
  bool mouse = false;          // CSI: "<" seen
  bool string_escape = false;  // string: the last byte was ESC

  explicit decoder(rules r) : with(r) {}
};

// Feeds one byte; answers how many events (0 to MAX_EVENTS) it completed,
// stored in out in order. A byte that cannot continue the sequence under
// way ends it as the rules say.
int32_t feed(decoder& d, uint8_t byte, event out[MAX_EVENTS]);
// The input paused: a pending Escape becomes the Escape key (answered in
// out, true), any other unfinished sequence is dropped.
bool timeout(decoder& d, event& out);
// Whether a sequence is under way, and how many bytes it has taken.
inline bool pending_q(const decoder& d) { return d.state != 0; }
inline int32_t pending_length(const decoder& d) { return d.length; }
// Whether the sequence under way is a DCS or OSC string.
bool in_string_q(const decoder& d);

}  // namespace ixo::platform::keys
