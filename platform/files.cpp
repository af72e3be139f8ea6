#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>

namespace tarnvex::files {
namespace {

std::timed_mutex& WriteMutex() {
  static std::timed_mutex mutex;
  return mutex;
}

std::string ErrorText(int error) { return std::strerror(error); }

[[noreturn]] void ThrowCreate(const std::string& path, int error) {
  throw EFCreateError("Cannot create file \"" + path + "\". " + ErrorText(error));
}

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

void MakeWritable(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) ::chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
}

std::string ReadAllBytes(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = fd < 0 ? errno : EISDIR;
    if (fd >= 0) ::close(fd);
    throw EFOpenError("Cannot open file \"" + path + "\". " + ErrorText(error));
  }
  std::string bytes;
  bytes.reserve(static_cast<size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = errno;
      ::close(fd);
      if (n < 0) throw EFOpenError("Cannot open file \"" + path + "\". " + ErrorText(error));
      return bytes;
    }
    bytes.append(buffer, static_cast<size_t>(n));
  }
}

void WriteFileAtomic(const std::string& path, std::string_view bytes) {
  if (path.empty()) ThrowCreate(path, ENOENT);
  std::lock_guard lock(WriteMutex());
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temp = folder + "." + name + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) ThrowCreate(path, errno);
  const bool written = WriteAll(fd, bytes);
  const int write_error = errno;
  ::fchmod(fd, 0644);
  if (::close(fd) != 0 || !written) {
    ::unlink(temp.c_str());
    ThrowCreate(path, written ? errno : write_error);
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    ThrowCreate(path, error);
  }
}

void BlockFileWrites(int timeout_ms) {
  // Deliberately never unlocked: the process is about to end.
  (void)WriteMutex().try_lock_for(std::chrono::milliseconds(timeout_ms));
}

}  // namespace tarnvex::files
