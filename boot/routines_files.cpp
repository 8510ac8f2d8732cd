// The file and directory routines of the boot library.
#include "boot/routines.hpp"

#include <string>

#include "platform/posix/bindings.hpp"
#include "platform/environment.hpp"
#include "platform/posix/files.hpp"
#include "platform/simple_io.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/none.hpp"
#include "runtime/datatypes/routine.hpp"
#include "runtime/datatypes/unset.hpp"
#include "runtime/interpreter/fire.hpp"
#include "runtime/interpreter/stack.hpp"

namespace ixo::boot {

void get_current_dir() { file::get_current_dir(stack::arguments); }

void set_current_dir() {
  std::string path;
  if (!simple_io::os_path_of(stack::arguments, path) || !platform::set_current_dir(path.c_str()))
    fire(err::access_cannot_open, {*stack::arguments});
  *stack::arguments = unset::unset_value;
}

void create_dir() {
  std::string path;
  if (!simple_io::os_path_of(stack::arguments, path) || !platform::make_dir(path.c_str()))
    fire(err::access_no_create, {*stack::arguments});
  *stack::arguments = unset::unset_value;
}

void exists_q() {
  std::string path;
  bool exists = simple_io::os_path_of(stack::arguments, path) && platform::file_exists_q(path.c_str());
  *stack::arguments = logic::make_cell(exists);
}

void write_stdout() {
  simple_io::write(nullptr, stack::arguments, nullptr, nullptr, false, false, false);
  *stack::arguments = unset::unset_value;
}

// _user-home: the user's home folder as text, or none when there is no
// usable one.
void user_home() {
  std::string home = platform::user_home();
  if (home.empty()) {
    *stack::arguments = none::none_value;
    return;
  }
  simple_io::load_os_text(home.data(), home.size(), stack::arguments);
}

void init_file_routines() {
  routine::register_entry("get-current-dir", get_current_dir);
  routine::register_entry("set-current-dir", set_current_dir);
  routine::register_entry("create-dir", create_dir);
  routine::register_entry("exists?", exists_q);
  routine::register_entry("write-stdout", write_stdout);
  routine::register_entry("_user-home", user_home);
}

}  // namespace ixo::boot
