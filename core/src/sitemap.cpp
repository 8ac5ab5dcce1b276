// The streaming sitemap writer: URL sets split by count and size, optional
// gzip parts, a sitemap index, and every file replaced atomically.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "crawl_internal.hpp"
#include "sha256.hpp"
#include "temporary_file.hpp"
#include "text.hpp"
#include "zelko/crawl.hpp"
#include "zelko/url.hpp"

namespace zelko {
namespace {

constexpr std::string_view kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr std::string_view kUrlsetOpen =
    "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\""
    " xmlns:xhtml=\"http://www.w3.org/1999/xhtml\""
    " xmlns:image=\"http://www.google.com/schemas/sitemap-image/1.1\">\n";
constexpr std::string_view kUrlsetClose = "</urlset>\n";
constexpr std::string_view kIndexOpen =
    "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
constexpr std::string_view kIndexClose = "</sitemapindex>\n";
constexpr std::string_view kIndexName = "sitemap.xml";
constexpr std::size_t kIndexMaxFiles = 50000;
constexpr std::size_t kFlushAt = std::size_t{1} << 16;

std::size_t urlset_frame_size() {
  return kXmlDeclaration.size() + kUrlsetOpen.size() + kUrlsetClose.size();
}

// How the escaping loop treats each byte.
enum class XmlByte : std::uint8_t { Plain, Entity, Control, NonAscii };

constexpr std::array<XmlByte, 256> kXmlBytes = [] {
  std::array<XmlByte, 256> table{};
  for (std::size_t byte = 0; byte < 0x20; ++byte)
    table[byte] = XmlByte::Control;
  for (const unsigned char c : {'&', '<', '>', '"', '\''}) {
    table[c] = XmlByte::Entity;
  }
  for (std::size_t byte = 0x80; byte < 0x100; ++byte) {
    table[byte] = XmlByte::NonAscii;
  }
  return table;
}();

std::string_view entity_of(char c) noexcept {
  switch (c) {
    case '&':
      return "&amp;";
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return "&quot;";
    default:
      return "&apos;";
  }
}

// Appends the text with & < > " ' as entities. False when XML 1.0 cannot
// carry it: a C0 control (a tab or line break inside a URL is no better),
// U+FFFE, U+FFFF or invalid UTF-8; `out` is then to be thrown away.
[[nodiscard]] bool append_xml(std::string& out, std::string_view text) {
  bool ascii = true;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    switch (kXmlBytes[static_cast<unsigned char>(text[i])]) {
      case XmlByte::Plain:
        continue;
      case XmlByte::NonAscii:
        ascii = false;
        continue;
      case XmlByte::Control:
        return false;
      case XmlByte::Entity:
        out.append(text.substr(start, i - start));
        out.append(entity_of(text[i]));
        start = i + 1;
    }
  }
  out.append(text.substr(start));
  return ascii || (is_valid_utf8(text) &&
                   text.find("\xEF\xBF\xBE") == std::string_view::npos &&
                   text.find("\xEF\xBF\xBF") == std::string_view::npos);
}

Error unwritable(std::string_view what, std::string_view value) {
  return Error(ErrorKind::InvalidUrl,
               std::string(what) + " \"" + std::string(value) +
                   "\": a control character, U+FFFE, U+FFFF or invalid UTF-8 "
                   "cannot be written to XML");
}

// "<indent><name>value</name>\n"; false as for append_xml.
[[nodiscard]] bool append_element(std::string& out, std::string_view indent,
                                  std::string_view name,
                                  std::string_view value) {
  out.append(indent);
  out.push_back('<');
  out.append(name);
  out.push_back('>');
  const bool written = append_xml(out, value);
  out.append("</");
  out.append(name);
  out.append(">\n");
  return written;
}

Error write_error(const std::string& path, int error_number) {
  return Error::from_system(ErrorKind::Serialization, error_number,
                            "cannot write " + path + ": " +
                                std::generic_category().message(error_number));
}

// The engine's temporary file, its failures worded with the file at fault,
// and, once finished, the SHA-256 of its bytes (which names a part).
class TemporaryFile {
 public:
  std::string digest;

  Status create(const std::string& directory, std::string_view stem) {
    return checked(file_.create(directory, stem),
                   directory + "/." + std::string(stem));
  }
  Status write(std::string_view bytes) {
    return checked(file_.write(bytes), file_.path());
  }
  Status sync_and_close() {
    return checked(file_.sync_and_close(), file_.path());
  }
  Status rename_to(const std::string& target) {
    return checked(file_.rename_to(target), target);
  }
  void remove() noexcept { file_.remove(); }
  [[nodiscard]] const std::string& path() const noexcept {
    return file_.path();
  }

 private:
  static Status checked(int error, const std::string& path) {
    return error == 0 ? Status{} : write_error(path, error);
  }

  detail::TemporaryFile file_;
};

class PartSink {
 public:
  PartSink() = default;
  PartSink(const PartSink&) = delete;
  PartSink& operator=(const PartSink&) = delete;
  ~PartSink() {
    if (deflating_) deflateEnd(&stream_);
  }

  Status open(const std::string& directory, std::string_view stem, bool gzip) {
    if (Status status = file_.create(directory, stem); !status) return status;
    if (gzip) {
      std::memset(&stream_, 0, sizeof stream_);
      // 15 + 16: a gzip wrapper, whose header zlib writes without a time
      // stamp or name, so equal input gives equal bytes.
      if (deflateInit2(&stream_, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8,
                       Z_DEFAULT_STRATEGY) != Z_OK) {
        return Error(ErrorKind::Serialization, "cannot start gzip compression");
      }
      deflating_ = true;
    }
    return {};
  }

  Status append(std::string_view bytes) {
    buffer_.append(bytes);
    return buffer_.size() >= kFlushAt ? flush(false) : Status{};
  }

  // Flushes, ends the gzip stream and closes the file (still temporary).
  Result<TemporaryFile> finish() {
    if (Status status = flush(true); !status) return std::move(status).error();
    if (Status status = file_.sync_and_close(); !status) {
      return std::move(status).error();
    }
    file_.digest = hash_.hex_digest();
    return std::move(file_);
  }

 private:
  Status write(std::string_view bytes) {
    hash_.update(bytes);
    return file_.write(bytes);
  }

  Status flush(bool last) {
    if (!deflating_) {
      Status status = write(buffer_);
      buffer_.clear();
      return status;
    }
    stream_.next_in = reinterpret_cast<Bytef*>(buffer_.data());
    stream_.avail_in = static_cast<uInt>(buffer_.size());
    std::array<unsigned char, kFlushAt> chunk{};
    int result = Z_OK;
    do {
      stream_.next_out = chunk.data();
      stream_.avail_out = static_cast<uInt>(chunk.size());
      result = deflate(&stream_, last ? Z_FINISH : Z_NO_FLUSH);
      if (result == Z_STREAM_ERROR) {
        return Error(ErrorKind::Serialization, "gzip compression failed");
      }
      const std::size_t produced = chunk.size() - stream_.avail_out;
      std::string_view out(reinterpret_cast<const char*>(chunk.data()),
                           produced);
      if (Status status = write(out); !status) return status;
    } while (stream_.avail_out == 0 || (last && result != Z_STREAM_END));
    buffer_.clear();
    return {};
  }

  TemporaryFile file_;
  Sha256 hash_;
  std::string buffer_;
  z_stream stream_{};
  bool deflating_ = false;
};

// 128-bit fingerprints of the locations written so far, in an open-addressing
// table: the duplicate check without keeping the URLs themselves.
class FingerprintSet {
 public:
  struct Fingerprint {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
    friend bool operator==(const Fingerprint&, const Fingerprint&) = default;
  };

  static Fingerprint of(std::string_view text) noexcept {
    std::uint64_t high = 0x9E3779B97F4A7C15ULL ^ text.size();
    std::uint64_t low = 0xC2B2AE3D27D4EB4FULL + text.size();
    std::size_t at = 0;
    for (; at + 8 <= text.size(); at += 8) {
      std::uint64_t word = 0;
      std::memcpy(&word, text.data() + at, 8);
      high = mix(high ^ word);
      low = mix(low + word * 0xD6E8FEB86659FD93ULL);
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, text.data() + at, text.size() - at);
    high = mix(high ^ tail ^ 0xFF51AFD7ED558CCDULL);
    low = mix(low + tail * 0xC4CEB9FE1A85EC53ULL);
    if (high == 0 && low == 0) low = 1;  // the empty slot's value
    return {high, low};
  }

  [[nodiscard]] bool contains(const Fingerprint& key) const noexcept {
    if (slots_.empty()) return false;
    for (std::size_t i = key.low & mask(); !empty(slots_[i]);
         i = (i + 1) & mask()) {
      if (slots_[i] == key) return true;
    }
    return false;
  }

  void prefetch(const Fingerprint& key) const noexcept {
    if (!slots_.empty()) __builtin_prefetch(&slots_[key.low & mask()]);
  }

  void insert(const Fingerprint& key) {
    if ((count_ + 1) * 4 > slots_.size() * 3) grow();
    place(slots_, key);
    ++count_;
  }

 private:
  static std::uint64_t mix(std::uint64_t h) noexcept {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDULL;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ULL;
    h ^= h >> 33;
    return h;
  }
  static bool empty(const Fingerprint& slot) noexcept {
    return slot.high == 0 && slot.low == 0;
  }
  [[nodiscard]] std::size_t mask() const noexcept { return slots_.size() - 1; }

  static void place(std::vector<Fingerprint>& slots, const Fingerprint& key) {
    const std::size_t mask = slots.size() - 1;
    std::size_t i = key.low & mask;
    while (!empty(slots[i])) i = (i + 1) & mask;
    slots[i] = key;
  }

  void grow() {
    std::vector<Fingerprint> bigger(slots_.empty() ? 1024 : slots_.size() * 2);
    for (const Fingerprint& slot : slots_) {
      if (!empty(slot)) place(bigger, slot);
    }
    slots_ = std::move(bigger);
  }

  std::vector<Fingerprint> slots_;
  std::size_t count_ = 0;
};

// The latest lastmod of a part, as written.
struct Latest {
  Instant instant;
  std::string text;
};

void keep_latest(std::optional<Latest>& latest, const Instant& instant,
                 std::string_view text) {
  if (!latest || latest->instant < instant)
    latest = Latest{instant, std::string(text)};
}

struct Part {
  TemporaryFile file;
  bool gzipped = false;
  std::optional<Latest> latest;
};

std::string part_stem(std::size_t number, bool gzipped) {
  return "sitemap-" + std::to_string(number) + (gzipped ? ".xml.gz" : ".xml");
}

// A part is named by its content as well as its number: the parts of a new
// set never take the names of the set being served, so the old index goes
// on listing its own parts until the new index replaces it. (A part of the
// same name holds the same bytes.)
constexpr std::size_t kDigestInName = 12;

std::string part_name(std::size_t number, const Part& part) {
  return "sitemap-" + std::to_string(number) + "-" +
         part.file.digest.substr(0, kDigestInName) +
         (part.gzipped ? ".xml.gz" : ".xml");
}

// Whether `name` is of the writer's part pattern: "sitemap-N.xml" (as
// earlier versions named parts) or "sitemap-N-<digest>.xml", ".gz" or not.
bool is_part_name(std::string_view name) {
  if (!name.starts_with("sitemap-")) return false;
  name.remove_prefix(8);
  if (name.ends_with(".gz")) name.remove_suffix(3);
  if (!name.ends_with(".xml")) return false;
  name.remove_suffix(4);
  const std::size_t dash = name.find('-');
  const std::string_view number = name.substr(0, dash);
  auto all_of = [](std::string_view text, auto test) {
    return !text.empty() && std::all_of(text.begin(), text.end(), test);
  };
  if (!all_of(number, [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  if (dash == std::string_view::npos) return true;
  const std::string_view digest = name.substr(dash + 1);
  return digest.size() == kDigestInName && all_of(digest, [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

// Removes the parts of earlier sets that the index in place does not list,
// once it is in place (best effort: a part left behind harms no reader).
void remove_unlisted_parts(const std::string& directory,
                           const std::vector<std::string>& listed) noexcept {
  DIR* listing = ::opendir(directory.c_str());
  if (listing == nullptr) return;
  const int directory_fd = ::dirfd(listing);
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (is_part_name(name) &&
        std::find(listed.begin(), listed.end(), name) == listed.end()) {
      ::unlinkat(directory_fd, entry->d_name, 0);
    }
  }
  ::closedir(listing);
}

Status sync_directory(const std::string& directory) {
  const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return write_error(directory, errno);
  const int result = ::fsync(fd);
  const int error = errno;
  ::close(fd);
  // Some file systems cannot sync a directory; the renames stand anyway.
  if (result != 0 && error != EINVAL && error != EROFS) {
    return write_error(directory, error);
  }
  return {};
}

// Reads a finished plain part back and writes it again through gzip.
Result<TemporaryFile> compress_part(const std::string& directory,
                                    TemporaryFile plain,
                                    std::string_view stem) {
  const int fd = ::open(plain.path().c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return write_error(plain.path(), errno);
  PartSink sink;
  Status status = sink.open(directory, stem, true);
  std::array<char, kFlushAt> chunk{};
  while (status) {
    const ssize_t read = ::read(fd, chunk.data(), chunk.size());
    if (read < 0 && errno == EINTR) continue;
    if (read < 0) status = write_error(plain.path(), errno);
    if (read <= 0) break;
    status = sink.append(
        std::string_view(chunk.data(), static_cast<std::size_t>(read)));
  }
  ::close(fd);
  if (!status) return std::move(status).error();
  return sink.finish();
}

}  // namespace

struct SitemapWriter::State {
  std::string directory;
  SEOConfig config;
  detail::RouteResolver routes;  // reads `config`, which never moves
  SitemapOptions options;
  std::string public_prefix;  // where the parts are served, without "/"
  std::vector<Part> parts;    // finished, still under temporary names
  std::unique_ptr<PartSink> current;
  std::size_t current_urls = 0;
  std::size_t current_bytes = 0;
  std::optional<Latest> current_latest;
  FingerprintSet seen;
  std::string entry;  // scratch, reused for every add
  bool open = true;

  Status add(const SitemapUrl& url);
  Result<std::vector<std::string>> close();
  void discard() noexcept;

 private:
  Status format_entry(const SitemapUrl& url, const std::string& location,
                      std::optional<Instant>& lastmod);
  Status start_part();
  Status finish_part();
};

Status SitemapWriter::State::format_entry(const SitemapUrl& url,
                                          const std::string& location,
                                          std::optional<Instant>& lastmod) {
  using namespace std::string_view_literals;
  entry.clear();
  entry.append("<url>\n"sv);
  if (!append_element(entry, "  "sv, "loc"sv, location)) {
    return unwritable("location", location).at(ErrorField::Location);
  }
  if (url.lastmod) {
    Result<Instant> instant = parse_w3c_datetime(*url.lastmod);
    if (!instant) return std::move(instant).error().at(ErrorField::Lastmod);
    lastmod = *instant;
    // Checked by the parse: digits, "-", ":", "T", "Z", "+", ".".
    entry.append("  <lastmod>"sv).append(*url.lastmod).append("</lastmod>\n"sv);
  }
  if (url.alternates != nullptr && !url.alternates->empty()) {
    Result<std::vector<HreflangLink>> links =
        detail::hreflang_links(*url.alternates, config, routes);
    if (!links) return std::move(links).error().at(ErrorField::Alternates);
    for (const HreflangLink& link : *links) {
      // Canonical tags are letters, digits and "-".
      entry.append("  <xhtml:link rel=\"alternate\" hreflang=\""sv)
          .append(link.tag)
          .append("\" href=\""sv);
      if (!append_xml(entry, link.url))
        return unwritable("alternate", link.url).at(ErrorField::Alternates);
      entry.append("\"/>\n"sv);
    }
  }
  if (url.images != nullptr) {
    for (const std::string& image : *url.images) {
      // An image is an asset: the page URL policy (query filter, trailing
      // slash) would name another resource.
      Result<std::string> resolved = detail::resolve_asset_url(image, routes);
      if (!resolved) {
        return Error(resolved.error().kind(), ErrorField::Images,
                     "image \"" + image + "\": " + resolved.error().message());
      }
      entry.append("  <image:image>\n"sv);
      if (!append_element(entry, "    "sv, "image:loc"sv, *resolved)) {
        return unwritable("image", *resolved).at(ErrorField::Images);
      }
      entry.append("  </image:image>\n"sv);
    }
  }
  entry.append("</url>\n"sv);
  return {};
}

Status SitemapWriter::State::add(const SitemapUrl& url) {
  if (!open)
    return Error(ErrorKind::Configuration, "the sitemap writer is closed");
  Result<std::string> location = detail::resolve_crawl_url(
      url.location, config, routes, ForeignHost::Refuse);
  if (!location) {
    return Error(location.error().kind(), ErrorField::Location,
                 "location \"" + std::string(url.location) +
                     "\": " + location.error().message());
  }
  const FingerprintSet::Fingerprint fingerprint = FingerprintSet::of(*location);
  // The table outgrows the caches: its slot loads while the entry is made.
  seen.prefetch(fingerprint);
  std::optional<Instant> lastmod;
  if (Status status = format_entry(url, *location, lastmod); !status) {
    return status;
  }
  if (seen.contains(fingerprint)) {
    return Error(ErrorKind::InvalidUrl, ErrorField::Location,
                 "location \"" + std::string(url.location) +
                     "\": " + *location + " is already in the sitemap");
  }
  if (entry.size() + urlset_frame_size() > options.max_bytes) {
    return Error(ErrorKind::Configuration, ErrorField::Location,
                 "location \"" + std::string(url.location) + "\": its entry (" +
                     std::to_string(entry.size()) +
                     " bytes) does not fit in a file of max_bytes " +
                     std::to_string(options.max_bytes));
  }
  const bool full =
      current &&
      (current_urls == options.max_urls ||
       current_bytes + entry.size() + kUrlsetClose.size() > options.max_bytes);
  if (full && parts.size() + 2 > kIndexMaxFiles) {
    return Error(ErrorKind::Configuration,
                 "a sitemap index lists at most 50000 files");
  }
  // From here on a failure is of the file system: the set is given up.
  Status status = full ? finish_part() : Status{};
  if (status && !current) status = start_part();
  if (status) status = current->append(entry);
  if (!status) {
    discard();
    return status;
  }
  current_bytes += entry.size();
  ++current_urls;
  if (lastmod) keep_latest(current_latest, *lastmod, *url.lastmod);
  seen.insert(fingerprint);
  return {};
}

Status SitemapWriter::State::start_part() {
  // With gzip, the first part stays plain while it may still become the only
  // file (sitemap.xml); a second part settles it.
  const bool gzip = options.gzip && !parts.empty();
  if (gzip && parts.size() == 1 && !parts.front().gzipped) {
    Result<TemporaryFile> compressed = compress_part(
        directory, std::move(parts.front().file), "sitemap-1.xml.gz");
    if (!compressed) return std::move(compressed).error();
    parts.front().file = std::move(*compressed);
    parts.front().gzipped = true;
  }
  auto sink = std::make_unique<PartSink>();
  const std::string stem = part_stem(parts.size() + 1, gzip);
  if (Status status = sink->open(directory, stem, gzip); !status) return status;
  std::string head(kXmlDeclaration);
  head.append(kUrlsetOpen);
  if (Status status = sink->append(head); !status) return status;
  current = std::move(sink);
  current_bytes = head.size();
  current_urls = 0;
  current_latest.reset();
  return {};
}

Status SitemapWriter::State::finish_part() {
  if (Status status = current->append(kUrlsetClose); !status) return status;
  Result<TemporaryFile> file = current->finish();
  if (!file) return std::move(file).error();
  const bool gzipped = options.gzip && !parts.empty();
  parts.push_back(Part{std::move(*file), gzipped, std::move(current_latest)});
  current.reset();
  current_latest.reset();
  return {};
}

Result<std::vector<std::string>> SitemapWriter::State::close() {
  if (!open)
    return Error(ErrorKind::Configuration, "the sitemap writer is closed");
  Status status = current ? Status{} : start_part();
  if (status) status = finish_part();
  std::vector<std::string> names;
  if (status && parts.size() == 1) {
    status =
        parts.front().file.rename_to(directory + "/" + std::string(kIndexName));
  } else if (status) {
    // The parts first, under names the served index does not list; then
    // the index, whose rename switches readers from one whole set to the
    // other.
    std::string index(kXmlDeclaration);
    index.append(kIndexOpen);
    for (std::size_t i = 0; status && i < parts.size(); ++i) {
      names.push_back(part_name(i + 1, parts[i]));
      status = parts[i].file.rename_to(directory + "/" + names.back());
      index.append("<sitemap>\n");
      // The index holds the site's own URLs and names: always writable.
      (void)append_element(index, "  ", "loc",
                           public_prefix + "/" + names.back());
      if (parts[i].latest)
        (void)append_element(index, "  ", "lastmod", parts[i].latest->text);
      index.append("</sitemap>\n");
    }
    index.append(kIndexClose);
    // The parts' names must be on disk before the index that lists them.
    if (status) status = sync_directory(directory);
    TemporaryFile file;
    if (status) status = file.create(directory, kIndexName);
    if (status) status = file.write(index);
    if (status) status = file.sync_and_close();
    if (status)
      status = file.rename_to(directory + "/" + std::string(kIndexName));
  }
  if (status) status = sync_directory(directory);
  discard();
  if (!status) return std::move(status).error();
  remove_unlisted_parts(directory, names);
  names.emplace_back(kIndexName);
  return names;
}

void SitemapWriter::State::discard() noexcept {
  current.reset();
  parts.clear();
  open = false;
}

Result<SitemapWriter> SitemapWriter::open(std::string directory,
                                          const SEOConfig& config,
                                          SitemapOptions options) {
  if (options.max_urls < 1 || options.max_urls > kSitemapMaxUrls) {
    return Error(ErrorKind::Configuration,
                 "max_urls must be between 1 and 50000, got " +
                     std::to_string(options.max_urls));
  }
  if (options.max_bytes < 1 || options.max_bytes > kSitemapMaxBytes) {
    return Error(ErrorKind::Configuration,
                 "max_bytes must be between 1 and 52428800, got " +
                     std::to_string(options.max_bytes));
  }
  struct stat info {};
  if (::stat(directory.c_str(), &info) != 0)
    return write_error(directory, errno);
  if (!S_ISDIR(info.st_mode)) return write_error(directory, ENOTDIR);
  // What writers killed midway left behind (".sitemap-3.xml-<pid>-0.tmp").
  detail::remove_stale_temporaries(directory, "sitemap");
  Result<std::string> root = normalize_public_url("/", config);
  if (!root) return std::move(root).error();
  auto state = std::make_unique<State>();
  state->directory = std::move(directory);
  state->config = config;
  Result<detail::RouteResolver> routes =
      detail::RouteResolver::make(state->config);
  if (!routes) return std::move(routes).error();
  state->routes = std::move(*routes);
  state->options = options;
  state->public_prefix = std::move(*root);
  while (state->public_prefix.ends_with('/')) state->public_prefix.pop_back();
  return SitemapWriter(std::move(state));
}

SitemapWriter::SitemapWriter(std::unique_ptr<State> state) noexcept
    : state_(std::move(state)) {}
SitemapWriter::SitemapWriter(SitemapWriter&&) noexcept = default;
SitemapWriter& SitemapWriter::operator=(SitemapWriter&&) noexcept = default;
SitemapWriter::~SitemapWriter() = default;

Status SitemapWriter::add(const SitemapUrl& url) { return state_->add(url); }

Result<std::vector<std::string>> SitemapWriter::close() {
  return state_->close();
}

void SitemapWriter::discard() noexcept { state_->discard(); }

bool SitemapWriter::is_open() const noexcept { return state_ && state_->open; }

}  // namespace zelko
