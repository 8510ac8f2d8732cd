// port!: an object whose series and I/O actions are carried out by a
// scheme written in the language. The cell has the object layout: the
// context node in payload word 1, the class (2 for ports made by make) in
// word 2, the change-handler record in word 3. The port's fields come from
// the boot library's port template; the runtime reads only the first
// three, by position: the spec object, the scheme word and the actor.
//
// Schemes are registered in system/schemes as a word followed by a scheme
// object, whose fourth field is its actor. An actor object holds one
// function per action it supports, named like the action. The action is
// run by calling that function with the port and the action's arguments:
// every refinement goes over as a logic! followed by its argument (none!
// when it was not used), so that the function's spec mirrors the action's.
//
// An actor may also be a handle! (a native actor): its entry in the handle
// table holds the address of an array of NATIVE_ACTIONS action entries,
// append to write in action order, each with the signature of that
// action's implementation (0 for an action it does not support). Action
// dispatch takes those entries in place of the port! row.
#pragma once
#include <cstdint>

#include "runtime/datatypes/registry.hpp"
#include "runtime/memory/cell.hpp"

namespace ixo::port {

constexpr uint32_t CLASS_PORT = 2;
enum port_field : int32_t { FIELD_SPEC = 0, FIELD_SCHEME = 1, FIELD_ACTOR = 2 };
constexpr int32_t NATIVE_ACTIONS = ACT_WRITE - ACT_APPEND + 1;

// For an action from append on: the native actor's entry when the port's
// actor is a handle!, raising access/no-port-action when it has none;
// nullptr when the actor is not a handle! (the port! row applies).
action_entry native_action(const cell* port, int32_t index);

// Registers port! (type 48) under object!.
void init();

}  // namespace ixo::port
