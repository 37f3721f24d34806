// Scratch folders and environment variables for tests that touch the file system.
#pragma once

#include <ftw.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

// Remembers an environment variable and puts it back afterwards.
class saved_env {
 public:
  explicit saved_env(const char* name) : name_(name) {
    if (const char* v = std::getenv(name)) value_ = v;
  }
  ~saved_env() {
    if (value_)
      setenv(name_, value_->c_str(), 1);
    else
      unsetenv(name_);
  }
  saved_env(const saved_env&) = delete;
  saved_env& operator=(const saved_env&) = delete;

 private:
  const char* name_;
  std::optional<std::string> value_;
};

// A new empty folder under $TMPDIR (or /tmp); "" when none can be made.
inline std::string make_temp_dir(const char* prefix) {
  const char* base = std::getenv("TMPDIR");
  std::string templ = std::string(base && *base ? base : "/tmp") + "/" + prefix + "_XXXXXX";
  return mkdtemp(templ.data()) ? templ : std::string();
}

// Removes a folder and everything in it.
inline void remove_tree(const std::string& root) {
  nftw(
      root.c_str(), [](const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); },
      16, FTW_DEPTH | FTW_PHYS);
}
