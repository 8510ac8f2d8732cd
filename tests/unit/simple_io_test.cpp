// The file services through file!'s actions and the file routines, in a
// fresh temporary folder that is also HOME.
#include "platform/simple_io.hpp"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "boot/routines.hpp"
#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/file.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/logic.hpp"
#include "runtime/datatypes/registry.hpp"
#include "runtime/interpreter/actions.hpp"
#include "runtime/interpreter/stack.hpp"
#include "support/child.hpp"
#include "support/kept.hpp"
#include "support/raised.hpp"
#include "support/routine_call.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

namespace fs = std::filesystem;
using test::text_of;

struct simple_io_files : ::testing::Test {
  std::string folder, old_home;
  fs::path old_dir;
  bool had_home = false;

  void SetUp() override {
    test::start_runtime();
    stack::keep();  // the result slot: arguments lie above it
    char name[] = "/tmp/ixo-files-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder = name;
    old_dir = fs::current_path();
    fs::current_path(folder);
    if (const char* h = std::getenv("HOME")) had_home = true, old_home = h;
    setenv("HOME", folder.c_str(), 1);
  }
  void TearDown() override {
    fs::current_path(old_dir);
    fs::remove_all(folder);
    if (had_home) setenv("HOME", old_home.c_str(), 1);
    else unsetenv("HOME");
  }

  static cell file(const std::string& path) {
    cell* c = stack::push_slot();
    string::load_at(reinterpret_cast<const uint8_t*>(path.data()), static_cast<int32_t>(path.size()), c,
                    string::LOAD_UTF8);
    set_type(c, TYPE_FILE);
    return test::keep(*stack::top_cell());
  }
  // An argument cell above the argument base, as the dispatcher passes one.
  static cell* arg(const cell& value) { return stack::push(value); }
  static cell* integer_arg(int32_t v) { return arg(integer::make_cell(v)); }

  static void put(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
  }
  static std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  // read of file! through the action table, as the read action calls it.
  static cell read(const std::string& path, cell* part = nullptr, cell* seek = nullptr, bool binary = false,
                   bool lines = false) {
    cell f = file(path);
    auto entry = datatype::action_of<read_fn>(TYPE_FILE, ACT_READ);
    return test::keep(*entry(&f, part, seek, binary, lines, 0, nullptr));
  }
  static void write(const std::string& path, cell value, cell* part = nullptr, cell* seek = nullptr,
                    bool append = false, bool lines = false) {
    cell f = file(path);
    cell* v = arg(value);
    auto entry = datatype::action_of<write_fn>(TYPE_FILE, ACT_WRITE);
    entry(&f, v, 0, lines, 0, append, part, seek, nullptr, nullptr);
  }
  static cell text(const std::string& utf8) {
    cell* c = stack::push_slot();
    string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), c,
                    string::LOAD_UTF8);
    return test::keep(*c);
  }
  static std::vector<std::string> texts_of(cell blk) {
    std::vector<std::string> out;
    for (int32_t i = 0; i < block::rs_length_q(&blk); ++i) {
      cell item = test::keep(block::rs_head(&blk)[i]);
      out.push_back(text_of(&item));
    }
    return out;
  }
  static std::string raised_file() {
    cell a = test::keep(last_raised.args[0]);
    return TYPE_OF(&a) == TYPE_FILE ? text_of(&a) : "(not a file)";
  }
};

TEST_F(simple_io_files, empty_file_and_part_zero_give_empty_values) {
  put("empty", "");
  put("full", "abc");
  for (const char* path : {"empty", "full"}) {
    SCOPED_TRACE(path);
    bool whole = std::string(path) == "empty";
    cell* zero = whole ? nullptr : integer_arg(0);
    cell s = read(path, zero);
    EXPECT_EQ(TYPE_OF(&s), TYPE_STRING);
    EXPECT_EQ(text_of(&s), "");
    cell b = read(path, zero, nullptr, true);
    EXPECT_EQ(TYPE_OF(&b), TYPE_BINARY);
    EXPECT_EQ(binary::rs_length_q(&b), 0);
  }
  // With /lines too the empty value is a string, not a block.
  cell lines = read("empty", nullptr, nullptr, false, true);
  EXPECT_EQ(TYPE_OF(&lines), TYPE_STRING);
  EXPECT_EQ(text_of(&lines), "");
  cell part_lines = read("full", integer_arg(0), nullptr, false, true);
  EXPECT_EQ(TYPE_OF(&part_lines), TYPE_STRING);
  EXPECT_EQ(text_of(&part_lines), "");
}

TEST_F(simple_io_files, text_loses_its_bom_and_line_ends_become_lf) {
  put("t", "\xEF\xBB\xBF" "a\r\nb\rc\n\xC3\xA9");
  cell s = read("t");
  EXPECT_EQ(text_of(&s), "a\nb\nc\n\xC3\xA9");
  cell b = read("t", nullptr, nullptr, true);
  EXPECT_EQ(binary::rs_length_q(&b), 12);  // /binary keeps every byte
}

TEST_F(simple_io_files, lines_split_at_lf_and_drop_the_cr_before_it) {
  struct row { const char* bytes; std::vector<std::string> lines; };
  const row rows[] = {
      {"a\r\nb\n\nc", {"a", "b", "", "c"}},
      {"a\n", {"a"}},
      {"\n", {""}},
      {"x\ry\n", {"x\ry"}},
  };
  for (const row& r : rows) {
    put("l", r.bytes);
    EXPECT_EQ(texts_of(read("l", nullptr, nullptr, false, true)), r.lines) << r.bytes;
  }
}

TEST_F(simple_io_files, seek_and_part_choose_the_bytes) {
  put("h", "hello world");
  struct row { int32_t part, seek; const char* expected; };
  const row rows[] = {{-1, 6, "world"}, {3, 6, "wor"}, {100, -1, "hello world"}, {5, -1, "hello"},
                      {-1, 11, ""}, {-1, 50, ""}, {2, 0, "he"}};
  for (const row& r : rows) {
    cell* part = r.part >= 0 ? integer_arg(r.part) : nullptr;
    cell* seek = r.seek >= 0 ? integer_arg(r.seek) : nullptr;
    cell s = read("h", part, seek);
    EXPECT_EQ(text_of(&s), r.expected) << r.part << " " << r.seek;
  }
  cell* bad = arg(text("x"));
  EXPECT_TRUE(test::is(test::raised([&] { read("h", bad); }), err::script_invalid_refine_arg));
}

TEST_F(simple_io_files, missing_file_reports_cannot_open_with_the_file) {
  EXPECT_TRUE(test::is(test::raised([] { read("missing.txt"); }), err::access_cannot_open));
  EXPECT_EQ(raised_file(), "missing.txt");
  // A path holding a NUL names no file, not the file before the NUL.
  put("a", "secret");
  EXPECT_TRUE(test::is(test::raised([] { read(std::string("a\0b", 3)); }), err::access_cannot_open));
  cell answer = test::call_routine(boot::exists_q, {file(std::string("a\0b", 3))});
  EXPECT_FALSE(logic::get(&answer));
}

TEST_F(simple_io_files, streams_without_a_size_are_read_whole_once) {
  cell proc = read("/proc/self/status");
  EXPECT_NE(text_of(&proc).find("Name:"), std::string::npos);

  // A pipe bigger than one read chunk, with a seek that a pipe cannot do.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  pid_t writer = fork();
  if (writer == 0) {
    close(fds[0]);
    std::string big(200000, 'x');
    big[0] = 'a';
    big.back() = 'z';
    ssize_t n = ::write(fds[1], big.data(), big.size());
    _exit(n == static_cast<ssize_t>(big.size()) ? 0 : 1);
  }
  close(fds[1]);
  cell s = read("/dev/fd/" + std::to_string(fds[0]), nullptr, integer_arg(1));
  close(fds[0]);
  int status = 0;
  waitpid(writer, &status, 0);
  std::string got = text_of(&s);
  EXPECT_EQ(got.size(), 199999u);
  EXPECT_EQ(got.front(), 'x');
  EXPECT_EQ(got.back(), 'z');

  cell zero = read("/dev/zero", integer_arg(4), nullptr, true);  // ends at part, never hangs
  EXPECT_EQ(binary::rs_length_q(&zero), 4);
}

TEST_F(simple_io_files, listings_mark_folders_and_skip_dot_entries) {
  fs::create_directory("sub");
  put("f.txt", "");
  put("sub/inner", "");
  auto sorted = [](std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
  };
  EXPECT_EQ(sorted(texts_of(read("./"))), (std::vector<std::string>{"f.txt", "sub/"}));
  EXPECT_EQ(sorted(texts_of(read("."))), (std::vector<std::string>{"f.txt", "sub/"}));
  EXPECT_EQ(texts_of(read("sub/..//sub/")), (std::vector<std::string>{"inner"}));
  cell one = read("sub/");
  EXPECT_EQ(TYPE_OF(block::rs_head(&one)), TYPE_FILE);
  std::vector<std::string> root = texts_of(read("/"));
  EXPECT_NE(std::find(root.begin(), root.end(), "tmp/"), root.end());
  EXPECT_TRUE(test::is(test::raised([] { read("nosuch/"); }), err::access_cannot_open));
}

TEST_F(simple_io_files, write_replaces_appends_and_overwrites_from_seek) {
  write("w", text("old content"));
  write("w", text("new"));
  EXPECT_EQ(contents("w"), "new");
  write("w", text("+more"), nullptr, nullptr, true);
  EXPECT_EQ(contents("w"), "new+more");
  write("w", text("NE"), nullptr, integer_arg(4));
  EXPECT_EQ(contents("w"), "new+NEre");
  write("w", text("a\nb\xC3\xA9"));
  EXPECT_EQ(contents("w"), "a\nb\xC3\xA9");  // LF stays LF
  write("w", text("abcdef"), integer_arg(2));
  EXPECT_EQ(contents("w"), "ab");
  write("w", integer::make_cell(42));
  EXPECT_EQ(contents("w"), "42");
  cell bin = test::keep(*binary::load(reinterpret_cast<const uint8_t*>("\x00\x01\xFF"), 3));
  write("w", bin);
  EXPECT_EQ(contents("w"), std::string("\x00\x01\xFF", 3));
}

TEST_F(simple_io_files, write_lines_and_part_edges) {
  cell* held = stack::push_slot();
  block::make_at(held, 2);
  cell blk = test::keep(*held);
  cell x = text("x");
  block::rs_append(&blk, &x);
  cell one = integer::make_cell(1);
  block::rs_append(&blk, &one);
  write("l", blk, nullptr, nullptr, false, true);
  EXPECT_EQ(contents("l"), "x\n1\n");
  write("l", text("y"), nullptr, nullptr, false, true);
  EXPECT_EQ(contents("l"), "y\n");

  write("l", text("z"), integer_arg(-1));  // writes nothing, raises nothing
  EXPECT_EQ(contents("l"), "y\n");
  cell* bad = arg(text("2"));
  EXPECT_TRUE(test::is(test::raised([&] { write("l", text("z"), bad); }), err::script_invalid_refine_arg));
  EXPECT_EQ(contents("l"), "y\n");
}

TEST_F(simple_io_files, failed_writes_raise_instead_of_losing_data) {
  // A file that opens but does not take the bytes: the error says why.
  EXPECT_TRUE(test::is(test::raised([&] { write("/dev/full", text("data")); }), err::access_cannot_write));
  cell reason = test::keep(last_raised.args[1]);  // before anything allocates
  EXPECT_EQ(raised_file(), "/dev/full");
  EXPECT_EQ(TYPE_OF(&reason), TYPE_STRING);
  EXPECT_EQ(text_of(&reason), std::strerror(ENOSPC));
  EXPECT_TRUE(test::is(test::raised([&] { write("nosuch/f", text("data")); }), err::access_cannot_open));
  EXPECT_TRUE(test::is(test::raised([&] { write("./", text("data")); }), err::access_cannot_open));
}

TEST_F(simple_io_files, query_gives_the_utc_modification_date) {
  put("q", "x");
  timeval times[2] = {{1614834367, 0}, {1614834367, 250000}};  // 4-Mar-2021/5:06:07.25 UTC
  ASSERT_EQ(utimes("q", times), 0);
  cell f = file("q");
  auto query = datatype::action_of<query_fn>(TYPE_FILE, ACT_QUERY);
  cell d = test::keep(*query(&f));
  ASSERT_EQ(TYPE_OF(&d), TYPE_DATE);
  EXPECT_EQ(date::get_zone(d.data1), 0u);
  EXPECT_EQ(date::get_year(d.data1), 2021);
  EXPECT_EQ(date::get_month(d.data1), 3);
  EXPECT_EQ(date::get_day(d.data1), 4);
  EXPECT_DOUBLE_EQ(get_float(&d), 5 * 3600 + 6 * 60 + 7.25);

  fs::create_directory("dir");
  for (const char* path : {"q/", "nosuch", "dir"}) {
    cell p = file(path);
    cell r = test::keep(*query(&p));
    EXPECT_EQ(TYPE_OF(&r), std::string(path) == "dir" ? TYPE_DATE : TYPE_NONE) << path;
  }
}

TEST_F(simple_io_files, rename_never_replaces_and_delete_follows_the_spelling) {
  put("a", "A");
  put("b", "B");
  auto rename = datatype::action_of<rename_fn>(TYPE_FILE, ACT_RENAME);
  auto remove = datatype::action_of<delete_fn>(TYPE_FILE, ACT_DELETE);
  cell a = file("a"), b = file("b"), c = file("c");
  EXPECT_FALSE(logic::get(rename(&a, &b)));
  EXPECT_EQ(contents("a"), "A");
  EXPECT_EQ(contents("b"), "B");
  EXPECT_TRUE(logic::get(rename(&a, &c)));
  EXPECT_EQ(contents("c"), "A");

  fs::create_directory("d");
  struct row { const char* path; bool removed; };
  const row rows[] = {{"d", false}, {"d/", true}, {"c", true}, {"c", false}, {"nosuch", false}};
  for (const row& r : rows) {
    cell p = file(r.path);
    EXPECT_EQ(logic::get(remove(&p)) != 0, r.removed) << r.path;
  }
  EXPECT_FALSE(fs::exists("d"));
}

TEST_F(simple_io_files, directory_routines) {
  cell answer = test::call_routine(boot::exists_q, {file("nosuch")});
  EXPECT_FALSE(logic::get(&answer));
  EXPECT_TRUE(test::is(test::raised([&] { test::call_routine(boot::create_dir, {file("a/b/c")}); }),
                       err::access_no_create));
  EXPECT_EQ(raised_file(), "a/b/c");
  test::call_routine(boot::create_dir, {file("a")});
  EXPECT_TRUE(fs::is_directory("a"));
  answer = test::call_routine(boot::exists_q, {file("a")});
  EXPECT_TRUE(logic::get(&answer));

  test::call_routine(boot::set_current_dir, {file("a")});
  cell here = test::call_routine(boot::get_current_dir, {});
  EXPECT_EQ(text_of(&here), fs::canonical(folder).string() + "/a/");
  EXPECT_TRUE(test::is(test::raised([&] { test::call_routine(boot::set_current_dir, {file("nosuch")}); }),
                       err::access_cannot_open));
}

TEST_F(simple_io_files, write_stdout_writes_after_what_was_printed) {
  test::child_result r = test::run_child([] {
    cell s = text("out\n");
    test::call_routine(boot::write_stdout, {s});
    std::_Exit(0);
  });
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "out\n");
}

}  // namespace
}  // namespace ixo
