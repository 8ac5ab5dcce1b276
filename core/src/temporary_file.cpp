#include "temporary_file.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <string_view>
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
  const std::string prefix = directory + "/." + std::string(stem) + "-" +
                             std::to_string(::getpid()) + "-";
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

namespace {

// The process id of a name ".<stem>-<pid>-<n>.tmp" (stem beginning with
// `stem_prefix`), or 0 when the name is not of that form.
pid_t temporary_owner(std::string_view name, std::string_view stem_prefix) {
  constexpr std::string_view kSuffix = ".tmp";
  if (name.size() < 2 + stem_prefix.size() + kSuffix.size() ||
      name.front() != '.' || !name.substr(1).starts_with(stem_prefix) ||
      !name.ends_with(kSuffix)) {
    return 0;
  }
  name.remove_suffix(kSuffix.size());
  const std::size_t counter = name.rfind('-');
  if (counter == std::string_view::npos || counter + 1 == name.size()) return 0;
  const std::size_t owner = name.rfind('-', counter - 1);
  if (owner == std::string_view::npos || owner + 1 == counter) return 0;
  auto digits = [](std::string_view text) {
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
  };
  const std::string_view pid = name.substr(owner + 1, counter - owner - 1);
  if (!digits(name.substr(counter + 1)) || !digits(pid) || pid.size() > 9)
    return 0;
  pid_t value = 0;
  for (char c : pid) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

void remove_stale_temporaries(const std::string& directory,
                              std::string_view stem_prefix) noexcept {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return;
  const int directory_fd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const pid_t owner = temporary_owner(entry->d_name, stem_prefix);
    // kill(pid, 0) fails with ESRCH only for a process that does not exist;
    // a live process, ours or another user's, keeps its files.
    if (owner > 0 && ::kill(owner, 0) != 0 && errno == ESRCH) {
      ::unlinkat(directory_fd, entry->d_name, 0);
    }
  }
  ::closedir(listing);
}

}  // namespace zelko::detail
