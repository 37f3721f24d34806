// MKDIR, CHDIR, RMDIR, KILL, NAME ... AS and FILES, called as translated code
// calls them: with temporary string arguments and a cleanup after each statement.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "console/console.h"
#include "files/files.h"
#include "fs_helpers.h"
#include "frame/frame.h"
#include "strings/strings.h"

namespace {

class runtime_env : public ::testing::Environment {
 public:
  void SetUp() override { init_runtime_state(); }
};
const auto* const registered_env = ::testing::AddGlobalTestEnvironment(new runtime_env);

bool exists(const std::string& p) {
  struct stat st;
  return lstat(p.c_str(), &st) == 0;
}
bool is_dir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
std::string read_file(const std::string& p) {
  std::ifstream in(p);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
std::string rtrim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// A temporary literal, as translated code makes one for a string constant.
kxs* lit(const std::string& text) {
  return kxs_new_txt_len(text.data(), static_cast<int32_t>(text.size()));
}

class Fs : public ::testing::Test {
 protected:
  void SetUp() override {
    root = make_temp_dir("kxrt_files");
    ASSERT_FALSE(root.empty());
    drive = root + "/drive_c";
    work = root + "/work";
    mkdir(drive.c_str(), 0777);
    mkdir(work.c_str(), 0777);
    setenv("KXRT_DRIVE_C", drive.c_str(), 1);
    unsetenv("KXRT_DRIVE_Q");
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    old_cwd = buf;
    ASSERT_EQ(chdir(work.c_str()), 0);
    new_error = 0;
    init_runtime_state();
  }
  void TearDown() override {
    EXPECT_EQ(chdir(old_cwd.c_str()), 0);
    remove_tree(root);
    new_error = 0;
  }

  // Runs one statement the way translated code does and returns the error it left.
  int32_t run(const std::function<void()>& statement) {
    new_error = 0;
    uint32_t mark = kxs_tmp_list_nexti;
    statement();
    kxs_cleanup(mark, 0);
    int32_t e = new_error.load();
    new_error = 0;
    return e;
  }

  void mk(const std::string& p) { ASSERT_EQ(mkdir(p.c_str(), 0777), 0) << p; }
  void touch(const std::string& p, const std::string& text = "x") { std::ofstream(p) << text; }

  std::vector<std::string> screen() {
    std::vector<std::string> rows;
    for (int r = 1; r <= 25; ++r) rows.push_back(rtrim(screen_row_text(r)));
    while (!rows.empty() && rows.back().empty()) rows.pop_back();
    return rows;
  }

  saved_env env_c{"KXRT_DRIVE_C"}, env_q{"KXRT_DRIVE_Q"};
  std::string root, drive, work, old_cwd;
};

// ---- MKDIR ----

TEST_F(Fs, MkdirCreatesInTheDriveFolder) {
  EXPECT_EQ(run([] { sub_mkdir(lit("C:\\TRELKO")); }), 0);
  EXPECT_TRUE(is_dir(drive + "/TRELKO"));
  EXPECT_EQ(screen().size(), 0u);  // nothing printed
}

TEST_F(Fs, MkdirSlashesSeparate) {
  mk("a");
  EXPECT_EQ(run([] { sub_mkdir(lit("a/b")); }), 0);
  EXPECT_TRUE(is_dir("a/b"));
  EXPECT_EQ(run([] { sub_mkdir(lit("A\\B\\c")); }), 0);
  EXPECT_TRUE(is_dir("a/b/c"));
}

TEST_F(Fs, MkdirErrors) {
  mk(drive + "/trelko");
  touch(drive + "/afile");
  struct mk_case {
    const char* name;
    std::string arg;
    int32_t error;
  };
  const mk_case cases[] = {
      {"exists", "C:\\trelko", 75},
      {"exists in another case", "C:\\TRELKO", 75},
      {"a file of that name", "C:\\AFILE", 75},
      {"missing parent", "C:\\NOPE\\TRELKO", 76},
      {"unmapped drive", "Q:\\TRELKO", 76},
      {"empty name", "", 76},
      {"NUL inside", std::string("C:\\NEW\0X", 8), 76},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run([&] { sub_mkdir(lit(c.arg)); }), c.error) << c.name;
  }
  EXPECT_FALSE(exists(drive + "/NEW"));
  EXPECT_FALSE(exists(drive + "/TRELKO"));
}

TEST_F(Fs, MkdirWithPermanentArgumentLeavesItAlone) {
  kxs* v = kxs_new(0, 0);
  kxs_set(v, lit("C:\\KEEP"));
  EXPECT_EQ(run([&] { sub_mkdir(v); }), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(v->chars), v->len), "C:\\KEEP");
  EXPECT_TRUE(is_dir(drive + "/KEEP"));
  kxs_free(v);
}

// ---- CHDIR ----

TEST_F(Fs, ChdirChangesTheCurrentFolder) {
  mk(drive + "/Games");
  EXPECT_EQ(run([] { sub_chdir(lit("c:\\GAMES")); }), 0);
  char buf[4096];
  ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
  struct stat a, b;
  ASSERT_EQ(stat(buf, &a), 0);
  ASSERT_EQ(stat((drive + "/Games").c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(run([] { sub_chdir(lit("..")); }), 0);
  ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
  ASSERT_EQ(stat(buf, &a), 0);
  ASSERT_EQ(stat(drive.c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
}

TEST_F(Fs, ChdirErrors) {
  touch("afile");
  struct cd_case {
    const char* name;
    std::string arg;
  };
  const cd_case cases[] = {
      {"missing", "NOPE"},
      {"a file", "afile"},
      {"unmapped drive", "Q:\\"},
      {"NUL inside", std::string(".\0", 2) + "NOPE"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run([&] { sub_chdir(lit(c.arg)); }), 76) << c.name;
  }
}

// ---- RMDIR ----

TEST_F(Fs, RmdirRemoves) {
  mk("Empty");
  EXPECT_EQ(run([] { sub_rmdir(lit("EMPTY")); }), 0);
  EXPECT_FALSE(exists("Empty"));
}

TEST_F(Fs, RmdirErrors) {
  mk("full");
  touch("full/x");
  mk("ok");
  struct rd_case {
    const char* name;
    std::string arg;
    int32_t error;
  };
  const rd_case cases[] = {
      {"not empty", "FULL", 75},
      {"missing", "NOPE", 76},
      {"unmapped drive", "Q:\\OK", 76},
      {"NUL inside", std::string("ok\0", 3) + "x", 76},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run([&] { sub_rmdir(lit(c.arg)); }), c.error) << c.name;
  }
  EXPECT_TRUE(exists("full/x"));
  EXPECT_TRUE(is_dir("ok"));
}

// ---- NAME ----

TEST_F(Fs, NameRenames) {
  touch("old.txt", "hello");
  EXPECT_EQ(run([] { sub_name(lit("OLD.TXT"), lit("new.txt")); }), 0);
  EXPECT_FALSE(exists("old.txt"));
  EXPECT_EQ(read_file("new.txt"), "hello");
}

TEST_F(Fs, NameMovesIntoAFolder) {
  touch("f.txt", "1");
  mk(drive + "/Dest");
  EXPECT_EQ(run([] { sub_name(lit("f.txt"), lit("C:\\DEST\\G.TXT")); }), 0);
  EXPECT_EQ(read_file(drive + "/Dest/G.TXT"), "1");
}

TEST_F(Fs, NameCaseOnlyRename) {
  touch("a.txt", "abc");
  EXPECT_EQ(run([] { sub_name(lit("a.txt"), lit("A.TXT")); }), 0);
  EXPECT_FALSE(exists("a.txt"));
  EXPECT_EQ(read_file("A.TXT"), "abc");
  // Through a folder and a drive, too.
  mk(drive + "/Sub");
  touch(drive + "/Sub/data.bin", "d");
  EXPECT_EQ(run([] { sub_name(lit("C:\\SUB\\DATA.BIN"), lit("c:\\sub\\Data.Bin")); }), 0);
  EXPECT_EQ(read_file(drive + "/Sub/Data.Bin"), "d");
  EXPECT_FALSE(exists(drive + "/Sub/data.bin"));
  // The same name: nothing happens.
  EXPECT_EQ(run([] { sub_name(lit("A.TXT"), lit("A.TXT")); }), 0);
  EXPECT_EQ(read_file("A.TXT"), "abc");
}

TEST_F(Fs, NameErrors) {
  touch("src", "source");
  touch("dst", "target");
  touch("Other", "other");
  mk("dir");
  mk("dir/inner");
  struct nm_case {
    const char* name;
    std::string from, to;
    int32_t error;
  };
  const nm_case cases[] = {
      {"missing source", "nope", "x", 53},
      {"existing target", "src", "dst", 75},
      {"existing target in another case", "src", "OTHER", 75},
      {"existing target folder", "src", "DIR", 75},
      {"unmapped drive", "Q:\\src", "x", 53},
      {"unmapped target drive", "src", "Q:\\x", 53},
      {"NUL in old name", std::string("src\0", 4) + "x", "y", 64},
      {"NUL in new name", "src", std::string("y\0", 2) + "z", 64},
      {"folder into itself", "dir", "dir/inner/dir", 64},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run([&] { sub_name(lit(c.from), lit(c.to)); }), c.error) << c.name;
  }
  EXPECT_EQ(read_file("src"), "source");
  EXPECT_EQ(read_file("dst"), "target");
  EXPECT_EQ(read_file("Other"), "other");
  EXPECT_FALSE(exists("x"));
  EXPECT_FALSE(exists("y"));
}

TEST_F(Fs, RenameFallbackNeverReplaces) {
  touch("a", "A");
  touch("b", "B");
  mk("d");
  mk("e");
  errno = 0;
  EXPECT_EQ(rename_noreplace_fallback("a", "b"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(rename_noreplace_fallback("d", "e"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(rename_noreplace_fallback("d", "a"), -1);
  EXPECT_EQ(errno, EEXIST);
  EXPECT_EQ(rename_noreplace_fallback("nope", "x"), -1);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(read_file("a"), "A");
  EXPECT_EQ(read_file("b"), "B");
  EXPECT_EQ(rename_noreplace_fallback("a", "c"), 0);
  EXPECT_FALSE(exists("a"));
  EXPECT_EQ(read_file("c"), "A");
  EXPECT_EQ(rename_noreplace_fallback("d", "f"), 0);
  EXPECT_TRUE(is_dir("f"));
  EXPECT_FALSE(exists("d"));
  EXPECT_EQ(rename_noreplace_fallback("f", "f/inner"), -1);
  EXPECT_EQ(errno, EINVAL);
}

// ---- KILL ----

TEST_F(Fs, KillWildcardDeletesMatches) {
  for (const char* f : {"a.tmp", "B.TMP", "c.Tmp", "keep.txt", "tmp"}) touch(f);
  EXPECT_EQ(run([] { sub_kill(lit("*.TMP")); }), 0);
  EXPECT_FALSE(exists("a.tmp"));
  EXPECT_FALSE(exists("B.TMP"));
  EXPECT_FALSE(exists("c.Tmp"));
  EXPECT_TRUE(exists("keep.txt"));
  EXPECT_TRUE(exists("tmp"));
}

TEST_F(Fs, KillOneFileCaseInsensitively) {
  touch(drive + "/Report.Doc");
  EXPECT_EQ(run([] { sub_kill(lit("C:\\REPORT.DOC")); }), 0);
  EXPECT_FALSE(exists(drive + "/Report.Doc"));
}

TEST_F(Fs, KillStarDotStarDeletesEveryFile) {
  for (const char* f : {"a", "b.c", "d.e.f"}) touch(drive + "/" + f);
  EXPECT_EQ(run([] { sub_kill(lit("C:\\*.*")); }), 0);
  for (const char* f : {"a", "b.c", "d.e.f"}) EXPECT_FALSE(exists(drive + "/" + f)) << f;
}

TEST_F(Fs, KillDriveWithoutSeparator) {
  touch(drive + "/x.bak");
  touch("x.bak");
  EXPECT_EQ(run([] { sub_kill(lit("c:*.BAK")); }), 0);
  EXPECT_FALSE(exists(drive + "/x.bak"));
  EXPECT_TRUE(exists("x.bak"));
}

TEST_F(Fs, KillStopsAtAMatchingFolder) {
  // Deleted in upper-cased name order: A1, B2 go, the folder C3 raises 55, D4 stays.
  touch("a1.x");
  touch("b2.x");
  mk("C3.X");
  touch("d4.x");
  EXPECT_EQ(run([] { sub_kill(lit("*.X")); }), 55);
  EXPECT_FALSE(exists("a1.x"));
  EXPECT_FALSE(exists("b2.x"));
  EXPECT_TRUE(is_dir("C3.X"));
  EXPECT_TRUE(exists("d4.x"));
}

TEST_F(Fs, KillErrors) {
  touch("f.txt");
  struct kl_case {
    const char* name;
    std::string arg;
    int32_t error;
  };
  const kl_case cases[] = {
      {"no match", "*.NONE", 53},
      {"missing file", "NOPE.TXT", 53},
      {"missing folder", "NOPE\\*.*", 53},
      {"unmapped drive", "Q:\\*.*", 53},
      {"empty", "", 53},
      {"NUL inside", std::string("f.txt\0", 6) + "x", 53},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run([&] { sub_kill(lit(c.arg)); }), c.error) << c.name;
  }
  EXPECT_TRUE(exists("f.txt"));
}

TEST_F(Fs, KillDoesNotTouchTheDotEntries) {
  mk("sub");
  touch("sub/only");
  EXPECT_EQ(run([] { sub_kill(lit("SUB\\*")); }), 0);
  EXPECT_FALSE(exists("sub/only"));
  EXPECT_TRUE(is_dir("sub"));
  EXPECT_EQ(run([] { sub_kill(lit("SUB\\*")); }), 53);  // "." and ".." are no matches
}

// ---- FILES ----

std::string cwd_upper() {
  char buf[4096];
  EXPECT_NE(getcwd(buf, sizeof buf), nullptr);
  return upper(buf);
}

uint64_t free_bytes(const std::string& dir) {
  struct statvfs v;
  if (statvfs(dir.c_str(), &v) != 0) return 0;
  return static_cast<uint64_t>(v.f_bavail) * v.f_frsize;
}

// Free space changes while tests run elsewhere: compare the line's shape.
void expect_free_line(const std::string& line) {
  ASSERT_GE(line.size(), 12u) << line;
  EXPECT_EQ(line[0], ' ');
  EXPECT_EQ(line.substr(line.size() - 11), " Bytes free") << line;
  std::string digits = line.substr(1, line.size() - 12);
  EXPECT_FALSE(digits.empty());
  EXPECT_TRUE(std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
      << line;
}

TEST_F(Fs, FilesListsTheCurrentFolder) {
  touch("readme");
  touch("abc.txt");
  mk("Docs");
  touch("averylongfilename.txt");
  EXPECT_EQ(run([] { sub_files(lit("ignored"), 0); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0], cwd_upper());
  // ".", "..", then ABC.TXT, AVERYLONGFILENAME.TXT, DOCS, README; the long
  // cell does not fit after the third and starts the next row.
  EXPECT_EQ(rows[1], rtrim("        .   <DIR> "
                           "        ..  <DIR> "
                           "ABC     .TXT      "));
  EXPECT_EQ(rows[2], rtrim("AVERYLONGFILENAME.TXT      "
                           "DOCS        <DIR> "
                           "README            "));
  expect_free_line(rows[3]);
}

TEST_F(Fs, FilesWithPatternInAnotherFolder) {
  mk(drive + "/Sub");
  touch(drive + "/Sub/one.bas");
  touch(drive + "/Sub/TWO.BAS");
  touch(drive + "/Sub/three.txt");
  mk(drive + "/Sub/Inner.bas");
  EXPECT_EQ(run([] { sub_files(lit("C:\\sub\\*.BAS"), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0], cwd_upper());  // the header names the current folder
  EXPECT_EQ(rows[1], rtrim("INNER   .BAS<DIR> "
                           "ONE     .BAS      "
                           "TWO     .BAS      "));
  expect_free_line(rows[2]);
}

TEST_F(Fs, FilesOfADriveRoot) {
  touch(drive + "/z");
  EXPECT_EQ(run([] { sub_files(lit("C:\\"), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], rtrim("        .   <DIR> "
                           "        ..  <DIR> "
                           "Z                 "));
}

TEST_F(Fs, FilesEmptyArgumentListsAll) {
  touch("q");
  EXPECT_EQ(run([] { sub_files(lit(""), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], rtrim("        .   <DIR> "
                           "        ..  <DIR> "
                           "Q                 "));
}

TEST_F(Fs, FilesWrapsCellsWithMakefit) {
  for (const char* f : {"a1", "b1", "c1", "d1", "e1"}) touch(f);
  EXPECT_EQ(run([] { sub_files(lit("?1"), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[1], rtrim("A1                B1                C1                D1                "));
  EXPECT_EQ(rows[2], "E1");
  expect_free_line(rows[3]);
}

TEST_F(Fs, FilesFreeLineNeedsNoExtraNewlineAtARowEnd) {
  // One 80-character cell fills the row; POS(0) then is 80, and the free-space
  // line follows directly on the next row.
  std::string name(74, 'n');
  touch(name);
  EXPECT_EQ(run([&] { sub_files(lit(name), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[1], upper(name));
  expect_free_line(rows[2]);
}

TEST_F(Fs, FilesFreeSpaceOfThePatternFolder) {
  touch("f");
  EXPECT_EQ(run([] { sub_files(lit("F"), 1); }), 0);
  auto rows = screen();
  ASSERT_EQ(rows.size(), 3u);
  std::string line = rows[2];
  uint64_t shown = std::stoull(line.substr(1, line.size() - 12));
  uint64_t now = free_bytes(".");
  // Same file system; allow for other writers in between.
  EXPECT_LE(shown > now ? shown - now : now - shown, uint64_t{64} << 20);
}

TEST_F(Fs, FilesErrors) {
  touch("f");
  struct fl_case {
    const char* name;
    std::string arg;
  };
  const fl_case cases[] = {
      {"no match", "*.NONE"},
      {"missing folder", "NOPE\\*.*"},
      {"unmapped drive", "Q:\\"},
      {"trailing slash is not completed", "./"},
      {"NUL inside", std::string("f\0", 2)},
  };
  for (const auto& c : cases) {
    init_runtime_state();
    EXPECT_EQ(run([&] { sub_files(lit(c.arg), 1); }), 53) << c.name;
    auto rows = screen();
    ASSERT_EQ(rows.size(), 1u) << c.name;  // the header stays printed
    EXPECT_EQ(rows[0], cwd_upper());
  }
}

// ---- A pending error ----

TEST_F(Fs, PendingErrorMakesEveryStatementANoOp) {
  touch("f.txt", "keep");
  mk("dir");
  const std::function<void()> statements[] = {
      [] { sub_mkdir(lit("newdir")); },
      [] { sub_chdir(lit("dir")); },
      [] { sub_rmdir(lit("dir")); },
      [] { sub_kill(lit("*.*")); },
      [] { sub_name(lit("f.txt"), lit("g.txt")); },
      [] { sub_files(lit("*"), 1); },
  };
  std::string cwd_before = cwd_upper();
  for (const auto& s : statements) {
    new_error = 62;
    uint32_t mark = kxs_tmp_list_nexti;
    s();
    kxs_cleanup(mark, 0);
    EXPECT_EQ(new_error.load(), 62);
  }
  new_error = 0;
  EXPECT_FALSE(exists("newdir"));
  EXPECT_TRUE(is_dir("dir"));
  EXPECT_EQ(read_file("f.txt"), "keep");
  EXPECT_FALSE(exists("g.txt"));
  EXPECT_EQ(cwd_upper(), cwd_before);
  EXPECT_EQ(screen().size(), 0u);
}

TEST_F(Fs, CloseAllIsHarmless) {
  sub_close_all();
  EXPECT_EQ(new_error.load(), 0);
}

}  // namespace
