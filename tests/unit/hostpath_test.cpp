// Host path mapping, drive folders, the wildcard matcher and FILES cells.
#include <gtest/gtest.h>

#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "files/files.h"
#include "fs_helpers.h"
#include "frame/frame.h"
#include "strings/strings.h"

namespace {

bool is_dir(const std::string& p) {
  struct stat st;
  return stat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

class HostPath : public ::testing::Test {
 protected:
  void SetUp() override {
    root = make_temp_dir("kxrt_hostpath");
    ASSERT_FALSE(root.empty());
    drive = root + "/drive_c";
    mkdir(drive.c_str(), 0777);
    setenv("KXRT_DRIVE_C", drive.c_str(), 1);
    unsetenv("KXRT_DRIVE_D");
    unsetenv("KXRT_DRIVE_Q");
    char buf[4096];
    ASSERT_NE(getcwd(buf, sizeof buf), nullptr);
    old_cwd = buf;
    work = root + "/work";
    mkdir(work.c_str(), 0777);
    ASSERT_EQ(chdir(work.c_str()), 0);
    new_error = 0;
  }
  void TearDown() override {
    EXPECT_EQ(chdir(old_cwd.c_str()), 0);
    remove_tree(root);
    new_error = 0;
  }
  void mk(const std::string& rel) { ASSERT_EQ(mkdir(rel.c_str(), 0777), 0) << rel; }
  void touch(const std::string& rel) { std::ofstream(rel) << "x"; }

  saved_env env_c{"KXRT_DRIVE_C"}, env_d{"KXRT_DRIVE_D"}, env_q{"KXRT_DRIVE_Q"},
      env_xdg{"XDG_DATA_HOME"}, env_home{"HOME"};
  std::string root, drive, work, old_cwd;
};

// ---- Wildcards ----

struct wild_case {
  const char* pattern;
  const char* name;
  bool match;
};

TEST(Wildcard, Table) {
  const wild_case cases[] = {
      {"*", "README", true},
      {"*", "a.b.c", true},
      {"*", "", true},
      {"*.*", "README", true},  // the same as "*"
      {"*.*", "ABC.TXT", true},
      {"*.TXT", "abc.txt", true},
      {"*.txt", "ABC.TXT", true},
      {"*.TXT", "abc.txt.bak", false},
      {"*.TXT", "a.b.txt", true},  // '*' runs over dots
      {"*.TXT", "txt", false},
      {"A*", "abc", true},
      {"A*", "bac", false},
      {"*C", "abc", true},
      {"A*C", "ac", true},
      {"A*C", "abxbc", true},
      {"A*C", "abcx", false},
      {"?", "a", true},
      {"?", "", false},
      {"?", "ab", false},
      {"??.T?T", "ab.txt", true},
      {"??.T?T", "a.txt", false},
      {"A?C", "a.c", true},
      {"ABC", "abc", true},
      {"ABC", "abcd", false},
      {"", "", true},
      {"", "a", false},
      {"**", "x", true},
      {"*?", "", false},
      {"*?", "x", true},
      {"*a*b", "xaybzab", true},
      {"*a*b", "xaybza", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wildcard_match(c.pattern, c.name), c.match) << c.pattern << " vs " << c.name;
  }
}

TEST(Wildcard, AsciiFoldingOnly) {
  EXPECT_TRUE(wildcard_match("\xe9", "\xe9"));
  EXPECT_FALSE(wildcard_match("\xc9", "\xe9"));
  EXPECT_FALSE(wildcard_match("[", "{"));  // 0x5B and 0x7B are no letters
}

// ---- FILES cells ----

struct cell_case {
  const char* name;
  bool dir;
  const char* cell;
};

TEST(FilesCell, Table) {
  const cell_case cases[] = {
      {"README", false, "README            "},
      {"abc.txt", false, "ABC     .TXT      "},
      {"DOCS", true, "DOCS        <DIR> "},
      {".", true, "        .   <DIR> "},
      {"..", true, "        ..  <DIR> "},
      {"ABCDEFGH.TXT", false, "ABCDEFGH.TXT      "},
      {"ABCDEFGH", false, "ABCDEFGH          "},
      {"a.b", false, "A       .B        "},
      {"abc.", false, "ABC     .         "},
      // Not of the 8.3 shape: padded, never cut or moved.
      {".bashrc", false, ".BASHRC           "},
      {"abc.text", false, "ABC.TEXT          "},
      {"a.b.c", false, "A.B.C             "},
      {"ABCDEFGHI.T", false, "ABCDEFGHI.T       "},
      {"LONGNAME123", true, "LONGNAME123 <DIR> "},
      {"averylongfilename.txt", false, "AVERYLONGFILENAME.TXT      "},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(files_cell(c.name, c.dir), c.cell) << c.name;
  }
}

// ---- Separators and plain host names ----

TEST_F(HostPath, SeparatorsBecomeSlashes) {
  EXPECT_EQ(map_host_path("a\\b/c").path, "a/b/c");
  EXPECT_EQ(map_host_path("a\\\\b").path, "a/b");
  EXPECT_EQ(map_host_path("dir\\").path, "dir/");
  EXPECT_EQ(map_host_path("").path, "");
  EXPECT_EQ(map_host_path("a").status, path_status::ok);
}

TEST_F(HostPath, AbsoluteHostNames) {
  mk("Sub");
  EXPECT_EQ(map_host_path(work + "\\sub\\New").path, work + "/Sub/New");
  std::string back = work;
  for (char& c : back)
    if (c == '/') c = '\\';
  EXPECT_EQ(map_host_path(back + "\\SUB").path, work + "/Sub");
}

TEST_F(HostPath, DotsAreKept) {
  mk("Alpha");
  mk("Alpha/Beta");
  EXPECT_EQ(map_host_path("ALPHA\\..\\alpha\\.\\BETA").path, "Alpha/../Alpha/./Beta");
  EXPECT_EQ(map_host_path(".\\alpha").path, "./Alpha");
}

// ---- Drives ----

TEST_F(HostPath, DriveCFromEnvironment) {
  EXPECT_EQ(map_host_path("C:\\TRELKO").path, drive + "/TRELKO");
  EXPECT_EQ(map_host_path("c:/TRELKO").path, drive + "/TRELKO");
  EXPECT_EQ(map_host_path("C:TRELKO").path, drive + "/TRELKO");  // relative to the folder
  EXPECT_EQ(map_host_path("C:").path, drive);
  EXPECT_EQ(map_host_path("C:\\").path, drive + "/");
  EXPECT_EQ(drive_folder('c'), drive);
  EXPECT_EQ(drive_folder('C'), drive);
}

TEST_F(HostPath, OtherDrives) {
  EXPECT_EQ(drive_folder('Q'), "");
  EXPECT_EQ(map_host_path("Q:\\X").status, path_status::missing_drive);
  EXPECT_EQ(map_host_path("q:x").status, path_status::missing_drive);
  std::string d = root + "/drive_d";
  mk(d);
  setenv("KXRT_DRIVE_D", d.c_str(), 1);
  EXPECT_EQ(map_host_path("d:\\games\\x").path, d + "/games/x");
  EXPECT_EQ(map_host_path("D:").path, d);
}

TEST_F(HostPath, DefaultDriveCUnderXdgDataHome) {
  unsetenv("KXRT_DRIVE_C");
  std::string xdg = root + "/xdg";
  setenv("XDG_DATA_HOME", xdg.c_str(), 1);
  std::string expect = xdg + "/kxrt/drive_c";
  EXPECT_FALSE(is_dir(expect));
  EXPECT_EQ(drive_folder('C'), expect);
  EXPECT_TRUE(is_dir(expect));  // made on first use
  EXPECT_EQ(map_host_path("C:\\TRELKO").path, expect + "/TRELKO");
}

TEST_F(HostPath, DefaultDriveCUnderHome) {
  unsetenv("KXRT_DRIVE_C");
  unsetenv("XDG_DATA_HOME");
  std::string home = root + "/home";
  mk(home);
  setenv("HOME", home.c_str(), 1);
  std::string expect = home + "/.local/share/kxrt/drive_c";
  EXPECT_EQ(drive_folder('C'), expect);
  EXPECT_TRUE(is_dir(expect));
}

TEST_F(HostPath, DriveLetterRequiresColonAtSecondPlace) {
  EXPECT_EQ(map_host_path("CC:x").path, "CC:x");
  EXPECT_EQ(map_host_path("1:x").path, "1:x");
}

// ---- Case-insensitive components ----

TEST_F(HostPath, ExistingComponentsFoundCaseInsensitively) {
  mk("Alpha");
  mk("Alpha/Beta");
  touch("Alpha/Beta/File.Txt");
  EXPECT_EQ(map_host_path("ALPHA\\beta\\FILE.TXT").path, "Alpha/Beta/File.Txt");
  EXPECT_EQ(map_host_path("alpha/BETA/newfile").path, "Alpha/Beta/newfile");
}

TEST_F(HostPath, MissingComponentsKeepTheirSpelling) {
  mk("Alpha");
  mk("Alpha/Beta");
  // "Gone" does not exist, so "beta" after it is not looked up either.
  EXPECT_EQ(map_host_path("ALPHA\\Gone\\beta").path, "Alpha/Gone/beta");
  EXPECT_EQ(map_host_path("NoSuch\\ALPHA").path, "NoSuch/ALPHA");
}

TEST_F(HostPath, ExactSpellingWinsElseFirstInByteOrder) {
  mk("data");
  mk("DATA");
  mk("Data");
  EXPECT_EQ(map_host_path("data").path, "data");
  EXPECT_EQ(map_host_path("DATA").path, "DATA");
  EXPECT_EQ(map_host_path("Data").path, "Data");
  EXPECT_EQ(map_host_path("dATA").path, "DATA");  // 'D' < 'd'
  EXPECT_EQ(map_host_path("daTa").path, "DATA");
}

TEST_F(HostPath, DriveFolderComponentsCaseInsensitive) {
  mk(drive + "/TRELKO");
  EXPECT_EQ(map_host_path("c:\\trelko\\x").path, drive + "/TRELKO/x");
}

// ---- NUL and the C-string form ----

TEST_F(HostPath, NulInsideIsRefused) {
  EXPECT_EQ(map_host_path(std::string_view("a\0b", 3)).status, path_status::has_nul);
}

TEST_F(HostPath, FixdirDropsTheTerminatingNul) {
  mk("Alpha");
  kxs* s = kxs_new(0, 0);
  kxs_set(s, kxs_new_txt_len("ALPHA\\x\0", 8));
  host_path hp = fixdir(s);
  EXPECT_EQ(hp.status, path_status::ok);
  EXPECT_EQ(hp.path, "Alpha/x");
  kxs_set(s, kxs_new_txt_len("a\0b\0", 4));
  EXPECT_EQ(fixdir(s).status, path_status::has_nul);
  kxs_set(s, kxs_new_txt_len("\0", 1));
  EXPECT_EQ(fixdir(s).path, "");
  kxs_free(s);
}

}  // namespace
