// Files and devices: file-system statements and the host path mapping.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "strings/strings.h"

// ---- Host path mapping ----
enum class path_status {
  ok,
  missing_drive,  // a drive letter with no folder
  has_nul,        // a NUL inside the name
};
struct host_path {
  std::string path;
  path_status status;
};
// Maps a BASIC file name (bytes, no terminating NUL) to a host path: both
// separators become '/', drive letters map to their folders, and existing
// components are found case-insensitively.
host_path map_host_path(std::string_view name);
// The same for the C-string form of a working string (value + one NUL byte).
host_path fixdir(const kxs* s);
// The folder of drive `letter` (A-Z), or "" when it has none. C: defaults to
// $XDG_DATA_HOME/kxrt/drive_c (~/.local/share/kxrt/drive_c), created on first use.
std::string drive_folder(char letter);

// DOS-style wildcard match: case-insensitive, '*' any run (dots included),
// '?' one character, "*.*" the same as "*".
bool wildcard_match(std::string_view pattern, std::string_view name);

// ---- File-system statements ----
void sub_mkdir(kxs* path);
void sub_chdir(kxs* path);
void sub_rmdir(kxs* path);
void sub_kill(kxs* filespec);
void sub_name(kxs* oldname, kxs* newname);
void sub_files(kxs* filespec, int32_t passed);

// One FILES listing cell (18 characters) for an entry name.
std::string files_cell(std::string_view name, bool is_dir);

// NAME's rename for file systems that cannot rename without replacing: link and
// unlink for files, a rename after checking the target is absent otherwise.
// 0 on success, else -1 with errno set (EEXIST when the target exists).
int rename_noreplace_fallback(const char* from, const char* to);

// ---- Files (the file layer lands later) ----
// Closes every open file (CLOSE without arguments).
void sub_close_all();
