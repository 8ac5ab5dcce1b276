// The streaming sitemap writer on fuzzed entries, options and configurations,
// writing into a scratch directory of its own.
//
// Invariants: an add is accepted or refused with one of the documented error
// kinds, and a refused add leaves the writer usable; a lastmod it accepts is
// a W3C Datetime; close() names what it wrote, sitemap.xml last, and the
// directory then holds exactly those files (no temporary file, no part of
// the previous set); a writer discarded, or whose close failed, leaves no
// temporary file behind.
#include <dirent.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "fuzz_support.hpp"
#include "zelko/crawl.hpp"

namespace {

using namespace zelko;

const std::string& scratch() {
  static const std::string directory = [] {
    std::string pattern = "/tmp/zelko-sitemap-fuzz-XXXXXX";
    if (::access("/dev/shm", W_OK) == 0)
      pattern = "/dev/shm/zelko-sitemap-fuzz-XXXXXX";
    FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
    return pattern;
  }();
  return directory;
}

std::vector<std::string> listing(const std::string& directory) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(directory.c_str());
  FUZZ_CHECK(dir != nullptr);
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

bool has_temporary(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(), [](const std::string& name) {
    return name.starts_with(".") && name.ends_with(".tmp");
  });
}

constexpr std::array<std::string_view, 6> kLocations = {
    "/a",
    "/a/?page=2&utm_source=x",
    "https://www.example.com/b",
    "https://elsewhere.example/c",
    "/\x01",
    "/"
    "\xEF\xBF\xBF"};
constexpr std::array<std::string_view, 6> kLastmods = {
    "2024-05-01", "2024-02-29T10:00:00Z", "2024-13-45",
    "yesterday",  "2024-05-01T09:30:00",  "2024"};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes,
                                      std::size_t size) {
  FuzzedDataProvider data(bytes, size);
  const std::optional<SEOConfig> config = fuzz::config(data);
  if (!config) return 0;
  SitemapOptions options;
  options.max_urls = data.ConsumeIntegralInRange<std::size_t>(0, 4);
  options.max_bytes = data.ConsumeIntegralInRange<std::size_t>(0, 4000);
  options.gzip = data.ConsumeBool();
  const std::string& directory = scratch();
  Result<SitemapWriter> opened =
      SitemapWriter::open(directory, *config, options);
  if (!opened) {
    FUZZ_CHECK(opened.error().kind() == ErrorKind::Configuration ||
               opened.error().kind() == ErrorKind::InvalidUrl);
    return 0;
  }
  SitemapWriter writer = std::move(*opened);
  const int entries = data.ConsumeIntegralInRange<int>(0, 12);
  for (int i = 0; i < entries && writer.is_open(); ++i) {
    const std::string location = data.ConsumeBool()
                                     ? std::string(fuzz::pick(data, kLocations))
                                     : fuzz::text(data, 40);
    std::optional<std::string> lastmod;
    if (data.ConsumeBool()) {
      lastmod = data.ConsumeBool() ? std::string(fuzz::pick(data, kLastmods))
                                   : fuzz::text(data, 28);
    }
    Alternates alternates;
    if (data.ConsumeBool()) alternates.emplace_back("de", fuzz::text(data, 24));
    const std::vector<std::string> images = fuzz::text_list(data, 2);
    SitemapUrl url;
    url.location = location;
    if (lastmod) url.lastmod = *lastmod;
    url.alternates = &alternates;
    url.images = &images;
    const Status added = writer.add(url);
    if (added) {
      if (lastmod) FUZZ_CHECK(parse_w3c_datetime(*lastmod).ok());
      continue;
    }
    const ErrorKind kind = added.error().kind();
    FUZZ_CHECK(kind == ErrorKind::InvalidUrl ||
               kind == ErrorKind::Configuration || kind == ErrorKind::Entity ||
               kind == ErrorKind::Serialization);
    // Only a file that cannot be written gives the set up.
    FUZZ_CHECK(writer.is_open() == (kind != ErrorKind::Serialization));
  }
  if (data.ConsumeBool() || !writer.is_open()) {
    writer.discard();
    FUZZ_CHECK(!has_temporary(listing(directory)));
    return 0;
  }
  Result<std::vector<std::string>> names = writer.close();
  const std::vector<std::string> files = listing(directory);
  FUZZ_CHECK(!has_temporary(files));
  if (!names) return 0;
  FUZZ_CHECK(!names->empty() && names->back() == "sitemap.xml");
  std::vector<std::string> written = *names;
  std::sort(written.begin(), written.end());
  FUZZ_CHECK(files == written);
  return 0;
}
