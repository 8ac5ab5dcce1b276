#include "zelko/contract.hpp"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "sha256.hpp"

namespace zelko {
namespace {

SEOExpectation title_at_most(std::uint64_t length) {
  SEOExpectation title;
  title.max_length = length;
  return title;
}

SEOContractConfig blog_config() {
  SEOContractConfig config;
  config.canonical_host = "site-host";
  SEOExpectation expect;
  expect.indexable = true;
  expect.title = title_at_most(60);
  config.rules.push_back(
      SEOContractRule{"/blog/*", expect, parse_severity("warning")});
  return config;
}

// ---- Expectations -----------------------------------------------------------

struct ExpectationCase {
  std::string label;
  SEOExpectation expectation;
  std::string compact;
};

void PrintTo(const ExpectationCase& expectation_case, std::ostream* out) {
  *out << expectation_case.label;
}

SEOExpectation with(void (*fill)(SEOExpectation&)) {
  SEOExpectation expectation;
  fill(expectation);
  return expectation;
}

class ExpectationTextTest : public testing::TestWithParam<ExpectationCase> {};

TEST_P(ExpectationTextTest, WritesPresentFieldsOnlyInDeclaredOrder) {
  EXPECT_EQ(expectation_to_json(GetParam().expectation, /*pretty=*/false),
            GetParam().compact);
}

INSTANTIATE_TEST_SUITE_P(
    Expectations, ExpectationTextTest,
    testing::Values(
        ExpectationCase{"nothing_set", SEOExpectation{}, "{}"},
        ExpectationCase{"og_required", with([](SEOExpectation& e) {
                          e.open_graph = SectionExpectation{true};
                        }),
                        R"({"open_graph":{"required":true}})"},
        ExpectationCase{
            "schema_with_types", with([](SEOExpectation& e) {
              e.schema = SchemaExpectation{
                  true, std::vector<std::string>{"Article", "FAQPage"}};
            }),
            R"({"schema":{"required":true,"types":["Article","FAQPage"]}})"},
        ExpectationCase{"schema_types_only", with([](SEOExpectation& e) {
                          e.schema = SchemaExpectation{
                              std::nullopt, std::vector<std::string>{"Thing"}};
                        }),
                        R"({"schema":{"types":["Thing"]}})"},
        ExpectationCase{
            "schema_structured_data", with([](SEOExpectation& e) {
              e.schema = SchemaExpectation{};
              e.schema->valid = true;
              e.schema->rich_results = std::vector<std::string>{"Product"};
            }),
            R"({"schema":{"valid":true,"rich_results":["Product"]}})"},
        ExpectationCase{"empty_sub_objects", with([](SEOExpectation& e) {
                          e.schema = SchemaExpectation{};
                          e.sitemap = SectionExpectation{};
                        }),
                        R"({"schema":{},"sitemap":{}})"},
        ExpectationCase{"required_false",
                        with([](SEOExpectation& e) { e.required = false; }),
                        R"({"required":false})"},
        ExpectationCase{"empty_one_of", with([](SEOExpectation& e) {
                          e.one_of = std::vector<std::string>{};
                        }),
                        R"({"one_of":[]})"},
        ExpectationCase{"nested_title", with([](SEOExpectation& e) {
                          e.title = title_at_most(60);
                        }),
                        R"({"title":{"max_length":60}})"},
        ExpectationCase{
            "every_field", with([](SEOExpectation& e) {
              e.description = with([](SEOExpectation& d) {
                d.title = with([](SEOExpectation& t) { t.forbidden = true; });
              });
              e.title = title_at_most(70);
              e.hreflang = SectionExpectation{false};
              e.sitemap = SectionExpectation{true};
              e.twitter = SectionExpectation{false};
              e.open_graph = SectionExpectation{true};
              e.schema = SchemaExpectation{false, std::nullopt};
              e.canonical = "self";
              e.indexable = false;
              e.max_items = 9;
              e.min_items = 0;
              e.max_length = 18446744073709551615ULL;
              e.min_length = 1;
              e.one_of = std::vector<std::string>{"b", "a", "b"};
              e.matches = "^/[a-z]+\\d$";
              e.contains = "caf\xC3\xA9";
              e.not_equals = "x\"y";
              e.equals = "line\nbreak";
              e.forbidden = false;
              e.required = true;
              e.head = HeadExpectation{std::vector<std::string>{"icon"}};
            }),
            R"({"required":true,"forbidden":false,"equals":"line\nbreak",)"
            R"("not_equals":"x\"y","contains":"café","matches":"^/[a-z]+\\d$",)"
            R"("one_of":["b","a","b"],"min_length":1,)"
            R"("max_length":18446744073709551615,"min_items":0,"max_items":9,)"
            R"("indexable":false,"canonical":"self",)"
            R"("schema":{"required":false},"open_graph":{"required":true},)"
            R"("twitter":{"required":false},"sitemap":{"required":true},)"
            R"("hreflang":{"required":false},"title":{"max_length":70},)"
            R"("description":{"title":{"forbidden":true}},)"
            R"("head":{"required":["icon"]}})"}),
    [](const auto& info) { return info.param.label; });

TEST(ExpectationText, EmptyExpectationIsOneLineInPrettyForm) {
  EXPECT_EQ(expectation_to_json(SEOExpectation{}, /*pretty=*/true), "{}");
}

TEST(Expectation, CopiesNestedExpectationsDeeply) {
  SEOExpectation original;
  original.title = title_at_most(60);
  original.title->description = title_at_most(10);

  SEOExpectation copy = original;
  copy.title->max_length = 1;
  copy.title->description->max_length = 2;

  EXPECT_EQ(original.title->max_length, 60U);
  EXPECT_EQ(original.title->description->max_length, 10U);
  EXPECT_NE(copy, original);
  copy = original;
  EXPECT_EQ(copy, original);
}

// ---- Contract text ----------------------------------------------------------

TEST(ContractText, MatchesTheDocumentedExampleCharacterForCharacter) {
  const SEOContract contract = build_seo_contract(blog_config());

  EXPECT_EQ(contract.to_json(),
            R"({
  "contract_version": "1",
  "generator": {
    "name": "zelko",
    "version": "0.2.0"
  },
  "site": {
    "canonical_host": "site-host",
    "scheme": "https"
  },
  "defaults": {},
  "rules": [
    {
      "match": "/blog/*",
      "expect": {
        "indexable": true,
        "title": {
          "max_length": 60
        }
      },
      "severity": "Warning"
    }
  ],
  "exceptions": {}
})");
}

TEST(ContractText, OnlyAHostGivesEmptyDefaultsRulesAndExceptions) {
  SEOContractConfig config;
  config.canonical_host = "example.com";

  const SEOContract contract = build_seo_contract(config);

  EXPECT_EQ(contract.to_json_compact(),
            R"({"contract_version":"1","generator":{"name":"zelko",)"
            R"("version":"0.2.0"},"site":{"canonical_host":"example.com",)"
            R"("scheme":"https"},"defaults":{},"rules":[],"exceptions":{}})");
  EXPECT_EQ(contract.contract_version(), "1");
  EXPECT_EQ(contract.scheme(), "https");
}

TEST(ContractText, HostAndSchemeAreWrittenVerbatim) {
  SEOContractConfig config;
  config.canonical_host = "";
  config.scheme = "HTTP";

  EXPECT_NE(build_seo_contract(config).to_json_compact().find(
                R"("site":{"canonical_host":"","scheme":"HTTP"})"),
            std::string::npos);
}

TEST(ContractExceptions, SortByRouteBytesAndLastDuplicateWins) {
  SEOContractConfig config;
  config.canonical_host = "h";
  config.exceptions = build_exception_map({
      {"/b", title_at_most(1)},
      {"/a", title_at_most(2)},
      {"/B", title_at_most(3)},
      {"/a", title_at_most(4)},
      {"/\xC3\xA9", title_at_most(5)},
  });

  EXPECT_NE(build_seo_contract(config).to_json_compact().find(
                R"("exceptions":{"/B":{"max_length":3},"/a":{"max_length":4},)"
                R"("/b":{"max_length":1},"/é":{"max_length":5}}})"),
            std::string::npos);
}

TEST(ContractRules, KeepOrderAndWriteSeveritiesFromTheirArgumentText) {
  SEOContractConfig config;
  config.canonical_host = "h";
  const std::vector<std::pair<std::string, std::optional<std::string>>> rules =
      {{"/warn", "warn"},   {"/Warning", "Warning"}, {"/info", "info"},
       {"/error", "error"}, {"/none", std::nullopt}, {"no-slash", "warning"}};
  for (const auto& [match, severity_argument] : rules) {
    std::optional<Severity> severity;
    if (severity_argument) severity = parse_severity(*severity_argument);
    config.rules.push_back(SEOContractRule{match, SEOExpectation{}, severity});
  }

  EXPECT_NE(build_seo_contract(config).to_json_compact().find(
                R"("rules":[{"match":"/warn","expect":{},"severity":"Error"},)"
                R"({"match":"/Warning","expect":{},"severity":"Error"},)"
                R"({"match":"/info","expect":{},"severity":"Info"},)"
                R"({"match":"/error","expect":{},"severity":"Error"},)"
                R"({"match":"/none","expect":{}},)"
                R"({"match":"no-slash","expect":{},"severity":"Warning"}])"),
            std::string::npos);
}

TEST(Contract, OwnsACopyOfItsConfiguration) {
  SEOContractConfig config = blog_config();
  const SEOContract contract = build_seo_contract(config);
  const std::string before = contract.to_json();

  config.rules.clear();
  config.canonical_host = "changed";

  EXPECT_EQ(contract.to_json(), before);
}

TEST(Contract, ValueFormHasSortedKeysAndTheSameContent) {
  const Result<JsonValue> value = build_seo_contract(blog_config()).to_value();

  ASSERT_TRUE(value.ok()) << value.error().message();
  std::vector<std::string> keys;
  for (const auto& [key, member] : value->items()) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"contract_version", "defaults",
                                            "exceptions", "generator", "rules",
                                            "site"}));
  EXPECT_EQ((*value)["rules"][0]["severity"], "Warning");
  EXPECT_EQ((*value)["rules"][0]["expect"]["title"]["max_length"], 60U);
}

// ---- Hash -------------------------------------------------------------------

TEST(ContractHash, IsTheDigestOfThePrettyText) {
  const SEOContract contract = build_seo_contract(blog_config());
  EXPECT_EQ(contract.hash(), sha256_hex(contract.to_json()));
  EXPECT_NE(contract.hash(), sha256_hex(contract.to_json_compact()));
}

TEST(ContractHash, ChangesWhenARuleIsAdded) {
  SEOContractConfig config = blog_config();
  const std::string before = build_seo_contract(config).hash();
  config.rules.push_back(SEOContractRule{"/about", SEOExpectation{}, {}});
  EXPECT_NE(build_seo_contract(config).hash(), before);
}

// ---- Writing ----------------------------------------------------------------

class ContractWriteTest : public testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = testing::TempDir() + "zelko-contract-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    directory_ = pattern;
  }

  void TearDown() override {
    for (const std::string& name : entries(directory_)) {
      const std::string path = directory_ + "/" + name;
      if (::unlink(path.c_str()) != 0) ::rmdir(path.c_str());
    }
    ::rmdir(directory_.c_str());
  }

  static std::set<std::string> entries(const std::string& directory) {
    std::set<std::string> names;
    DIR* dir = ::opendir(directory.c_str());
    if (dir == nullptr) return names;
    while (const dirent* entry = ::readdir(dir)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(dir);
    return names;
  }

  static std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in),
            std::istreambuf_iterator<char>()};
  }

  static void write_file(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

  std::string directory_;
};

TEST_F(ContractWriteTest, FileHoldsExactlyThePrettyTextAndMatchesTheHash) {
  const SEOContract contract = build_seo_contract(blog_config());
  const std::string path = directory_ + "/contract.json";

  const Status status = contract.write(path);

  ASSERT_TRUE(status.ok()) << status.error().display();
  const std::string bytes = read_file(path);
  EXPECT_EQ(bytes, contract.to_json());
  EXPECT_EQ(sha256_hex(bytes), contract.hash());
  EXPECT_EQ(entries(directory_), std::set<std::string>{"contract.json"});
}

TEST_F(ContractWriteTest, ReplacesALongerExistingFileWholeAndKeepsItsMode) {
  const std::string path = directory_ + "/contract.json";
  write_file(path, std::string(10000, 'x'));
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  const SEOContract contract = build_seo_contract(blog_config());

  ASSERT_TRUE(contract.write(path).ok());

  EXPECT_EQ(read_file(path), contract.to_json());
  struct stat written {};
  ASSERT_EQ(::stat(path.c_str(), &written), 0);
  EXPECT_EQ(written.st_mode & 07777, 0640U);
  EXPECT_EQ(entries(directory_), std::set<std::string>{"contract.json"});
}

TEST_F(ContractWriteTest, MissingDirectoryFailsAndCreatesNothing) {
  const std::string path = directory_ + "/missing/contract.json";

  const Status status = build_seo_contract(blog_config()).write(path);

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::Serialization);
  EXPECT_EQ(status.error().message(),
            "failed to write contract: No such file or directory");
  EXPECT_EQ(status.error().system_error(), ENOENT);
  EXPECT_TRUE(status.error().display().starts_with(
      "serialization error: failed to write contract: "));
  EXPECT_TRUE(entries(directory_).empty());
}

TEST_F(ContractWriteTest, FailedRenameLeavesTargetAndNoTemporaryFile) {
  // A non-empty directory cannot be replaced by a file: the temporary file is
  // written in full, then the final step fails.
  const std::string path = directory_ + "/occupied";
  ASSERT_EQ(::mkdir(path.c_str(), 0755), 0);
  write_file(path + "/keep", "kept");

  const Status status = build_seo_contract(blog_config()).write(path);

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::Serialization);
  EXPECT_TRUE(
      status.error().message().starts_with("failed to write contract: "));
  EXPECT_EQ(entries(directory_), std::set<std::string>{"occupied"});
  EXPECT_EQ(read_file(path + "/keep"), "kept");
}

TEST_F(ContractWriteTest, TemporaryNameAlreadyTakenIsLeftAloneAndSkipped) {
  const std::string path = directory_ + "/contract.json";
  const std::string taken =
      directory_ + "/.zelko-" + std::to_string(::getpid()) + "-0.tmp";
  write_file(taken, "someone else's");
  const SEOContract contract = build_seo_contract(blog_config());

  ASSERT_TRUE(contract.write(path).ok());

  EXPECT_EQ(read_file(path), contract.to_json());
  EXPECT_EQ(read_file(taken), "someone else's");
  EXPECT_EQ(entries(directory_).size(), 2U);
}

// Caps the size of files this process may write, so that a write stops
// part-way as it would on a full disk; restored when the test ends.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &saved_);
    previous_handler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, previous_handler_);
  }

 private:
  rlimit saved_{};
  void (*previous_handler_)(int) = nullptr;
};

TEST_F(ContractWriteTest, WriteStoppedPartWayKeepsTheOldFileIntact) {
  const std::string path = directory_ + "/contract.json";
  write_file(path, "old contract");
  const SEOContract contract = build_seo_contract(blog_config());
  ASSERT_GT(contract.to_json().size(), 100U);

  Status status;
  {
    const FileSizeLimit limit(100);
    status = contract.write(path);
  }

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().kind(), ErrorKind::Serialization);
  EXPECT_EQ(status.error().message(),
            "failed to write contract: File too large");
  EXPECT_EQ(status.error().system_error(), EFBIG);
  EXPECT_EQ(read_file(path), "old contract");
  EXPECT_EQ(entries(directory_), std::set<std::string>{"contract.json"});
}

// The temporary file's name does not grow with the target's.
TEST_F(ContractWriteTest, TargetNameOfNameMaxBytesIsWritten) {
  const std::string path = directory_ + "/" + std::string(NAME_MAX, 'n');
  write_file(path, "old contract");
  const SEOContract contract = build_seo_contract(blog_config());

  ASSERT_TRUE(contract.write(path).ok());

  EXPECT_EQ(read_file(path), contract.to_json());
  EXPECT_EQ(entries(directory_).size(), 1U);
}

// The system would cut the name at the NUL and write "out" instead.
TEST_F(ContractWriteTest, PathWithNulFailsWithoutCreatingAnything) {
  using namespace std::string_literals;
  const std::string path = directory_ + "/out\0.json"s;
  const Status status = build_seo_contract(blog_config()).write(path);

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().message(),
            "failed to write contract: Invalid argument");
  EXPECT_TRUE(entries(directory_).empty());
}

TEST_F(ContractWriteTest, EmptyPathFailsWithoutCreatingAnything) {
  const Status status = build_seo_contract(blog_config()).write("");

  ASSERT_FALSE(status.ok());
  EXPECT_EQ(status.error().message(),
            "failed to write contract: No such file or directory");
}

}  // namespace
}  // namespace zelko
