// Global routines of the boot library written in C++: each entry reads its
// argument cells from the argument base and leaves its result in the
// result slot (the argument base's cell). The init functions register the
// entries by their Ixo names, for the boot library's routine! values.
#pragma once

namespace ixo::boot {

// Files and directories (routines_files.cpp).
void get_current_dir();  // get-current-dir: the current directory, OS form, ending in "/"
void set_current_dir();  // set-current-dir path: access/cannot-open on failure
void create_dir();       // create-dir path: access/no-create on failure
void exists_q();         // exists? path: logic!
void write_stdout();     // write-stdout data: writes the value to standard output
void init_file_routines();

// Process, system and value routines (routines_system.cpp).
void quit_return();      // quit-return status: ends the process with the status
void set_quiet();        // set-quiet word value: sets without the change handler
void os_info();          // os-info: the OS description object
void as_color();         // as-color r g b: r.g.b, each taken modulo 256
void as_ipv4();          // as-ipv4 a b c d: a.b.c.d
void as_rgba();          // as-rgba r g b a: r.g.b.a
void read_clipboard();   // read-clipboard: false, there is no clipboard yet
void write_clipboard();  // write-clipboard data: false, there is no clipboard yet
void init_system_routines();

// Value routines (routines_values.cpp).
void set_slot_quiet();   // set-slot-quiet series value: stores at the index, telling no owner
void shift_right();      // shift-right data bits: arithmetic right shift
void shift_left();       // shift-left data bits
void shift_logical();    // shift-logical data bits: unsigned right shift
void count_chars();      // count-chars start pos: UTF-8 characters between the positions
void make_null_handle(); // make-null-handle: an empty handle! (no class, value 0)
void init_value_routines();

// Routines over the running runtime (routines_runtime.cpp).
void last_lf_q();        // last-lf?: whether the latest print ended with a line end
void stack_size_q();     // stack-size?: cells on the value stack
void pick_stack();       // pick-stack idx: value-stack cell idx (1-based), else none
void frame_index_q();    // frame-index?: the argument base, in cells from the bottom
void collect_calls();    // collect-calls blk: appends word and argument base per pending call
void tracing_q();        // tracing?: whether evaluation events are traced
void active_q();         // active? of system/state/GC: whether the collector runs
void series_cycles();    // series-cycles of system/state/GC: collections so far
void nodes_cycles();     // nodes-cycles of system/state/GC: collections that moved nodes
void init_runtime_routines();

// What the system object is made from and kept in step with
// (routines_system_object.cpp).
void make_system_words();  // make-system-words: the global context as an object
void error_catalog();      // error-catalog: the runtime's error catalog object
void get_command_line();   // get-command-line: the raw command line as a string
void set_float_pretty();   // set-float-pretty on: the float former's pretty switch
void init_system_object_routines();

// The members of the codec objects (routines_codecs.cpp).
void encode_bmp();       // encode-bmp img where: the image encoder with format 0
void encode_png();       // encode-png img where: format 1
void encode_gif();       // encode-gif img where: format 2
void encode_jpeg();      // encode-jpeg img where: format 3
void encode_tiff();      // encode-tiff img where: format 4
void decode_image();     // decode-image data: the image decoder
void encode_ixobin();    // encode-ixobin data compact?: the Ixobin writer's binary!
void decode_ixobin();    // decode-ixobin payload: the value, or the block of values
void init_codec_routines();

// The JSON codec's routines (routines_json.cpp).
void decode_json();      // decode-json input: [value], the text at the failure, or none when too deep
void unescape();         // unescape str: rewrites the string's JSON escapes in place
void name_key();         // name-key name: the word spelled exactly as the name, else the name
void encode_json();      // encode-json data indent ascii: the JSON text of the data
void init_json_routines();

// The CSV codec's routines (routines_csv.cpp).
void read_lines();       // read-lines output data delimiter quote trim ignore-empty strict one: where it stopped
void write_lines();      // write-lines output records delimiter quote length: false when not aligned
void init_csv_routines();

// The evaluation tools' routines (routines_tools.cpp).
void profile_event();    // profile-event tools counter: the profiler's work on its handler's event
void mold_text();        // mold-text value part only opening closing: the tracer's cut mold
void collect_event();    // collect-event state debug-line: the collector's work on its handler's event
void init_tools_routines();

// The reactivity routine (routines_reactivity.cpp).
void check_relations();  // check-relations ctx reactor only field: check's walk over the relations and the queue
void init_reactivity_routines();

}  // namespace ixo::boot
