#include "zelko/structured_data.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <set>
#include <unordered_map>
#include <utility>

#include "structured_values.hpp"
#include "text.hpp"
#include "vocabulary_table.hpp"

namespace zelko {
namespace {

namespace vocab = zelko::vocabulary;
using TermId = std::uint16_t;

// Keys looked up as views: a C string would be measured at every comparison
// of the map's search.
constexpr std::string_view kIdKey = "@id";
constexpr std::string_view kTypeKey = "@type";
constexpr std::string_view kGraphKey = "@graph";
constexpr std::string_view kValueKey = "@value";
constexpr std::string_view kContextKey = "@context";

// Whether two texts are equal, compared in place: names and keys are short,
// and a call to memcmp costs more than comparing them.
inline bool same_text(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  const std::size_t size = a.size();
  if (size >= 8 && size <= 16) {
    // Two words that overlap in the middle cover every byte.
    std::uint64_t a_head = 0, b_head = 0, a_tail = 0, b_tail = 0;
    std::memcpy(&a_head, a.data(), 8);
    std::memcpy(&b_head, b.data(), 8);
    std::memcpy(&a_tail, a.data() + size - 8, 8);
    std::memcpy(&b_tail, b.data() + size - 8, 8);
    return a_head == b_head && a_tail == b_tail;
  }
  if (size > 16) return a == b;
  for (std::size_t i = 0; i < size; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

// An object's members, walked without the JSON iterator's bookkeeping.
const JsonValue::object_t& members(const JsonValue& object) noexcept {
  return *object.get_ptr<const JsonValue::object_t*>();
}

// A keyword member ("@id", "@type", ...) of an object, or null. Members are
// sorted bytewise, so every "@" key comes before the first key whose first
// byte is above '@': the search reads the object's first few members rather
// than comparing down the tree.
const JsonValue* find_keyword(const JsonValue& object,
                              std::string_view keyword) noexcept {
  for (const auto& [key, member] : members(object)) {
    if (key.empty()) continue;
    if (static_cast<unsigned char>(key[0]) > '@') break;
    if (same_text(key, keyword)) return &member;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// The vocabulary table

// The generated tables, read once (their accessors live in another file),
// so that a lookup is an index and not a call.
struct Tables {
  std::span<const vocab::Term> terms = vocab::terms();
  std::span<const TermId> links = vocab::links();
  std::span<const TermId> name_slots = vocab::name_slots();
  std::span<const vocab::Ancestry> ancestry = vocab::ancestry();
  std::span<const TermId> ancestors = vocab::ancestors();
};
const Tables kTables;

const vocab::Term& term_of(TermId id) noexcept { return kTables.terms[id]; }

const vocab::Term* term_at(TermId id) noexcept {
  return id < kTables.terms.size() ? &kTables.terms[id] : nullptr;
}

// The term of a name, or kNoTerm. (Returned in a register: an optional
// built in the callee went through memory, which cost more than the search.)
TermId term_id(std::string_view name) noexcept {
  // At most half the slots are taken, so the probe meets an empty one.
  const std::span<const TermId> slots = kTables.name_slots;
  const std::size_t mask = slots.size() - 1;
  for (std::size_t slot = vocab::name_hash(name) & mask;;
       slot = (slot + 1) & mask) {
    const TermId id = slots[slot];
    if (id == vocab::kNoTerm || same_text(kTables.terms[id].name, name)) {
      return id;
    }
  }
}

inline std::optional<TermId> find_term(std::string_view name) noexcept {
  const TermId id = term_id(name);
  if (id == vocab::kNoTerm) return std::nullopt;
  return id;
}

std::span<const TermId> first_links(const vocab::Term& term) noexcept {
  return kTables.links.subspan(term.links_begin, term.first_count);
}

std::span<const TermId> second_links(const vocab::Term& term) noexcept {
  return kTables.links.subspan(term.links_begin + term.first_count,
                               term.second_count);
}

bool has_flag(TermId id, std::uint8_t flag) noexcept {
  return (term_of(id).flags & flag) != 0;
}

// Whether `type` is `ancestor` or inherits from it.
bool is_a(TermId type, TermId ancestor) noexcept {
  if (type == ancestor) return true;
  const vocab::Ancestry& ancestry = kTables.ancestry[type];
  const std::span<const TermId> ancestors =
      kTables.ancestors.subspan(ancestry.begin, ancestry.count);
  return std::find(ancestors.begin(), ancestors.end(), ancestor) !=
         ancestors.end();
}

bool any_is_a(std::span<const TermId> types, TermId ancestor) noexcept {
  return std::any_of(types.begin(), types.end(),
                     [&](TermId type) { return is_a(type, ancestor); });
}

// "schema:Product", "https://schema.org/Product" and "Product" name the same
// term; nullopt for a name of another vocabulary (a prefix or an IRI).
std::optional<std::string_view> schema_name(std::string_view text) noexcept {
  for (std::string_view prefix :
       {"schema:", "https://schema.org/", "http://schema.org/"}) {
    if (text.starts_with(prefix)) return text.substr(prefix.size());
  }
  if (text.find(':') != std::string_view::npos) return std::nullopt;
  return text;
}

// A term with the same name in another case, for "did you mean".
std::optional<std::string_view> near_name(std::string_view name) noexcept {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
  for (const vocab::Term& term : vocab::terms()) {
    if (term.name.size() == name.size() &&
        std::equal(name.begin(), name.end(), term.name.begin(),
                   [&](char a, char b) { return lower(a) == lower(b); })) {
      return term.name;
    }
  }
  return std::nullopt;
}

void append_names(std::string& text, std::span<const TermId> ids,
                  std::size_t limit = 6) {
  for (std::size_t i = 0; i < ids.size() && i < limit; ++i) {
    if (i > 0) text += ", ";
    text += term_of(ids[i]).name;
  }
  if (ids.size() > limit) text += ", ...";
}

std::string joined_names(std::span<const TermId> ids, std::size_t limit = 6) {
  std::string text;
  append_names(text, ids, limit);
  return text;
}

// Whether the rich-result table names the term: a pending term that search
// engines document (eventAttendanceMode) is not reported as pending.
bool is_rich_result_term(std::string_view name) noexcept {
  auto names_it = [&](std::string_view text) {
    std::size_t at = 0;
    while ((at = text.find(name, at)) != std::string_view::npos) {
      std::size_t end = at + name.size();
      bool starts = at == 0 || text[at - 1] == '|' || text[at - 1] == '.';
      bool ends = end == text.size() || text[end] == '|' || text[end] == '.';
      if (starts && ends) return true;
      at = end;
    }
    return false;
  };
  for (const vocab::RichRule& rule : vocab::rich_rules()) {
    if (rule.subject == name || rule.node_type == name || rule.via == name ||
        names_it(rule.properties)) {
      return true;
    }
  }
  return false;
}

// ---------------------------------------------------------------------------
// JSON paths: "$[0].offers.price", "$['@graph'][1]['@type']"

class PathStack {
 public:
  void push(std::string_view key) { segments_.push_back({key, 0, false}); }
  void push(std::size_t index) { segments_.push_back({{}, index, true}); }
  void pop() { segments_.pop_back(); }
  void reserve(std::size_t depth) { segments_.reserve(depth); }
  [[nodiscard]] std::size_t depth() const { return segments_.size(); }

  [[nodiscard]] std::string text() const {
    std::string out;
    out.reserve(32);
    out.push_back('$');
    for (const Segment& segment : segments_) append(out, segment);
    return out;
  }

  [[nodiscard]] std::string text_with(std::string_view key) const {
    std::string out = text();
    append(out, {key, 0, false});
    return out;
  }

 private:
  struct Segment {
    std::string_view key;
    std::size_t index;
    bool is_index;
  };

  static bool is_plain(std::string_view key) noexcept {
    if (key.empty() || (key[0] >= '0' && key[0] <= '9')) return false;
    return std::all_of(key.begin(), key.end(), [](char c) {
      return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
             (c >= '0' && c <= '9') || c == '_';
    });
  }

  static void append(std::string& out, const Segment& segment) {
    if (segment.is_index) {
      append_index(out, segment.index);
    } else {
      append_key(out, segment.key);
    }
  }

  std::vector<Segment> segments_;

 public:
  // One segment, as text() writes it after "$".
  static void append_index(std::string& out, std::size_t index) {
    std::array<char, 24> digits{};
    const auto end =
        std::to_chars(digits.data(), digits.data() + digits.size(), index).ptr;
    out += '[';
    out.append(digits.data(), end);
    out += ']';
  }
  static void append_key(std::string& out, std::string_view key) {
    if (is_plain(key)) {
      out += ".";
      out += key;
    } else {
      out += "['";
      for (char c : key) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
      }
      out += "']";
    }
  }
};

// ---------------------------------------------------------------------------
// Ranges: what a property's values may be

constexpr std::string_view kFormatTypes[] = {
    "Date", "DateTime", "Time", "URL", "Number", "Integer", "Float"};

bool is_name_in(TermId id, std::span<const std::string_view> names) noexcept {
  std::string_view name = term_of(id).name;
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A range type that any node or text may fill: a class that is neither a data
// type nor an enumeration (schema.org accepts text for Thing-valued
// properties).
bool is_thing_range(TermId id) noexcept {
  return has_flag(id, vocab::kClass) && !has_flag(id, vocab::kDataType) &&
         !has_flag(id, vocab::kEnumeration);
}

// Whether `text` names a member of the enumeration (or Boolean) `range`.
bool is_member_text(std::string_view text, TermId range) noexcept {
  std::optional<std::string_view> name = schema_name(text);
  if (!name) return false;
  std::optional<TermId> member = find_term(*name);
  if (!member) return false;
  for (TermId enumeration : second_links(term_of(*member))) {
    if (is_a(enumeration, range)) return true;
  }
  return false;
}

// The data types a value's form is checked against, by index.
struct DataTypes {
  static TermId id_of(std::string_view name) noexcept {
    return find_term(name).value_or(vocab::kNoTerm);
  }
  TermId date = id_of("Date");
  TermId date_time = id_of("DateTime");
  TermId time = id_of("Time");
  TermId url = id_of("URL");
  TermId number = id_of("Number");
  TermId floating = id_of("Float");
  TermId integer = id_of("Integer");
  TermId boolean = id_of("Boolean");
};
const DataTypes kDataTypes;

bool text_fits(std::string_view text, TermId range) noexcept {
  if (has_flag(range, vocab::kAnyText) || is_thing_range(range)) return true;
  const DataTypes& type = kDataTypes;
  if (range == type.date) return structured::is_date_text(text);
  if (range == type.date_time) return structured::is_date_time_text(text);
  if (range == type.time) return structured::is_time_text(text);
  if (range == type.url) return structured::is_url_text(text);
  if (range == type.number || range == type.floating)
    return structured::is_number_text(text);
  if (range == type.integer) return structured::is_integer_text(text);
  return is_member_text(text, range);
}

bool number_fits(const JsonValue& number, TermId range) noexcept {
  if (has_flag(range, vocab::kAnyText) || is_thing_range(range)) return true;
  if (range == kDataTypes.integer) return number.is_number_integer();
  return range == kDataTypes.number || range == kDataTypes.floating;
}

bool boolean_fits(TermId range) noexcept {
  return has_flag(range, vocab::kAnyText) || is_thing_range(range) ||
         range == kDataTypes.boolean;
}

// ---------------------------------------------------------------------------
// Rich-result rules

// Consecutive rules of one subject: one ancestry test for the run.
struct RuleRun {
  TermId subject;
  std::span<const vocab::RichRule> rules;
};

std::vector<RuleRun> rule_runs() {
  std::vector<RuleRun> runs;
  const std::span<const vocab::RichRule> rules = vocab::rich_rules();
  std::size_t begin = 0;
  for (std::size_t end = 1; end <= rules.size(); ++end) {
    if (end == rules.size() ||
        rules[end].subject_id != rules[begin].subject_id) {
      runs.push_back(
          {rules[begin].subject_id, rules.subspan(begin, end - begin)});
      begin = end;
    }
  }
  return runs;
}
const std::vector<RuleRun> kRuleRuns = rule_runs();

// What the rules of one node look up again and again: the member a rule's
// `via` names, and the exact types of the node found there.
struct RuleLookups {
  std::string_view via;
  const JsonValue* via_value = nullptr;  // null: the node has no such member
  bool has_via = false;
  const JsonValue* typed = nullptr;  // the node `type_ids` belong to
  std::array<TermId, 4> type_ids{};
  std::size_t type_count = 0;  // more than type_ids holds: not kept
};

// ---------------------------------------------------------------------------
// The checker

// A node's types: a run of the checker's list of types (one list for the
// whole document, so no node allocates its own).
struct TypeRange {
  std::uint32_t begin = 0;
  std::uint32_t count = 0;
  [[nodiscard]] bool empty() const noexcept { return count == 0; }
};

struct TypedNode {
  const JsonValue* node;
  std::string path;
  TypeRange types;
  bool top_level;
};

class Checker {
 public:
  explicit Checker(const JsonValue& document) {
    // Room for most documents at once, rather than growing step by step.
    types_.reserve(16);
    typed_nodes_.reserve(8);
    path_.reserve(16);
    collect_ids(document, 0);
  }

  void check_document(const JsonValue& document) {
    if (document.is_array()) {
      top_depth_ = 1;
      visit_list(document, nullptr);
    } else if (document.is_object()) {
      auto graph = document.find(kGraphKey);
      if (graph != document.end() && graph->is_array()) {
        path_.push("@graph");
        top_depth_ = 2;
        visit_list(*graph, nullptr);
        top_depth_ = 0;
        path_.pop();
      }
      if (graph == document.end() || document.contains(kTypeKey)) {
        visit_node(document);
      }
    }
  }

  void check_rich_results();
  void check_eligibility(std::span<const std::string> rich_results);

  std::vector<SEOIssue> take() { return std::move(issues_); }

 private:
  void collect_ids(const JsonValue& value, std::size_t depth);
  const JsonValue& resolve(const JsonValue& value) const;
  // Valid until the next type is read: a range is kept, never its span.
  [[nodiscard]] std::span<const TermId> types_of(TypeRange range) const {
    return std::span<const TermId>(types_).subspan(range.begin, range.count);
  }
  TypeRange read_types(const JsonValue& node, bool report);
  void visit_list(const JsonValue& list, const vocab::Term* property);
  TypeRange visit_node(const JsonValue& node);
  void visit_member(std::string_view key, const JsonValue& value,
                    TypeRange types);
  void check_value(const JsonValue& value, TermId property);
  void check_node_value(const JsonValue& node, TermId property);
  void check_scalar(const JsonValue& value, TermId property);
  void check_term_status(TermId id, std::string_view what);
  void report_scalar(const JsonValue& value, TermId property);

  bool check_rule(const vocab::RichRule& rule, const TypedNode& owner,
                  bool report, RuleLookups& lookups);
  bool has_exact_type(RuleLookups& lookups, const JsonValue& target,
                      TermId type) const;
  bool check_node_rules(const TypedNode& node, bool report);
  bool satisfies(const JsonValue& node, std::string_view alternatives,
                 bool is_last) const;
  bool has_member(const JsonValue& node, std::string_view step) const;
  void add_rich_finding(const vocab::RichRule& rule, std::string path,
                        std::string_view node_type);

  void add(std::string_view rule_id, Severity severity, std::string message,
           std::string path, std::string_view property = {}) {
    if (issues_.empty()) issues_.reserve(8);
    SEOIssue& issue = issues_.emplace_back();
    issue.rule_id.assign(rule_id);
    issue.severity = severity;
    issue.message = std::move(message);
    issue.details = JsonValue::object();
    auto& details = *issue.details.get_ptr<JsonValue::object_t*>();
    details.emplace_hint(details.end(), "path", std::move(path));
    if (!property.empty()) {
      details.emplace_hint(details.end(), "property", std::string(property));
    }
  }

  struct IdHash {
    std::size_t operator()(std::string_view id) const noexcept {
      return vocab::name_hash(id);
    }
  };
  std::unordered_map<std::string_view, const JsonValue*, IdHash> ids_;
  // The last reference resolved, and its target (the document does not
  // change while it is checked).
  mutable const JsonValue* last_reference_ = nullptr;
  mutable const JsonValue* last_target_ = nullptr;
  std::vector<TermId> types_;
  std::vector<TypedNode> typed_nodes_;
  PathStack path_;
  std::vector<SEOIssue> issues_;
  // Nodes deeper than this are values of another node's property.
  std::size_t top_depth_ = 0;
};

void Checker::collect_ids(const JsonValue& value, std::size_t depth) {
  if (depth > kJsonMaxDepth) return;
  if (value.is_array()) {
    for (const JsonValue& item : value) {
      if (item.is_structured()) collect_ids(item, depth + 1);
    }
    return;
  }
  if (!value.is_object()) return;
  const JsonValue* id = find_keyword(value, kIdKey);
  // A node with more than its @id defines it; {"@id": ...} alone refers.
  if (id != nullptr && id->is_string() && value.size() > 1) {
    ids_.emplace(id->get_ref<const std::string&>(), &value);
  }
  for (const auto& [key, member] : members(value)) {
    if (member.is_structured() && key != kContextKey) {
      collect_ids(member, depth + 1);
    }
  }
}

const JsonValue& Checker::resolve(const JsonValue& value) const {
  if (!value.is_object() || value.size() != 1) return value;
  // The rich-result rules of a node ask for the same reference in turn.
  if (&value == last_reference_) return *last_target_;
  const JsonValue* target = &value;
  const auto& [key, id] = *members(value).begin();
  if (key == kIdKey && id.is_string()) {
    auto found = ids_.find(id.get_ref<const std::string&>());
    if (found != ids_.end()) target = found->second;
  }
  last_reference_ = &value;
  last_target_ = target;
  return *target;
}

void Checker::visit_list(const JsonValue& list, const vocab::Term* property) {
  std::size_t index = 0;
  for (const JsonValue& item : list) {
    path_.push(index++);
    if (property != nullptr) {
      check_value(item, static_cast<TermId>(property - kTables.terms.data()));
    } else if (item.is_object()) {
      visit_node(item);
    }
    path_.pop();
  }
}

TypeRange Checker::read_types(const JsonValue& node, bool report) {
  TypeRange types{static_cast<std::uint32_t>(types_.size()), 0};
  const JsonValue* type = find_keyword(node, kTypeKey);
  if (type == nullptr) return types;
  path_.push("@type");
  auto read_one = [&](const JsonValue& entry) {
    if (!entry.is_string()) return;
    std::optional<std::string_view> name =
        schema_name(entry.get_ref<const std::string&>());
    if (!name) return;
    std::optional<TermId> id = find_term(*name);
    if (id && has_flag(*id, vocab::kClass)) {
      types_.push_back(*id);
      ++types.count;
      if (report) check_term_status(*id, "type");
      return;
    }
    if (!report) return;
    std::string message = "Unknown schema.org type " + in_quotes(*name);
    if (id) {
      message += has_flag(*id, vocab::kProperty)
                     ? " (a property, not a type)"
                     : " (an enumeration member, not a type)";
    } else if (std::optional<std::string_view> near = near_name(*name)) {
      message += " (did you mean " + in_quotes(*near) + "?)";
    }
    add("ZELKO301", Severity::Error, std::move(message), path_.text());
  };
  if (type->is_array()) {
    std::size_t index = 0;
    for (const JsonValue& entry : *type) {
      path_.push(index++);
      read_one(entry);
      path_.pop();
    }
  } else {
    read_one(*type);
  }
  path_.pop();
  return types;
}

TypeRange Checker::visit_node(const JsonValue& node) {
  TypeRange types = read_types(node, true);
  if (!types.empty()) {
    // Only the document's own nodes have findings of the rich-result rules
    // and so need their path.
    bool top_level = path_.depth() <= top_depth_;
    typed_nodes_.push_back(
        {&node, top_level ? path_.text() : std::string(), types, top_level});
  }
  for (const auto& [key, value] : members(node)) {
    if (key.empty() || key[0] == '@') continue;
    path_.push(key);
    visit_member(key, value, types);
    path_.pop();
  }
  return types;
}

void Checker::check_term_status(TermId id, std::string_view what) {
  const vocab::Term& term = term_of(id);
  if ((term.flags & vocab::kSuperseded) != 0) {
    std::string message = "The schema.org " + std::string(what) + " " +
                          in_quotes(term.name) + " is superseded";
    if (const vocab::Term* replacement = term_at(term.replacement)) {
      message += " by " + in_quotes(replacement->name);
    }
    add("ZELKO305", Severity::Warning, std::move(message), path_.text());
    if (const vocab::Term* replacement = term_at(term.replacement)) {
      issues_.back().details["replacement"] = std::string(replacement->name);
    }
  } else if ((term.flags & vocab::kPending) != 0 &&
             !is_rich_result_term(term.name)) {
    add("ZELKO305", Severity::Warning,
        "The schema.org " + std::string(what) + " " + in_quotes(term.name) +
            " is pending: it may change or be withdrawn",
        path_.text());
  }
}

void Checker::visit_member(std::string_view key, const JsonValue& value,
                           TypeRange type_range) {
  std::optional<std::string_view> name = schema_name(key);
  if (!name) return;  // another vocabulary's property
  // Action annotations: "query-input" annotates the property "query".
  std::string_view base = *name;
  for (std::string_view suffix : {"-input", "-output"}) {
    if (base.ends_with(suffix)) base.remove_suffix(suffix.size());
  }
  std::optional<TermId> id = find_term(base);
  if (!id || !has_flag(*id, vocab::kProperty)) {
    std::string message = "Unknown schema.org property " + in_quotes(*name);
    if (!type_range.empty())
      message += " on " + std::string(term_of(types_[type_range.begin]).name);
    if (id) {
      message += " (a type, not a property)";
    } else if (std::optional<std::string_view> near = near_name(base)) {
      message += " (did you mean " + in_quotes(*near) + "?)";
    }
    add("ZELKO302", Severity::Error, std::move(message), path_.text(), *name);
    if (value.is_object()) visit_node(value);
    if (value.is_array()) visit_list(value, nullptr);
    return;
  }
  check_term_status(*id, "property");
  const vocab::Term& property = term_of(*id);
  if (base != *name) return;  // an annotation's value is a template
  std::span<const TermId> domains = first_links(property);
  std::span<const TermId> types = types_of(type_range);
  if (!types.empty() && !domains.empty() &&
      std::none_of(domains.begin(), domains.end(),
                   [&](TermId domain) { return any_is_a(types, domain); })) {
    std::string message;
    message.reserve(128 + name->size());
    message.append("The property \"").append(*name);
    message.append("\" is not expected on ");
    append_names(message, types);
    message.append(" (it belongs to ");
    append_names(message, domains);
    message.push_back(')');
    add("ZELKO303", Severity::Error, std::move(message), path_.text(), *name);
  }
  check_value(value, *id);
}

void Checker::check_value(const JsonValue& value, TermId property) {
  if (value.is_null()) return;
  if (value.is_array()) {
    visit_list(value, &term_of(property));
    return;
  }
  if (value.is_object()) {
    if (const JsonValue* literal = find_keyword(value, kValueKey)) {
      check_scalar(*literal, property);
      return;
    }
    for (std::string_view container : {"@list", "@set"}) {
      const JsonValue* items = find_keyword(value, container);
      if (items != nullptr && items->is_array()) {
        path_.push(container);
        visit_list(*items, &term_of(property));
        path_.pop();
        return;
      }
    }
    check_node_value(value, property);
    return;
  }
  check_scalar(value, property);
}

void Checker::check_node_value(const JsonValue& node, TermId property) {
  TypeRange type_range;
  const JsonValue& target = resolve(node);
  if (&target != &node) {
    type_range = read_types(target, false);
  } else if (node.size() == 1 && node.contains(kIdKey)) {
    // A reference outside the document, or an enumeration member by IRI.
    const JsonValue& id = node["@id"];
    if (id.is_string()) check_scalar(id, property);
    return;
  } else {
    type_range = visit_node(node);
  }
  if (type_range.empty()) return;
  std::span<const TermId> types = types_of(type_range);
  std::span<const TermId> ranges = second_links(term_of(property));
  if (ranges.empty()) return;
  for (TermId range : ranges) {
    if (has_flag(range, vocab::kAnyText) || any_is_a(types, range)) return;
  }
  add("ZELKO304", Severity::Warning,
      "The property " + in_quotes(term_of(property).name) + " expects " +
          joined_names(ranges) + ", not a " + joined_names(types) + " node",
      path_.text(), term_of(property).name);
}

void Checker::check_scalar(const JsonValue& value, TermId property) {
  std::span<const TermId> ranges = second_links(term_of(property));
  if (ranges.empty() || value.is_null()) return;
  bool fits = false;
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    fits = std::any_of(ranges.begin(), ranges.end(),
                       [&](TermId range) { return text_fits(text, range); });
  } else if (value.is_number()) {
    fits = std::any_of(ranges.begin(), ranges.end(),
                       [&](TermId range) { return number_fits(value, range); });
  } else if (value.is_boolean()) {
    fits = std::any_of(ranges.begin(), ranges.end(), boolean_fits);
  } else {
    fits = true;  // an object or array under @value: not ours to judge
  }
  if (!fits) report_scalar(value, property);
}

// "The property "p" expects A, B; "x" is not one" (ZELKO306) or "... expects
// A, B, not "x"" (ZELKO304), written into one buffer.
void Checker::report_scalar(const JsonValue& value, TermId property) {
  const vocab::Term& term = term_of(property);
  std::span<const TermId> ranges = second_links(term);
  bool is_format = std::any_of(ranges.begin(), ranges.end(), [](TermId range) {
    return is_name_in(range, kFormatTypes);
  });
  std::string message;
  message.reserve(96 + term.name.size());
  message.append("The property \"").append(term.name).append("\" expects ");
  append_names(message, ranges);
  message.append(is_format ? "; " : ", not ");
  if (value.is_string()) {
    message.push_back('"');
    message.append(value.get_ref<const std::string&>());
    message.push_back('"');
  } else {
    message.append(value.dump());
  }
  if (is_format) message.append(" is not one");
  add(is_format ? "ZELKO306" : "ZELKO304",
      is_format ? Severity::Error : Severity::Warning, std::move(message),
      path_.text(), term.name);
}

// ---------------------------------------------------------------------------
// Rich results

constexpr std::size_t kNoIndex = static_cast<std::size_t>(-1);

// Whether one of the node's @type entries names exactly `type`.
bool has_type(const JsonValue& node, TermId type) noexcept {
  const JsonValue* found = find_keyword(node, kTypeKey);
  if (found == nullptr) return false;
  auto names = [&](const JsonValue& entry) {
    if (!entry.is_string()) return false;
    std::optional<std::string_view> name =
        schema_name(entry.get_ref<const std::string&>());
    return name && *name == term_of(type).name;
  };
  if (found->is_array())
    return std::any_of(found->begin(), found->end(), names);
  return names(*found);
}

// Splits "a|b|c" without allocating.
template <class Visit>
bool any_part(std::string_view text, char separator, Visit&& visit) {
  while (true) {
    std::size_t end = text.find(separator);
    if (visit(text.substr(0, end))) return true;
    if (end == std::string_view::npos) return false;
    text.remove_prefix(end + 1);
  }
}

bool is_present(const JsonValue& value) noexcept {
  if (value.is_null()) return false;
  if (value.is_string()) return !value.get_ref<const std::string&>().empty();
  if (value.is_array() || value.is_object()) return !value.empty();
  return true;
}

// The member `step` of a node, also when spelt "schema:step" or as the
// property's IRI.
const JsonValue* member_of(const JsonValue& node, std::string_view step) {
  if (!node.is_object()) return nullptr;
  auto found = node.find(step);
  if (found != node.end()) return &*found;
  for (const auto& [key, value] : members(node)) {
    // Only a longer key that ends with the step can spell it otherwise.
    if (key.size() <= step.size() || !std::string_view(key).ends_with(step))
      continue;
    std::optional<std::string_view> name = schema_name(key);
    if (name && *name == step) return &value;
  }
  return nullptr;
}

bool Checker::has_member(const JsonValue& node, std::string_view step) const {
  const JsonValue* found = member_of(node, step);
  return found != nullptr && is_present(*found);
}

bool Checker::satisfies(const JsonValue& node, std::string_view alternatives,
                        bool is_last) const {
  return any_part(alternatives, '|', [&](std::string_view alternative) {
    if (alternative == "(last)") return is_last;
    std::size_t dot = alternative.find('.');
    if (dot == std::string_view::npos) return has_member(node, alternative);
    const JsonValue* found = member_of(node, alternative.substr(0, dot));
    std::string_view rest = alternative.substr(dot + 1);
    if (found == nullptr) return false;
    auto nested = [&](const JsonValue& value) {
      return satisfies(resolve(value), rest, false);
    };
    if (found->is_array())
      return std::any_of(found->begin(), found->end(), nested);
    return nested(*found);
  });
}

void Checker::add_rich_finding(const vocab::RichRule& rule, std::string path,
                               std::string_view node_type) {
  bool required = rule.level == vocab::RichLevel::Required;
  std::size_t bar = rule.properties.find('|');
  std::string_view first = rule.properties.substr(0, bar);
  std::string wanted = bar == std::string_view::npos
                           ? in_quotes(first)
                           : "one of " + std::string(rule.properties);
  std::string message;
  message.reserve(node_type.size() + wanted.size() + rule.subject.size() + 48);
  message.append(node_type).append(" lacks ").append(wanted);
  message.append(", which the ").append(rule.subject).append(" rich result ");
  message.append(required ? "requires" : "recommends");
  std::string_view key = first.substr(0, first.find('.'));
  if (key != "(last)") PathStack::append_key(path, key);
  add(required ? "ZELKO310" : "ZELKO311",
      required ? Severity::Error : Severity::Warning, std::move(message),
      std::move(path), first);
}

// Checks one rule on a node of its subject; reports what is missing when
// `report` is set. False when a required (or eligibility) property is
// missing.
bool Checker::check_rule(const vocab::RichRule& rule, const TypedNode& owner,
                         bool report, RuleLookups& lookups) {
  bool blocking = rule.level != vocab::RichLevel::Recommended;
  if (rule.via.empty()) {
    if (satisfies(*owner.node, rule.properties, false)) return true;
    if (report && rule.level != vocab::RichLevel::Eligible) {
      add_rich_finding(rule, owner.path,
                       term_of(types_[owner.types.begin]).name);
    }
    return !blocking;
  }
  if (!lookups.has_via || lookups.via != rule.via) {
    auto found = owner.node->find(rule.via);
    lookups.via = rule.via;
    lookups.has_via = true;
    lookups.via_value = found == owner.node->end() ? nullptr : &*found;
  }
  const JsonValue* via = lookups.via_value;
  TermId node_type = rule.node_type_id;
  if (via == nullptr || node_type == vocab::kNoTerm) return true;
  bool met = true;
  // The path is written only for a finding.
  auto check_item = [&](const JsonValue& item, std::size_t index,
                        bool is_last) {
    const JsonValue& target = resolve(item);
    // Exactly the type: an AggregateOffer is an Offer with rules of its own.
    if (!target.is_object() || !has_exact_type(lookups, target, node_type)) {
      return;
    }
    if (satisfies(target, rule.properties, is_last)) return;
    met = met && !blocking;
    if (!report || rule.level == vocab::RichLevel::Eligible) return;
    std::string at = owner.path;
    PathStack::append_key(at, rule.via);
    if (index != kNoIndex) PathStack::append_index(at, index);
    add_rich_finding(rule, std::move(at), rule.node_type);
  };
  if (!via->is_array()) {
    check_item(*via, kNoIndex, true);
    return met;
  }
  for (std::size_t index = 0; index < via->size(); ++index) {
    check_item((*via)[index], index, index + 1 == via->size());
  }
  return met;
}

// Whether the node meets every required and eligibility rule of the rich
// results its types have (`report`: and reports what is missing).
bool Checker::check_node_rules(const TypedNode& node, bool report) {
  bool met = true;
  const std::span<const TermId> types = types_of(node.types);
  RuleLookups lookups;
  for (const RuleRun& run : kRuleRuns) {
    if (!any_is_a(types, run.subject)) continue;
    for (const vocab::RichRule& rule : run.rules) {
      met = check_rule(rule, node, report, lookups) && met;
    }
  }
  return met;
}

// has_type, the target's types read once for all the rules of a node.
bool Checker::has_exact_type(RuleLookups& lookups, const JsonValue& target,
                             TermId type) const {
  if (lookups.typed != &target) {
    lookups.typed = &target;
    lookups.type_count = 0;
    auto keep = [&](const JsonValue& entry) {
      if (!entry.is_string()) return;
      std::optional<std::string_view> name =
          schema_name(entry.get_ref<const std::string&>());
      if (!name) return;
      // A name is the type's exactly when it finds that term.
      if (lookups.type_count < lookups.type_ids.size()) {
        lookups.type_ids[lookups.type_count] =
            find_term(*name).value_or(vocab::kNoTerm);
      }
      ++lookups.type_count;
    };
    const JsonValue* found = find_keyword(target, kTypeKey);
    if (found != nullptr && found->is_array()) {
      for (const JsonValue& entry : *found) keep(entry);
    } else if (found != nullptr) {
      keep(*found);
    }
  }
  if (lookups.type_count > lookups.type_ids.size()) {
    return has_type(target, type);
  }
  const auto end = lookups.type_ids.begin() +
                   static_cast<std::ptrdiff_t>(lookups.type_count);
  return std::find(lookups.type_ids.begin(), end, type) != end;
}

void Checker::check_rich_results() {
  std::size_t begin = issues_.size();
  // Rich results are read from the document's own nodes, not from nodes
  // nested as values (an Article's publisher is no Organization result).
  for (const TypedNode& node : typed_nodes_) {
    if (node.top_level) check_node_rules(node, true);
  }
  // A property both required (by a subtype's result) and recommended at
  // one path is reported once, as required.
  auto is_required = [](const SEOIssue& issue) {
    return issue.rule_id == "ZELKO310";
  };
  if (std::none_of(issues_.begin() + static_cast<std::ptrdiff_t>(begin),
                   issues_.end(), is_required)) {
    return;
  }
  std::set<std::string> required;
  for (std::size_t i = begin; i < issues_.size(); ++i) {
    if (issues_[i].rule_id == "ZELKO310") {
      required.insert(issues_[i].details["path"].get<std::string>());
    }
  }
  auto is_repeat = [&](const SEOIssue& issue) {
    return issue.rule_id == "ZELKO311" &&
           required.contains(issue.details["path"].get<std::string>());
  };
  issues_.erase(
      std::remove_if(issues_.begin() + static_cast<std::ptrdiff_t>(begin),
                     issues_.end(), is_repeat),
      issues_.end());
}

void Checker::check_eligibility(std::span<const std::string> rich_results) {
  for (const std::string& name : rich_results) {
    std::optional<TermId> wanted =
        is_rich_result_type(name) ? find_term(name) : std::nullopt;
    bool found = wanted &&
                 std::any_of(typed_nodes_.begin(), typed_nodes_.end(),
                             [&](const TypedNode& node) {
                               return any_is_a(types_of(node.types), *wanted) &&
                                      check_node_rules(node, false);
                             });
    if (found) continue;
    std::string message =
        wanted ? "No node is eligible for the " + name +
                     " rich result (a node of that type with every required "
                     "property)"
               : in_quotes(name) + " is not a rich-result type";
    add("ZELKO312", Severity::Error, std::move(message), "$");
    issues_.back().details["rich_result"] = name;
  }
}

}  // namespace

std::string_view schema_vocabulary_release() noexcept {
  return vocab::release();
}

std::vector<std::string> rich_result_types() {
  std::set<std::string> names;
  for (const vocab::RichRule& rule : vocab::rich_rules()) {
    names.emplace(rule.subject);
  }
  return {names.begin(), names.end()};
}

bool is_rich_result_type(std::string_view name) noexcept {
  std::optional<TermId> id = find_term(name);
  if (!id || !has_flag(*id, vocab::kClass)) return false;
  for (const vocab::RichRule& rule : vocab::rich_rules()) {
    if (is_a(*id, rule.subject_id)) return true;
  }
  return false;
}

std::vector<SEOIssue> check_structured_data(
    const JsonValue& document, std::span<const std::string> rich_results) {
  Checker checker(document);
  checker.check_document(document);
  checker.check_rich_results();
  checker.check_eligibility(rich_results);
  return checker.take();
}

}  // namespace zelko
