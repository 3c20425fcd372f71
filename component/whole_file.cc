#include "component/whole_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace veriprog {
namespace {

#ifdef _WIN32
int ProcessId() {
  return _getpid();
}
bool SyncToDisk(std::FILE* f) {
  return _commit(_fileno(f)) == 0;
}
#else
int ProcessId() {
  return static_cast<int>(getpid());
}
bool SyncToDisk(std::FILE* f) {
  return fsync(fileno(f)) == 0;
}
#endif

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& text, const std::string& what,
                    std::string* error) {
  const std::filesystem::path target(path);
  std::filesystem::path temporary = target;
  temporary += "." + std::to_string(ProcessId()) + ".part";
  std::FILE* out = std::fopen(temporary.string().c_str(), "wb");
  const bool written = out != nullptr &&
                       std::fwrite(text.data(), 1, text.size(), out) == text.size() &&
                       std::fflush(out) == 0 && SyncToDisk(out);
  const int why = errno;
  if (out != nullptr) std::fclose(out);
  std::error_code ec;
  if (!written) {
    if (error)
      *error = "cannot write " + what + " " + temporary.string() + ": " + std::strerror(why);
    std::filesystem::remove(temporary, ec);
    return false;
  }
  std::filesystem::rename(temporary, target, ec);
  if (ec) {
    if (error) *error = "cannot replace " + what + " " + path + ": " + ec.message();
    std::filesystem::remove(temporary, ec);
    return false;
  }
  return true;
}

}  // namespace veriprog
