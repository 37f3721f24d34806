// Host path mapping: turns the DOS-style file names of BASIC programs into
// names of this host.
//
// - '\' and '/' both separate names and become '/'.
// - "X:" at the start names drive X, which lives in a folder of the host
//   (KXRT_DRIVE_X, or for C: a default folder under the user's data folder).
// - Names are case-insensitive as in DOS: every component that exists is looked
//   up exactly first and then with ASCII case folding. A component that does
//   not exist yet keeps its spelling, and so do the ones after it.

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "files/files.h"

namespace {

char ascii_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool iequal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); i++)
    if (ascii_upper(a[i]) != ascii_upper(b[i])) return false;
  return true;
}

bool is_sep(char c) { return c == '/' || c == '\\'; }

// mkdir -p; true when the folder exists afterwards.
bool make_folders(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t i = 1; i <= path.size(); i++) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

const char* env_value(const char* name) {
  const char* v = std::getenv(name);
  return (v && *v) ? v : nullptr;
}

// The spelling under which `comp` exists in folder `dir`: the exact one if it
// is there, else the first case-insensitive match in byte order. Empty when
// there is none.
std::string find_component(const std::string& dir, const std::string& comp) {
  std::string exact = dir.empty() ? comp : (dir.back() == '/' ? dir + comp : dir + "/" + comp);
  struct stat st;
  if (lstat(exact.c_str(), &st) == 0) return comp;
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return {};
  std::string best;
  bool found = false;
  while (struct dirent* e = readdir(d)) {
    std::string_view n(e->d_name);
    if (!iequal(n, comp)) continue;
    if (!found || n < best) {
      best = n;
      found = true;
    }
  }
  closedir(d);
  return best;
}

}  // namespace

std::string drive_folder(char letter) {
  letter = ascii_upper(letter);
  if (letter < 'A' || letter > 'Z') return {};
  std::string var = "KXRT_DRIVE_";
  var += letter;
  if (const char* v = env_value(var.c_str())) return v;
  if (letter != 'C') return {};
  std::string folder;
  if (const char* xdg = env_value("XDG_DATA_HOME")) {
    folder = xdg;
  } else if (const char* home = env_value("HOME")) {
    folder = home;
    if (folder.back() != '/') folder += '/';
    folder += ".local/share";
  } else {
    return {};
  }
  if (folder.back() != '/') folder += '/';
  folder += "kxrt/drive_c";
  if (!make_folders(folder)) return {};
  return folder;
}

host_path map_host_path(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return {{}, path_status::has_nul};

  // Where the walk starts: `out` is the mapped prefix, `dir` the folder the
  // next component is looked up in ("" = the current folder).
  std::string out;
  size_t pos = 0;
  if (name.size() >= 2 && name[1] == ':' &&
      ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z'))) {
    out = drive_folder(name[0]);
    if (out.empty()) return {{}, path_status::missing_drive};
    pos = 2;
    while (pos < name.size() && is_sep(name[pos])) pos++;
    if (pos == name.size()) {
      // The drive's folder itself (with the separator when one was written).
      if (name.size() > 2 && out.back() != '/') out += '/';
      return {out, path_status::ok};
    }
    if (out.back() != '/') out += '/';
  } else if (!name.empty() && is_sep(name[0])) {
    out = "/";
    while (pos < name.size() && is_sep(name[pos])) pos++;
  }

  bool looking = true;  // false once a component does not exist
  while (pos < name.size()) {
    size_t end = pos;
    while (end < name.size() && !is_sep(name[end])) end++;
    std::string comp(name.substr(pos, end - pos));
    if (looking && comp != "." && comp != "..") {
      std::string found = find_component(out, comp);
      if (found.empty())
        looking = false;
      else
        comp = found;
    }
    out += comp;
    pos = end;
    if (pos < name.size()) {
      out += '/';
      while (pos < name.size() && is_sep(name[pos])) pos++;
    }
  }
  return {out, path_status::ok};
}

host_path fixdir(const kxs* s) {
  std::string_view v(reinterpret_cast<const char*>(s->chars), static_cast<size_t>(s->len));
  if (!v.empty() && v.back() == '\0') v.remove_suffix(1);
  return map_host_path(v);
}

bool wildcard_match(std::string_view pattern, std::string_view name) {
  if (pattern == "*.*") pattern = "*";
  // Greedy match with one backtrack point: the last '*' seen.
  size_t p = 0, n = 0;
  size_t star = std::string_view::npos, star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      star_n = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || ascii_upper(pattern[p]) == ascii_upper(name[n]))) {
      p++;
      n++;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++star_n;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') p++;
  return p == pattern.size();
}
