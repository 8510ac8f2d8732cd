// event!: the value that carries one user-interface event to the view
// engine, and the GUI layer's routines over it (event?, send-event-os,
// find-flag?).
//
// Cell: payload word 1 the event type code (1 to 35, 0 for a made event
// without a type) in bits 0-7 and bits 16-20 of the key's code point in
// bits 8-12; word 2 the node of the value block [face window offset picked]
// when flag bit 16 is set (0 when the event has no block); word 3 the
// flags: bits 0-15 of the key's code point, bit 16 "holds a value block",
// bits 22-31 the button and modifier bits.
//
// Events that the terminal backend makes keep the number of the backend's
// event record in word 2 and have flag bit 16 clear; their face, offset,
// key and picked value are read from that record through the reader the
// backend installs. Their flag bit 0 says that the record's key is a
// special key.
#pragma once
#include <cstdint>

#include "runtime/memory/cell.hpp"

namespace ixo::gui::event {

constexpr uint32_t FLAG_VALUES = 1u << 16;
constexpr uint32_t FLAG_AUX_DOWN = 1u << 22;
constexpr uint32_t FLAG_ALT_DOWN = 1u << 23;
constexpr uint32_t FLAG_MID_DOWN = 1u << 24;
constexpr uint32_t FLAG_DOWN = 1u << 25;
constexpr uint32_t FLAG_AWAY = 1u << 26;
constexpr uint32_t FLAG_CONTROL = 1u << 28;
constexpr uint32_t FLAG_SHIFT = 1u << 29;
constexpr uint32_t FLAG_ALT = 1u << 30;
constexpr uint32_t FLAG_COMMAND = 1u << 31;

constexpr uint32_t FLAG_SPECIAL_KEY = 1;

// What a backend event record holds, as the field readers need it.
struct backend_record {
  cell face;     // the widget's face, none when the widget is gone
  float x, y;    // pointer position in the face's cells
  int32_t value; // key code, or the picked index
  float wheel;   // wheel amount of a wheel event
};
// Fills `out` from the record numbered `record`; false when there is no
// such record. Installed by the backend.
using record_reader = bool (*)(uint32_t record, backend_record& out);
void set_record_reader(record_reader reader);

// The number of event types; codes run from 1 to TYPE_COUNT.
constexpr int32_t TYPE_COUNT = 35;

// The code of the event type named by the word, 0 when none.
int32_t type_code(const cell* word);

// Registers the datatype (the last one, id 54).
void init();
// Interns the type, field and flag words; after the symbol table exists.
void build_words();
// Registers the routines event?, send-event-os and find-flag?.
void init_routines();

}  // namespace ixo::gui::event
