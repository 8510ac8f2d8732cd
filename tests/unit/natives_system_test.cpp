// The system natives as the interpreter calls them: now and its
// refinements, wait's clamping, the environment, call with its streams,
// file sizes and local paths, stats and recycle.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "runtime/datatypes/binary.hpp"
#include "runtime/datatypes/block.hpp"
#include "runtime/datatypes/date.hpp"
#include "runtime/datatypes/float.hpp"
#include "runtime/datatypes/integer.hpp"
#include "runtime/datatypes/map.hpp"
#include "runtime/datatypes/string.hpp"
#include "runtime/datatypes/time.hpp"
#include "runtime/interpreter/natives_system.hpp"
#include "runtime/memory/stats.hpp"
#include "runtime/memory/memory.hpp"
#include "startup/start.hpp"
#include "support/native_call.hpp"
#include "support/raised.hpp"
#include "support/runtime.hpp"

namespace ixo {
namespace {

using test::call_entry;

cell text(const std::string& utf8, uint32_t type = TYPE_STRING) {
  cell c{};
  string::load_at(reinterpret_cast<const uint8_t*>(utf8.data()), static_cast<int32_t>(utf8.size()), &c,
                  string::LOAD_UTF8);
  set_type(&c, type);
  return test::keep(c);
}

cell binary_of(const std::string& b) {
  cell c{};
  binary::load_at(reinterpret_cast<const uint8_t*>(b.data()), static_cast<int32_t>(b.size()), &c);
  return test::keep(c);
}

std::string string_of(cell c) { return test::text_of(&c); }

std::string bytes_of(cell c) {
  const uint8_t* head = binary::rs_head(&c);
  return std::string(reinterpret_cast<const char*>(head), static_cast<size_t>(binary::rs_length_q(&c)));
}

int32_t int_of(const cell& c) { return static_cast<int32_t>(c.data2); }

const cell none_cell{TYPE_NONE, 0, 0, 0};

class system_native : public ::testing::Test {
 protected:
  void SetUp() override { test::start_runtime(); }

  // now with the refinements named by their positions.
  static cell now(std::initializer_list<int> given) {
    std::vector<int32_t> r(10, -1);
    for (int i : given) r[static_cast<size_t>(i)] = 0;
    return call_entry(natives::now, {}, {r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9]});
  }
  enum { YEAR, MONTH, DAY, TIME, ZONE, DATE, WEEKDAY, YEARDAY, PRECISE, UTC };

  static cell get_env(cell name) { return call_entry(natives::get_env, {name}); }
  static cell set_env(cell name, cell value) { return call_entry(natives::set_env, {name, value}); }

  // call with /wait (and /shell), and the streams given.
  static cell call(cell cmd, const cell* in = nullptr, const cell* out = nullptr, const cell* err = nullptr,
                   bool wait = true) {
    std::vector<cell> args{cmd};
    int32_t r[7] = {wait ? 1 : -1, -1, -1, -1, -1, -1, -1};
    const cell* streams[3] = {in, out, err};
    for (int i = 0; i < 3; ++i) {
      if (!streams[i]) continue;
      r[4 + i] = static_cast<int32_t>(args.size());
      args.push_back(*streams[i]);
    }
    if (wait) r[0] = static_cast<int32_t>(args.size());
    switch (args.size()) {
      case 1: return call_entry(natives::call, {args[0]}, {r[0], r[1], r[2], r[3], r[4], r[5], r[6]});
      case 2: return call_entry(natives::call, {args[0], args[1]}, {r[0], r[1], r[2], r[3], r[4], r[5], r[6]});
      case 3:
        return call_entry(natives::call, {args[0], args[1], args[2]}, {r[0], r[1], r[2], r[3], r[4], r[5], r[6]});
      default:
        return call_entry(natives::call, {args[0], args[1], args[2], args[3]},
                          {r[0], r[1], r[2], r[3], r[4], r[5], r[6]});
    }
  }
};

TEST_F(system_native, now_allows_one_field_refinement_and_time_with_precise) {
  const std::vector<std::vector<int>> refused = {{YEAR, MONTH}, {DATE, TIME}, {WEEKDAY, YEARDAY}, {ZONE, PRECISE}};
  for (const auto& r : refused) {
    EXPECT_TRUE(test::is(test::raised([&] {
                  std::vector<int32_t> refs(10, -1);
                  for (int i : r) refs[static_cast<size_t>(i)] = 0;
                  call_entry(natives::now, {}, {refs[0], refs[1], refs[2], refs[3], refs[4], refs[5], refs[6], refs[7],
                                                refs[8], refs[9]});
                }),
                         err::script_bad_refines));
  }
  struct row {
    std::initializer_list<int> given;
    uint32_t type;
  };
  const row rows[] = {
      {{}, TYPE_DATE},           {{TIME, PRECISE}, TYPE_TIME}, {{UTC, YEAR}, TYPE_INTEGER},
      {{MONTH}, TYPE_INTEGER},   {{DAY}, TYPE_INTEGER},        {{ZONE}, TYPE_TIME},
      {{DATE, UTC}, TYPE_DATE},  {{WEEKDAY}, TYPE_INTEGER},    {{YEARDAY}, TYPE_INTEGER},
      {{PRECISE}, TYPE_DATE},
  };
  for (const row& r : rows) EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(now(r.given))), r.type);
}

TEST_F(system_native, now_fields_agree_with_the_date) {
  cell today = now({});
  EXPECT_NE(today.data1 & date::HAS_TIME, 0u);
  cell day_only = now({DATE});
  EXPECT_EQ(day_only.data1 & (date::HAS_TIME | date::ZONE_MASK), 0u);
  int32_t weekday = int_of(now({WEEKDAY}));
  EXPECT_GE(weekday, 1);
  EXPECT_LE(weekday, 7);
  int32_t yearday = int_of(now({YEARDAY}));
  EXPECT_GE(yearday, 1);
  EXPECT_LE(yearday, 366);
  EXPECT_GE(int_of(now({UTC, YEAR})), 2024);
  // Time with precise keeps the fraction of the second, below a day.
  double t = get_float(&static_cast<const cell&>(now({TIME, PRECISE})));
  EXPECT_GE(t, 0.0);
  EXPECT_LT(t, 86400.0 + 14 * 3600.0);
}

TEST_F(system_native, wait_takes_numbers_and_times_and_clamps_odd_ones) {
  const cell waits[] = {integer::make_cell(0), integer::make_cell(-5), float_::make_cell(-1.5),
                        float_::make_cell(std::nan("")), float_::make_cell(0.001), time::make_cell(0.001)};
  for (const cell& w : waits) {
    cell r = call_entry(natives::wait, {w}, {-1});
    EXPECT_EQ(TYPE_OF(&r), TYPE_NONE);
  }
  EXPECT_TRUE(test::is(test::raised([] { call_entry(natives::wait, {none_cell}, {-1}); }), err::script_invalid_arg));
  cell blk = test::keep(*block::make_at(stack::push_slot(), 1));
  stack::pop(1);
  EXPECT_TRUE(test::is(test::raised([&] { call_entry(natives::wait, {blk}, {-1}); }), err::script_invalid_arg));
}

TEST_F(system_native, environment_variables_round_trip) {
  cell name = text("IXO_NATIVE_TEST_VAR");
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(get_env(name))), TYPE_NONE);
  cell value = text("caf\xC3\xA9");
  cell answered = set_env(name, value);
  EXPECT_EQ(string_of(answered), "caf\xC3\xA9");
  EXPECT_EQ(string_of(get_env(name)), "caf\xC3\xA9");
  EXPECT_EQ(string_of(get_env(error_word("IXO_NATIVE_TEST_VAR"))), "caf\xC3\xA9");  // by a word's name
  set_env(name, text(""));
  cell empty = get_env(name);
  EXPECT_EQ(TYPE_OF(&empty), TYPE_STRING);
  EXPECT_EQ(string_of(empty), "");
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(set_env(name, none_cell))), TYPE_NONE);
  EXPECT_EQ(std::getenv("IXO_NATIVE_TEST_VAR"), nullptr);
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(get_env(name))), TYPE_NONE);
}

TEST_F(system_native, environment_names_and_values_that_cannot_be_set_are_refused) {
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(get_env(text("A=B")))), TYPE_NONE);
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(get_env(text("")))), TYPE_NONE);
  for (const cell& bad : {text("A=B"), text(""), text(std::string("A\0B", 3))}) {
    EXPECT_TRUE(test::is(test::raised([&] { set_env(bad, text("x")); }), err::script_invalid_arg));
  }
  EXPECT_TRUE(test::is(test::raised([] { set_env(text("IXO_NUL"), text(std::string("a\0b", 3))); }),
                       err::script_invalid_arg));
  EXPECT_EQ(std::getenv("IXO_NUL"), nullptr);
  // Bytes that are not UTF-8 come back as U+FFFD rather than failing.
  setenv("IXO_LATIN1", "caf\xE9", 1);
  EXPECT_EQ(string_of(get_env(text("IXO_LATIN1"))), "caf\xEF\xBF\xBD");
  unsetenv("IXO_LATIN1");
}

TEST_F(system_native, list_env_maps_every_variable_to_its_value) {
  setenv("IXO_LIST_A", "one", 1);
  setenv("ixo_list_a", "two", 1);  // names differ by case only: both kept
  cell m = call_entry(natives::list_env, {});
  ASSERT_EQ(TYPE_OF(&m), TYPE_MAP);
  int32_t count = 0;
  for (char** e = environ; *e; ++e) ++count;
  EXPECT_EQ(map::count_of(&m), count);
  int32_t cells = 0;
  const cell* pairs = block::values_of(&m, cells);
  std::vector<std::pair<std::string, std::string>> found;
  for (int32_t i = 0; i + 1 < cells; i += 2) {
    cell key = pairs[i], value = pairs[i + 1];
    found.emplace_back(test::text_of(&key), test::text_of(&value));
    pairs = block::values_of(&m, cells);
  }
  auto has = [&](const std::string& k, const std::string& v) {
    return std::find(found.begin(), found.end(), std::make_pair(k, v)) != found.end();
  };
  EXPECT_TRUE(has("HOME", std::getenv("HOME")));
  EXPECT_TRUE(has("IXO_LIST_A", "one"));
  EXPECT_TRUE(has("ixo_list_a", "two"));
  unsetenv("IXO_LIST_A");
  unsetenv("ixo_list_a");
}

TEST_F(system_native, call_answers_the_exit_status_when_it_waits) {
  struct row {
    const char* command;
    int32_t status;
  };
  // Without /shell the text is split into a program and its arguments ($$
  // stays as it is), so the signal case asks a shell to kill itself; "exit
  // 3" names no program and reaches the shell as a missing program does.
  const row rows[] = {
      {"exit 3", 3}, {"true", 0}, {"", 0}, {"sh -c 'kill -9 $$'", 128 + 9}, {"no-such-command-ixo", 127}};
  for (const row& r : rows) EXPECT_EQ(int_of(call(text(r.command))), r.status) << r.command;
  EXPECT_EQ(int_of(call(text(""), nullptr, nullptr, nullptr, false)), 0);
  // Without waiting the answer is the process id.
  EXPECT_GT(int_of(call(text("exit 0"), nullptr, nullptr, nullptr, false)), 1);
  EXPECT_TRUE(test::is(test::raised([] { call(text(std::string("true\0rm -rf /tmp/x", 17))); }),
                       err::script_invalid_arg));
}

TEST_F(system_native, call_feeds_input_and_captures_output_and_error) {
  cell out = text("before:");
  cell err = text("");
  cell input = text("h\xC3\xA9llo\n");
  EXPECT_EQ(int_of(call(text("cat; printf 'a\\r\\nb\\rc' >&2; exit 4"), &input, &out, &err, false)), 4);
  EXPECT_EQ(string_of(out), "before:h\xC3\xA9llo\n");
  EXPECT_EQ(string_of(err), "a\nb\nc");  // line ends made LF

  // A binary gets the bytes at its index, before what is there.
  cell bin = binary_of("XY");
  bin.data1 = 1;
  cell bytes_in = binary_of(std::string("\x00\xFF\r\n", 4));
  call(text("cat"), &bytes_in, &bin);
  bin.data1 = 0;
  EXPECT_EQ(bytes_of(bin), std::string("X\x00\xFF\r\nY", 6));

  // More than a pipe holds, both ways at once.
  std::string big(1 << 20, 'z');
  for (size_t i = 0; i < big.size(); i += 1000) big[i] = '\n';
  cell big_in = binary_of(big);
  cell big_out = binary_of("");
  EXPECT_EQ(int_of(call(text("cat"), &big_in, &big_out)), 0);
  EXPECT_EQ(bytes_of(big_out), big);
}

TEST_F(system_native, call_appends_to_files_and_runs_a_file_with_spaces_in_its_name) {
  std::string dir = ::testing::TempDir() + "ixo call dir/";
  mkdir(dir.c_str(), 0700);
  std::string script = dir + "my script.sh";
  std::FILE* f = std::fopen(script.c_str(), "w");
  std::fputs("#!/bin/sh\necho ran\nexit 7\n", f);
  std::fclose(f);
  chmod(script.c_str(), 0700);
  std::string log = dir + "out.log";
  std::remove(log.c_str());
  cell log_file = text(log, TYPE_FILE);
  EXPECT_EQ(int_of(call(text(script, TYPE_FILE), nullptr, &log_file)), 7);
  EXPECT_EQ(int_of(call(text(script, TYPE_FILE), nullptr, &log_file)), 7);
  std::FILE* in = std::fopen(log.c_str(), "r");
  char buffer[64] = {};
  size_t n = std::fread(buffer, 1, sizeof buffer - 1, in);
  std::fclose(in);
  EXPECT_EQ(std::string(buffer, n), "ran\nran\n");
  cell missing = text(dir + "no/such/input", TYPE_FILE);
  EXPECT_EQ(int_of(call(text("cat"), &missing)), -1);
  std::remove(log.c_str());
  std::remove(script.c_str());
  rmdir(dir.c_str());
}

TEST_F(system_native, size_of_files_and_local_paths) {
  std::string path = ::testing::TempDir() + "ixo-size-file";
  std::FILE* f = std::fopen(path.c_str(), "wb");
  std::fwrite("12345", 1, 5, f);
  std::fclose(f);
  EXPECT_EQ(int_of(call_entry(natives::size_q, {text(path, TYPE_FILE)})), 5);
  for (const char* none_path : {"/no/such/file", "/tmp/", "some/dir/", ".", ".."}) {
    cell r = call_entry(natives::size_q, {text(none_path, TYPE_FILE)});
    EXPECT_EQ(TYPE_OF(&r), TYPE_NONE) << none_path;
  }
  std::remove(path.c_str());

  EXPECT_EQ(string_of(call_entry(natives::to_local_file, {text("/a//b/c", TYPE_FILE)}, {-1})), "/a/b/c");
  EXPECT_EQ(string_of(call_entry(natives::to_local_file, {text("/a//b")}, {1})), "/a/b");
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  std::string expected = std::string(cwd) + (std::string(cwd) == "/" ? "" : "/") + "x/y";
  EXPECT_EQ(string_of(call_entry(natives::to_local_file, {text("x//y", TYPE_FILE)}, {1})), expected);
}

TEST_F(system_native, stats_levels_and_recycle) {
  cell used = call_entry(natives::stats, {}, {-1, -1});
  ASSERT_EQ(TYPE_OF(&used), TYPE_INTEGER);
  EXPECT_GT(int_of(used), 0);

  cell info = call_entry(natives::stats, {}, {-1, 0});
  ASSERT_EQ(TYPE_OF(&info), TYPE_BLOCK);
  int32_t count = 0;
  const cell* parts = block::values_of(&info, count);
  ASSERT_EQ(count, 5);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(TYPE_OF(&parts[i]), TYPE_BLOCK);
  for (int i = 0; i < 5; ++i) EXPECT_NE(parts[i].header & NEWLINE_FLAG, 0u);
  EXPECT_EQ(TYPE_OF(&parts[3]), TYPE_INTEGER);
  EXPECT_EQ(TYPE_OF(&parts[4]), TYPE_INTEGER);
  EXPECT_GE(int_of(parts[3]), int_of(parts[4]));  // big frames and heap, then the heap alone
  cell node_frames = parts[0];
  int32_t frames = 0;
  const cell* first = block::values_of(&node_frames, frames);
  ASSERT_GE(frames, 1);
  cell first_frame = first[0];
  int32_t three = 0;
  const cell* numbers = block::values_of(&first_frame, three);
  ASSERT_EQ(three, 3);
  EXPECT_EQ(int_of(numbers[0]) + int_of(numbers[1]), int_of(numbers[2]));  // free + used = total

  EXPECT_GT(memory::stats_in_use(), 0.0);

  cell still_used = call_entry(natives::recycle, {}, {-1, -1});
  EXPECT_EQ(TYPE_OF(&still_used), TYPE_INTEGER);
  EXPECT_EQ(TYPE_OF(&static_cast<const cell&>(call_entry(natives::recycle, {}, {-1, 0}))), TYPE_UNSET);
  EXPECT_EQ(collector_active, 0);
  call_entry(natives::recycle, {}, {0, -1});
  EXPECT_EQ(collector_active, 1);
  // /show prints through the boot library, which these units do not load.
  EXPECT_TRUE(test::is(test::raised([] { call_entry(natives::stats, {}, {0, -1}); }), err::script_no_value));
}

}  // namespace
}  // namespace ixo
