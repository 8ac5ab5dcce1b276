#include "temporary_file.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <utility>

namespace zelko::detail {
namespace {

// Give up on unique names after this many existing ones; only a directory
// littered with leftovers of crashed writers can get there.
constexpr int kMaxTemporaryNameAttempts = 1000;

}  // namespace

int write_fully(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t written = ::write(fd, bytes.data(), bytes.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes.remove_prefix(static_cast<std::size_t>(written));
  }
  return 0;
}

TemporaryFile::TemporaryFile(TemporaryFile&& other) noexcept
    : path_(std::exchange(other.path_, {})),
      fd_(std::exchange(other.fd_, -1)) {}

TemporaryFile& TemporaryFile::operator=(TemporaryFile&& other) noexcept {
  if (this != &other) {
    remove();
    path_ = std::exchange(other.path_, {});
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

int TemporaryFile::create(const std::string& directory, std::string_view stem) {
  const std::string prefix = directory + "/." + std::string(stem) + "-";
  for (int attempt = 0; attempt < kMaxTemporaryNameAttempts; ++attempt) {
    std::string path = prefix + std::to_string(attempt) + ".tmp";
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      path_ = std::move(path);
      return 0;
    }
    if (errno != EEXIST) return errno;
  }
  return EEXIST;
}

int TemporaryFile::copy_permissions_of(const std::string& target) {
  struct stat existing {};
  if (::stat(target.c_str(), &existing) != 0 || !S_ISREG(existing.st_mode)) {
    return 0;
  }
  return ::fchmod(fd_, existing.st_mode & 07777) == 0 ? 0 : errno;
}

int TemporaryFile::sync_and_close() {
  while (::fsync(fd_) != 0) {
    if (errno != EINTR) return errno;
  }
  const int fd = std::exchange(fd_, -1);
  // After EINTR the descriptor is gone on Linux and the data is already
  // synced, so only other errors count.
  if (::close(fd) != 0 && errno != EINTR) return errno;
  return 0;
}

int TemporaryFile::rename_to(const std::string& target) {
  if (::rename(path_.c_str(), target.c_str()) != 0) return errno;
  path_.clear();
  return 0;
}

void TemporaryFile::remove() noexcept {
  if (fd_ >= 0) ::close(std::exchange(fd_, -1));
  if (!path_.empty()) ::unlink(path_.c_str());
  path_.clear();
}

}  // namespace zelko::detail
