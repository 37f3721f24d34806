// File-system statements: MKDIR, CHDIR, RMDIR, KILL, NAME ... AS, FILES.
//
// Every statement returns at once while an error is pending, keeps its working
// strings in statics made on first use, and turns its argument into the
// C-string form (value + one NUL) before mapping it to a host name. Building
// that form consumes a temporary argument.

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "console/console.h"
#include "files/files.h"
#include "frame/frame.h"
#include "strings/strings.h"

namespace {

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

std::string upper(std::string_view s) {
  std::string u(s);
  for (char& c : u) c = ascii_upper(c);
  return u;
}

std::string_view view(const kxs* s) {
  return {reinterpret_cast<const char*>(s->chars), static_cast<size_t>(s->len)};
}

// Sets the working string `*w` (made on first use) to value + NUL.
void set_cstring(kxs*& w, kxs* value) {
  if (!w) w = kxs_new(0, 0);
  kxs_set(w, kxs_add(value, kxs_new_txt_len("\0", 1)));
}

// Sets `*w` (made on first use) to a copy of `text`, which must not point into
// a pool string (the assignment may move those).
void set_text(kxs*& w, std::string_view text) {
  if (!w) w = kxs_new(0, 0);
  kxs_set(w, kxs_new_txt_len(text.data(), static_cast<int32_t>(text.size())));
}

// Length of the directory prefix of a file name: up to and including the last
// separator, or the drive ("X:") when the name has no separator.
size_t dir_prefix_len(std::string_view name) {
  size_t cut = name.find_last_of("/\\");
  if (cut != std::string_view::npos) return cut + 1;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')))
    return 2;
  return 0;
}

std::string join(const std::string& dir, std::string_view name) {
  std::string full = dir;
  if (!full.empty() && full.back() != '/') full += '/';
  full += name;
  return full;
}

// The entries of folder `dir` whose names match `pattern`, "." and ".." first
// (when `dots` is set and they match), the rest in upper-cased byte order.
// False when the folder cannot be read.
bool search(const std::string& dir, std::string_view pattern, bool dots,
            std::vector<std::string>& found) {
  found.clear();
  DIR* d = opendir(dir.c_str());
  if (!d) return false;
  bool dot = false, dotdot = false;
  while (struct dirent* e = readdir(d)) {
    std::string_view n(e->d_name);
    if (n == "." || n == "..") {
      if (dots && wildcard_match(pattern, n)) (n == "." ? dot : dotdot) = true;
      continue;
    }
    if (wildcard_match(pattern, n)) found.emplace_back(n);
  }
  closedir(d);
  std::sort(found.begin(), found.end(), [](const std::string& a, const std::string& b) {
    std::string ua = upper(a), ub = upper(b);
    return ua != ub ? ua < ub : a < b;
  });
  if (dotdot) found.insert(found.begin(), "..");
  if (dot) found.insert(found.begin(), ".");
  return true;
}

// STR$ of an unsigned 64-bit count: a leading space, then the digits.
std::string str_u64(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, " %llu", static_cast<unsigned long long>(v));
  return buf;
}

// Renames without ever replacing an existing target; errno as rename's.
int rename_noreplace(const char* from, const char* to) {
  if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
  // File systems without the no-replace flag answer ENOSYS or EINVAL. EINVAL
  // may also be the real answer (a folder moved into itself): the fallback's
  // own rename gives it again then.
  if (errno != ENOSYS && errno != EINVAL) return -1;
  return rename_noreplace_fallback(from, to);
}

}  // namespace

int rename_noreplace_fallback(const char* from, const char* to) {
  struct stat st;
  if (lstat(from, &st) != 0) return -1;
  if (!S_ISDIR(st.st_mode)) {
    // link() never replaces: it fails with EEXIST when the target exists.
    if (link(from, to) == 0) {
      if (unlink(from) == 0) return 0;
      int e = errno;
      unlink(to);
      errno = e;
      return -1;
    }
    if (errno == EEXIST || errno == ENOENT || errno == ENOTDIR || errno == EXDEV) return -1;
    // No hard links on this file system: a checked rename below.
  }
  if (lstat(to, &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return std::rename(from, to);
}

std::string files_cell(std::string_view name, bool is_dir) {
  std::string u = upper(name);
  std::string cell;
  if (u == "." || u == "..") {
    cell = std::string(8, ' ') + u;
  } else {
    // Only names of the 8.3 shape are realigned: a base of 1 to 8 characters,
    // then optionally a dot and an extension of up to 3, no second dot.
    size_t dot = u.find('.');
    std::string_view base = std::string_view(u).substr(0, dot);
    std::string_view ext =
        dot == std::string::npos ? std::string_view() : std::string_view(u).substr(dot);
    bool short_shape = !base.empty() && base.size() <= 8 && ext.size() <= 4 &&
                       ext.find('.', 1) == std::string_view::npos;
    if (short_shape && !ext.empty()) {
      cell = std::string(base) + std::string(8 - base.size(), ' ') + std::string(ext);
    } else {
      cell = u;
    }
  }
  if (cell.size() < 12) cell.append(12 - cell.size(), ' ');
  cell += is_dir ? "<DIR> " : "      ";
  return cell;
}

namespace {

// MKDIR, CHDIR and RMDIR: sets the statement's working string to the name and
// maps it; false (error 76 raised) when the name cannot be mapped.
bool directory_path(kxs*& strz, kxs* path, host_path& hp) {
  set_cstring(strz, path);
  hp = fixdir(strz);
  if (hp.status == path_status::ok) return true;
  error(76);
  return false;
}

}  // namespace

void sub_mkdir(kxs* path) {
  if (new_error) return;
  static kxs* strz = nullptr;
  host_path hp;
  if (!directory_path(strz, path, hp)) return;
  if (mkdir(hp.path.c_str(), 0777) == -1) error(errno == EEXIST ? 75 : 76);
}

void sub_chdir(kxs* path) {
  if (new_error) return;
  static kxs* strz = nullptr;
  host_path hp;
  if (!directory_path(strz, path, hp)) return;
  if (chdir(hp.path.c_str()) == -1) error(76);
}

void sub_rmdir(kxs* path) {
  if (new_error) return;
  static kxs* strz = nullptr;
  host_path hp;
  if (!directory_path(strz, path, hp)) return;
  // POSIX lets a non-empty folder answer EEXIST as well as ENOTEMPTY.
  if (rmdir(hp.path.c_str()) == -1) error((errno == ENOTEMPTY || errno == EEXIST) ? 75 : 76);
}

void sub_name(kxs* oldname, kxs* newname) {
  if (new_error) return;
  static kxs* strz = nullptr;
  static kxs* strz2 = nullptr;
  set_cstring(strz, oldname);
  set_cstring(strz2, newname);
  host_path to = fixdir(strz2);
  host_path from = fixdir(strz);
  if (from.status == path_status::has_nul || to.status == path_status::has_nul) {
    error(64);
    return;
  }
  if (from.status != path_status::ok || to.status != path_status::ok) {
    error(53);
    return;
  }
  // The case-insensitive lookup maps another spelling of the old name onto the
  // old entry itself; the new name is then used as written.
  struct stat sf, st;
  if (lstat(from.path.c_str(), &sf) == 0 && lstat(to.path.c_str(), &st) == 0 &&
      sf.st_dev == st.st_dev && sf.st_ino == st.st_ino) {
    std::string_view written = view(strz2);
    written.remove_suffix(1);
    size_t cut = dir_prefix_len(written);
    host_path dir = map_host_path(written.substr(0, cut));
    to.path = cut == 0 ? std::string(written) : join(dir.path, written.substr(cut));
    if (to.path == from.path) return;  // the same name: nothing to do
  }
  if (rename_noreplace(from.path.c_str(), to.path.c_str()) != 0) {
    switch (errno) {
      case ENOENT: error(53); break;
      case EINVAL: error(64); break;
      case EACCES:
      case EEXIST: error(75); break;
      default: error(5); break;
    }
  }
}

namespace {

// Maps the pattern (strz) and its folder (strpath) and lists the folder's
// entries that match; raises 53 and returns false when there are none.
bool find_matches(const kxs* strz, const kxs* strpath, const std::string& pattern, bool with_dots,
                  host_path& dir, std::vector<std::string>& found) {
  host_path whole = fixdir(strz);
  dir = map_host_path(view(strpath));
  if (whole.status != path_status::ok || dir.status != path_status::ok) {
    error(53);
    return false;
  }
  if (dir.path.empty()) dir.path = ".";
  if (!search(dir.path, pattern, with_dots, found) || found.empty()) {
    error(53);
    return false;
  }
  return true;
}

}  // namespace

void sub_kill(kxs* filespec) {
  if (new_error) return;
  static kxs* strz = nullptr;
  static kxs* strpath = nullptr;
  set_cstring(strz, filespec);
  // A copy: assigning strpath may move the characters of strz.
  std::string name(view(strz));
  name.pop_back();
  size_t cut = dir_prefix_len(name);
  set_text(strpath, std::string_view(name).substr(0, cut));
  std::string pattern = name.substr(cut);

  host_path dir;
  std::vector<std::string> found;
  if (!find_matches(strz, strpath, pattern, false, dir, found)) return;
  for (const std::string& f : found) {
    std::string full = join(dir.path, f);
    if (unlink(full.c_str()) != 0) {
      switch (errno) {
        case EACCES:
        case EPERM:
        case EROFS:
        case EBUSY:
        case EISDIR: error(55); break;
        default: error(53); break;
      }
      return;
    }
  }
}

void sub_files(kxs* filespec, int32_t passed) {
  if (new_error) return;
  static kxs* strz = nullptr;
  static kxs* strpath = nullptr;
  static kxs* strz2 = nullptr;
  if (passed) {
    set_cstring(strz, filespec);
  } else {
    if (!strz) strz = kxs_new(0, 0);
    kxs_set(strz, kxs_new_txt_len("\0", 1));
  }
  std::string name(view(strz));
  name.pop_back();
  // An empty pattern or one ending in a backslash lists every entry.
  if (name.empty() || name.back() == '\\') {
    name += '*';
    set_text(strz, std::string_view(name.data(), name.size() + 1));
  }
  size_t cut = dir_prefix_len(name);
  set_text(strpath, std::string_view(name).substr(0, cut));
  std::string pattern = name.substr(cut);

  // Header: the current folder, in upper case.
  std::vector<char> cwd(4096);
  if (!getcwd(cwd.data(), cwd.size())) {
    error(5);
    return;
  }
  if (!strz2) strz2 = kxs_new(0, 0);
  kxs_set(strz2, kxs_ucase(kxs_new_txt_len(cwd.data(), static_cast<int32_t>(std::strlen(cwd.data())))));
  kxs_print(strz2, 1);

  host_path dir;
  std::vector<std::string> found;
  if (!find_matches(strz, strpath, pattern, true, dir, found)) return;
  for (const std::string& f : found) {
    struct stat st;
    std::string full = join(dir.path, f);
    bool is_dir = stat(full.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    set_text(strz2, files_cell(f, is_dir));
    makefit(strz2);
    kxs_print(strz2, 0);
  }

  uint64_t free_bytes = 0;
  struct statvfs vfs;
  if (statvfs(dir.path.c_str(), &vfs) == 0)
    free_bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
  if (func_pos(0) > 1) {
    set_text(strz2, "");
    kxs_print(strz2, 1);
  }
  set_text(strz2, str_u64(free_bytes) + " Bytes free");
  kxs_print(strz2, 1);
}

void sub_close_all() {
  // No files can be open yet: the file layer fills this in when it arrives.
}
