// Files written whole or not at all: a file under a short temporary name in
// the target's directory, renamed into place once complete and removed if it
// never is. The name holds the writer's process id, so that a later run can
// tell the leftovers of a killed writer (remove_stale_temporaries) from the
// files of one still at work. The operations return 0 or the errno of the
// failure, so each caller words its own error.
#pragma once

#include <string>
#include <string_view>

namespace zelko::detail {

// Retries interrupted and short writes until every byte is out.
[[nodiscard]] int write_fully(int fd, std::string_view bytes);

class TemporaryFile {
 public:
  TemporaryFile() = default;
  TemporaryFile(TemporaryFile&& other) noexcept;
  TemporaryFile& operator=(TemporaryFile&& other) noexcept;
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  ~TemporaryFile() { remove(); }

  // Creates "<directory>/.<stem>-<pid>-<n>.tmp" for the first free n. O_EXCL
  // makes the name ours alone and refuses to follow a planted symlink; mode
  // 0666 lets the umask decide permissions, as a plain create would. The name
  // does not grow with the target's, so a target name of NAME_MAX bytes
  // still gets a temporary file beside it.
  [[nodiscard]] int create(const std::string& directory, std::string_view stem);
  [[nodiscard]] int write(std::string_view bytes) {
    return write_fully(fd_, bytes);
  }
  // Gives the file the permission bits of `target` when that is a regular
  // file: replacing a file should not change who may read it.
  [[nodiscard]] int copy_permissions_of(const std::string& target);
  [[nodiscard]] int sync_and_close();
  // On success the file is the target's and no longer removed.
  [[nodiscard]] int rename_to(const std::string& target);
  void remove() noexcept;

  [[nodiscard]] const std::string& path() const noexcept { return path_; }

 private:
  std::string path_;
  int fd_ = -1;
};

// Removes the temporary files "<directory>/.<stem>-<pid>-<n>.tmp" whose stem
// begins with `stem_prefix` and whose process is gone: what writers killed
// before they could clean up left behind. Best effort: an entry that cannot
// be read or removed is left as it is.
void remove_stale_temporaries(const std::string& directory,
                              std::string_view stem_prefix) noexcept;

}  // namespace zelko::detail
