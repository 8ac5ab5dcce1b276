#include "zelko/contract.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sha256.hpp"
#include "temporary_file.hpp"

namespace zelko {
namespace {

void write_schema(JsonWriter& writer,
                  const std::optional<SchemaExpectation>& schema) {
  if (!schema) return;
  writer.key("schema");
  writer.begin_object();
  writer.optional_member("required", schema->required);
  writer.optional_member("types", schema->types);
  writer.optional_member("valid", schema->valid);
  writer.optional_member("rich_results", schema->rich_results);
  writer.end_object();
}

void write_section(JsonWriter& writer, std::string_view key,
                   const std::optional<SectionExpectation>& section) {
  if (!section) return;
  writer.key(key);
  writer.begin_object();
  writer.optional_member("required", section->required);
  writer.end_object();
}

void write_head(JsonWriter& writer,
                const std::optional<HeadExpectation>& head) {
  if (!head) return;
  writer.key("head");
  writer.begin_object();
  writer.optional_member("required", head->required);
  writer.end_object();
}

void write_nested(JsonWriter& writer, std::string_view key,
                  const OptionalBox<SEOExpectation>& nested) {
  if (!nested) return;
  writer.key(key);
  write_expectation(writer, *nested);
}

// ---- Atomic file replacement ----------------------------------------------

// GNU strerror_r returns the text (not necessarily in the buffer); the XSI
// variant returns a status and fills the buffer. Overloads pick the right
// reading for whichever the C library provides.
[[maybe_unused]] std::string strerror_text(const char* text, const char*) {
  return text;
}
[[maybe_unused]] std::string strerror_text(int status, const char* buffer) {
  return status == 0 ? std::string(buffer) : std::string("Unknown error");
}

std::string os_error_description(int error_number) {
  std::array<char, 256> buffer{};
  return strerror_text(strerror_r(error_number, buffer.data(), buffer.size()),
                       buffer.data());
}

Error write_failure(int error_number) {
  return Error::from_system(
      ErrorKind::Serialization, error_number,
      "failed to write contract: " + os_error_description(error_number));
}

std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Makes the rename itself durable. The new file is already complete and in
// place, so a failure here is not reported.
void sync_directory_of(const std::string& path) {
  const int fd =
      ::open(directory_of(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

// /dev/null, a terminal or a pipe: renaming over it would replace the device
// itself, so it is written to as it is.
bool is_special_file(const std::string& path) {
  struct stat existing {};
  return ::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
         !S_ISDIR(existing.st_mode);
}

Status write_in_place(const std::string& path, std::string_view bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return write_failure(errno);
  const int error = detail::write_fully(fd, bytes);
  ::close(fd);
  return error == 0 ? Status{} : write_failure(error);
}

// Each step of an atomic replace: 0 or an errno.
Status step(int error) { return error == 0 ? Status{} : write_failure(error); }

Status replace_file(const std::string& path, std::string_view bytes) {
  if (path.empty()) return write_failure(ENOENT);
  // The system would silently cut the name at the first NUL.
  if (path.find('\0') != std::string::npos) return write_failure(EINVAL);
  if (is_special_file(path)) return write_in_place(path, bytes);
  detail::TemporaryFile temporary;
  const std::string directory = directory_of(path);
  detail::remove_stale_temporaries(directory, "zelko");
  if (Status s = step(temporary.create(directory, "zelko")); !s) return s;
  if (Status s = step(temporary.write(bytes)); !s) return s;
  if (Status s = step(temporary.copy_permissions_of(path)); !s) return s;
  if (Status s = step(temporary.sync_and_close()); !s) return s;
  if (Status s = step(temporary.rename_to(path)); !s) return s;
  sync_directory_of(path);
  return {};
}

}  // namespace

ExpectationMap build_exception_map(
    std::vector<std::pair<std::string, SEOExpectation>> pairs) {
  ExpectationMap exceptions;
  for (auto& [route, expectation] : pairs) {
    exceptions.insert_or_assign(std::move(route), std::move(expectation));
  }
  return exceptions;
}

void write_expectation(JsonWriter& writer, const SEOExpectation& expectation) {
  writer.begin_object();
  writer.optional_member("required", expectation.required);
  writer.optional_member("forbidden", expectation.forbidden);
  writer.optional_member("equals", expectation.equals);
  writer.optional_member("not_equals", expectation.not_equals);
  writer.optional_member("contains", expectation.contains);
  writer.optional_member("matches", expectation.matches);
  writer.optional_member("one_of", expectation.one_of);
  writer.optional_member("min_length", expectation.min_length);
  writer.optional_member("max_length", expectation.max_length);
  writer.optional_member("min_items", expectation.min_items);
  writer.optional_member("max_items", expectation.max_items);
  writer.optional_member("indexable", expectation.indexable);
  writer.optional_member("canonical", expectation.canonical);
  write_schema(writer, expectation.schema);
  write_section(writer, "open_graph", expectation.open_graph);
  write_section(writer, "twitter", expectation.twitter);
  write_section(writer, "sitemap", expectation.sitemap);
  write_section(writer, "hreflang", expectation.hreflang);
  write_nested(writer, "title", expectation.title);
  write_nested(writer, "description", expectation.description);
  write_head(writer, expectation.head);
  writer.end_object();
}

std::string expectation_to_json(const SEOExpectation& expectation,
                                bool pretty) {
  std::string out;
  JsonWriter writer(out, pretty);
  write_expectation(writer, expectation);
  return out;
}

void write_contract_rule(JsonWriter& writer, const SEOContractRule& rule) {
  writer.begin_object();
  writer.member("match", rule.match);
  writer.key("expect");
  write_expectation(writer, rule.expect);
  if (rule.severity) {
    writer.member("severity", severity_contract_text(*rule.severity));
  }
  writer.end_object();
}

void SEOContract::write_json_to(JsonWriter& writer) const {
  writer.begin_object();
  writer.member("contract_version", kContractVersion);

  writer.key("generator");
  writer.begin_object();
  writer.member("name", kGeneratorName);
  writer.member("version", kGeneratorVersion);
  writer.end_object();

  writer.key("site");
  writer.begin_object();
  writer.member("canonical_host", config_.canonical_host);
  writer.member("scheme", config_.scheme);
  writer.end_object();

  writer.key("defaults");
  write_expectation(writer, config_.defaults);

  writer.key("rules");
  writer.begin_array();
  for (const SEOContractRule& rule : config_.rules) {
    write_contract_rule(writer, rule);
  }
  writer.end_array();

  writer.key("exceptions");
  writer.begin_object();
  for (const auto& [route, expectation] : config_.exceptions) {
    writer.key(route);
    write_expectation(writer, expectation);
  }
  writer.end_object();

  writer.end_object();
}

std::string SEOContract::to_json() const {
  std::string out;
  JsonWriter writer(out, /*pretty=*/true);
  write_json_to(writer);
  return out;
}

std::string SEOContract::to_json_compact() const {
  std::string out;
  JsonWriter writer(out, /*pretty=*/false);
  write_json_to(writer);
  return out;
}

Result<JsonValue> SEOContract::to_value() const {
  return parse_json(to_json_compact());
}

std::string SEOContract::hash() const { return sha256_hex(to_json()); }

Status SEOContract::write(const std::string& path) const {
  return replace_file(path, to_json());
}

SEOContract build_seo_contract(const SEOContractConfig& config) {
  return SEOContract(config);
}

}  // namespace zelko
