// The input classes as their field tables describe them: one generic
// constructor, property, to_dict, repr and pickling state per record type,
// each walking zelko::InputFields<Record>. What differs between classes is
// said once per value type (how a Python argument becomes a member and back)
// and once per class (PythonClass<Record>: its class, the record the object
// holds, anything kept beside the engine record).
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "binding.hpp"
#include "head.hpp"
#include "inputs.hpp"
#include "pickling.hpp"
#include "results.hpp"
#include "zelko/contract_fields.hpp"
#include "zelko/head.hpp"
#include "zelko/input_fields.hpp"

namespace zelko::py {

// ---------------------------------------------------------------------------
// Which class owns which record

// A class whose object holds the engine record itself.
template <class Record, ClassId Id>
struct PlainClass {
  using Holder = Record;
  static constexpr ClassId id = Id;
  static const Record& engine(const Holder& holder) { return holder; }
  static Record& engine(Holder& holder) { return holder; }
  static Holder holder_of(const Record& record) { return record; }
  static constexpr bool checked = false;
  // The engine record of an argument object (caller holds a borrow).
  static bool to_engine(const Holder& holder, Record& out) {
    out = holder;
    return true;
  }
};

template <class Record>
struct PythonClass;
template <>
struct PythonClass<zelko::SEOImage>
    : PlainClass<zelko::SEOImage, ClassId::SEOImage> {};
template <>
struct PythonClass<zelko::SEOAuthor>
    : PlainClass<zelko::SEOAuthor, ClassId::SEOAuthor> {};
template <>
struct PythonClass<zelko::Breadcrumb>
    : PlainClass<zelko::Breadcrumb, ClassId::Breadcrumb> {};
template <>
struct PythonClass<zelko::FAQItem>
    : PlainClass<zelko::FAQItem, ClassId::FAQItem> {};
template <>
struct PythonClass<zelko::Robots> : PlainClass<zelko::Robots, ClassId::Robots> {
};
template <>
struct PythonClass<zelko::SEOEntity>
    : PlainClass<zelko::SEOEntity, ClassId::SEOEntity> {};
template <>
struct PythonClass<zelko::SEOOverrides>
    : PlainClass<zelko::SEOOverrides, ClassId::SEOOverrides> {};

// A URLPolicy keeps its trailing-slash rule as the caller's text, parsed each
// time the policy is handed to the engine.
template <>
struct PythonClass<zelko::URLPolicy> {
  using Holder = PolicyRecord;
  static constexpr ClassId id = ClassId::URLPolicy;
  static constexpr bool checked = false;
  // The row of this type is kept as text in the holder.
  using TextChoice = zelko::TrailingSlash;
  static std::string& choice_text(Holder& holder) {
    return holder.trailing_slash;
  }
  static const std::string& choice_text(const Holder& holder) {
    return holder.trailing_slash;
  }
  static const zelko::URLPolicy& engine(const Holder& holder) {
    return holder.policy;
  }
  static zelko::URLPolicy& engine(Holder& holder) { return holder.policy; }
  static Holder holder_of(const zelko::URLPolicy& policy) {
    return {policy, std::string(zelko::to_text(policy.trailing_slash))};
  }
  static bool to_engine(const Holder& holder, zelko::URLPolicy& out) {
    return to_engine_policy(holder, out);
  }
};

// An SEOConfig holds the validated configuration and, beside it, the two
// Python registries (input_config.cpp).
template <>
struct PythonClass<zelko::SEOConfig> {
  using Holder = ConfigRecord;
  static constexpr ClassId id = ClassId::SEOConfig;
  static constexpr bool checked = false;
  static const zelko::SEOConfig& engine(const Holder& holder) {
    return holder.config;
  }
  static zelko::SEOConfig& engine(Holder& holder) { return holder.config; }
  static Holder holder_of(const zelko::SEOConfig& config) {
    return ConfigRecord{config, {}, {}};
  }
  static bool to_engine(const Holder& holder, zelko::SEOConfig& out) {
    out = holder.config;
    return true;
  }
};

template <>
struct PythonClass<zelko::SEOExpectation>
    : PlainClass<zelko::SEOExpectation, ClassId::SEOExpectation> {};
template <>
struct PythonClass<zelko::SEOContractConfig>
    : PlainClass<zelko::SEOContractConfig, ClassId::SEOContractConfig> {};

// A rule keeps its severity as the caller's text; it is parsed when the rule
// enters a contract configuration.
template <>
struct PythonClass<zelko::SEOContractRule> {
  using Holder = RuleRecord;
  static constexpr ClassId id = ClassId::SEOContractRule;
  static constexpr bool checked = false;
  using TextChoice = std::optional<zelko::Severity>;
  static std::optional<std::string>& choice_text(Holder& holder) {
    return holder.severity;
  }
  static const std::optional<std::string>& choice_text(const Holder& holder) {
    return holder.severity;
  }
  static const zelko::SEOContractRule& engine(const Holder& holder) {
    return holder.rule;
  }
  static zelko::SEOContractRule& engine(Holder& holder) { return holder.rule; }
  static Holder holder_of(const zelko::SEOContractRule& rule) {
    std::optional<std::string> severity;
    if (rule.severity) severity = std::string(severity_text(*rule.severity));
    return {rule, std::move(severity)};
  }
  static bool to_engine(const Holder& holder, zelko::SEOContractRule& out) {
    out = holder.rule;
    out.severity.reset();
    if (holder.severity) out.severity = zelko::parse_severity(*holder.severity);
    return true;
  }
};

// The records of the whole head; every value of theirs is checked when the
// object is made (zelko::check_head_record, and the record-level rules).
#define ZELKO_HEAD_CLASS(Name)                                               \
  template <>                                                                \
  struct PythonClass<zelko::Name> : PlainClass<zelko::Name, ClassId::Name> { \
    static constexpr bool checked = true;                                    \
  };
ZELKO_HEAD_CLASS(Icon)
ZELKO_HEAD_CLASS(Organization)
ZELKO_HEAD_CLASS(Person)
ZELKO_HEAD_CLASS(Feed)
ZELKO_HEAD_CLASS(Verification)
ZELKO_HEAD_CLASS(AppLinks)
ZELKO_HEAD_CLASS(Video)
ZELKO_HEAD_CLASS(ArticleMeta)
ZELKO_HEAD_CLASS(RobotsExtra)
ZELKO_HEAD_CLASS(PageHead)
ZELKO_HEAD_CLASS(CardSettings)
#undef ZELKO_HEAD_CLASS

// A SiteHead keeps its rendered elements beside the record (head.hpp).
template <>
struct PythonClass<zelko::SiteHead> {
  using Holder = SiteHeadRecord;
  static constexpr ClassId id = ClassId::SiteHead;
  static constexpr bool checked = true;
  static const zelko::SiteHead& engine(const Holder& holder) {
    return holder.site;
  }
  static zelko::SiteHead& engine(Holder& holder) { return holder.site; }
  static Holder holder_of(const zelko::SiteHead& site) { return {site}; }
  static bool to_engine(const Holder& holder, zelko::SiteHead& out) {
    out = holder.site;
    return true;
  }
};

template <class Record>
using HolderOf = typename PythonClass<Record>::Holder;

template <class Record>
concept CheckedRecord = PythonClass<Record>::checked;

// Whether rows of type Value are kept as text in Record's holder.
template <class Record, class Value>
concept KeptAsText = requires {
  typename PythonClass<Record>::TextChoice;
}
&&std::is_same_v<Value, typename PythonClass<Record>::TextChoice>;

template <class Record>
concept ClassRecord = zelko::TabledRecord<Record> && requires {
  PythonClass<Record>::id;
};

// ---------------------------------------------------------------------------
// Value types: a Python argument into a member, a member back into Python

namespace fields {

// cls(**mapping) for the class `id`; an error names `name` before the
// mapping's own key (a TypeError for an unknown key names the key).
[[nodiscard]] PyObject* make_from_mapping(ClassId id, PyObject* mapping,
                                          const char* name);

[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::string& out);
[[nodiscard]] bool read_argument(PyObject* value, const char* name, bool& out);
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::int32_t& out);
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::uint32_t& out);
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::uint64_t& out);
// None leaves the list empty.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::vector<std::string>& out);
// The text form, parsed at once: EntityError for an unknown type.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::EntityType& out);
// Pairs of text; a given map replaces the default one whole.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::SchemaTypeMap& out);
// json.dumps, then the engine's reader (see record_fields.cpp).
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::JsonValue& out);

// An instance of the record's class; None keeps the default.
template <ClassRecord Record>
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 Record& out) {
  using Info = PythonClass<Record>;
  if (value == Py_None) return true;
  if (Info::checked && PyDict_Check(value)) {
    // A record of the head may be given as a mapping of its keys: the class
    // is made of it, then read.
    PyRef made = PyRef::steal(make_from_mapping(Info::id, value, name));
    return made && read_argument(made.get(), name, out);
  }
  if (!is_instance(value, Info::id)) {
    PyErr_Format(PyExc_TypeError, "argument '%s' must be %s, not %s", name,
                 std::string(class_name(Info::id)).c_str(),
                 type_name(value).c_str());
    return false;
  }
  SharedBorrow borrow(value);
  if (!borrow) return false;
  return Info::to_engine(record_of<HolderOf<Record>>(value), out);
}

template <ClassRecord Record>
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 std::vector<Record>& out) {
  using Info = PythonClass<Record>;
  if (value == Py_None) return true;  // keeps the list empty
  return arg_list(
      value, name, out,
      [](PyObject* item, const char* param, std::size_t index, Record& record) {
        if (!is_instance(item, Info::id)) {
          detail::raise_item_type_error(param, index, class_name(Info::id),
                                        item);
          return false;
        }
        SharedBorrow borrow(item);
        return bool(borrow) &&
               Info::to_engine(record_of<HolderOf<Record>>(item), record);
      });
}

// (route, SEOExpectation) pairs; of several pairs for a route the last wins.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::ExpectationMap& out);
// A mapping of name to content, or (name, content) pairs, in their order.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::MetaPairs& out);
// A colour, or (colour, media) pairs, the media text or None.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::ThemeColors& out);
// A Robots, or a (Robots, RobotsExtra) pair.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::CrawlerRobots& out);
// An Organization or a Person.
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 zelko::Identity& out);

// One of the words of an enumeration of the head (zelko::ChoiceNames).
template <class Choice>
requires requires { zelko::ChoiceNames<Choice>::names; }
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 Choice& out) {
  std::string text;
  if (!arg_text(value, name, text)) return false;
  zelko::Result<Choice> choice = zelko::parse_choice<Choice>(text);
  if (!choice) return raise_engine_error_at(choice.error(), name) != nullptr;
  out = *choice;
  return true;
}

// std::optional, or the OptionalBox of a record that nests its own type.
template <template <class> class Box, class T>
concept OptionalOf = std::is_same_v<Box<T>, std::optional<T>> ||
    std::is_same_v<Box<T>, zelko::OptionalBox<T>>;

// None (or omitted) is absent.
template <template <class> class Box, class T>
requires OptionalOf<Box, T>
[[nodiscard]] bool read_argument(PyObject* value, const char* name,
                                 Box<T>& out) {
  if (value == Py_None) {
    out.reset();
    return true;
  }
  T item{};
  if (!read_argument(value, name, item)) return false;
  out = std::move(item);
  return true;
}

// The Python value of a member as the constructor takes it: what properties
// return, what pickling states hold and what repr() shows.
template <class T>
requires std::is_arithmetic_v<T> || std::is_same_v<T, std::string> ||
    std::is_same_v<T, std::vector<std::string>>
[[nodiscard]] PyObject* argument_of(const T& value) { return to_python(value); }
[[nodiscard]] PyObject* argument_of(zelko::EntityType type);
[[nodiscard]] PyObject* argument_of(const zelko::MetaPairs& pairs);
[[nodiscard]] PyObject* argument_of(const zelko::ThemeColors& colors);
[[nodiscard]] PyObject* argument_of(const zelko::CrawlerRobots& robots);
[[nodiscard]] PyObject* argument_of(const zelko::Identity& identity);
template <class Choice>
requires requires { zelko::ChoiceNames<Choice>::names; }
[[nodiscard]] PyObject* argument_of(Choice choice) {
  return new_str(zelko::choice_text(choice));
}
[[nodiscard]] PyObject* argument_of(const zelko::JsonValue& value);

template <ClassRecord Record>
[[nodiscard]] PyObject* argument_of(const Record& record) {
  return make_object(PythonClass<Record>::id,
                     PythonClass<Record>::holder_of(record));
}

// A new list of the converted items, or nullptr.
template <class Items, class Convert>
[[nodiscard]] PyObject* list_of(const Items& items, Convert&& convert) {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return nullptr;
  for (const auto& item : items) {
    PyRef converted = PyRef::steal(convert(item));
    if (!converted || PyList_Append(list.get(), converted.get()) < 0) {
      return nullptr;
    }
  }
  return list.release();
}

template <ClassRecord Record>
[[nodiscard]] PyObject* argument_of(const std::vector<Record>& records) {
  return list_of(records, [](const Record& r) { return argument_of(r); });
}

template <template <class> class Box, class T>
requires OptionalOf<Box, T>
[[nodiscard]] PyObject* argument_of(const Box<T>& value) {
  return value ? argument_of(*value) : Py_NewRef(Py_None);
}
// A map (schema types, per-route expectations) as (key, value) pairs, the
// form the constructors take.
template <class Value>
[[nodiscard]] PyObject* argument_of(
    const std::map<std::string, Value, std::less<>>& map) {
  return list_of(map, [](const auto& pair) -> PyObject* {
    PyRef key = PyRef::steal(new_str(pair.first));
    PyRef value = PyRef::steal(argument_of(pair.second));
    if (!key || !value) return nullptr;
    return PyTuple_Pack(2, key.get(), value.get());
  });
}

// The to_dict form of a member: nested records as dicts with sorted keys,
// choices as their enumerator names ("Post", "Never").
template <zelko::TabledRecord Record>
[[nodiscard]] PyObject* record_dict(const Record& record, bool sorted);

template <class T>
requires std::is_arithmetic_v<T> || std::is_same_v<T, std::string> ||
    std::is_same_v<T, std::vector<std::string>>
[[nodiscard]] PyObject* dict_value_of(const T& value) {
  return to_python(value);
}
[[nodiscard]] PyObject* dict_value_of(zelko::EntityType type);
[[nodiscard]] PyObject* dict_value_of(zelko::TrailingSlash rule);
[[nodiscard]] PyObject* dict_value_of(const zelko::SchemaTypeMap& map);
[[nodiscard]] PyObject* dict_value_of(const zelko::JsonValue& value);
[[nodiscard]] PyObject* dict_value_of(const zelko::MetaPairs& pairs);
[[nodiscard]] PyObject* dict_value_of(const zelko::ThemeColors& colors);
[[nodiscard]] PyObject* dict_value_of(const zelko::CrawlerRobots& robots);
// The record's dict with "type": "Organization" or "Person".
[[nodiscard]] PyObject* dict_value_of(const zelko::Identity& identity);
template <class Choice>
requires requires { zelko::ChoiceNames<Choice>::names; }
[[nodiscard]] PyObject* dict_value_of(Choice choice) {
  return new_str(zelko::choice_text(choice));
}

template <zelko::TabledRecord Record>
[[nodiscard]] PyObject* dict_value_of(const Record& record) {
  return record_dict(record, /*sorted=*/true);
}
template <zelko::TabledRecord Record>
[[nodiscard]] PyObject* dict_value_of(const std::vector<Record>& records) {
  return list_of(records, [](const Record& r) { return dict_value_of(r); });
}

template <class T>
struct IsOptional : std::false_type {};
template <class T>
struct IsOptional<std::optional<T>> : std::true_type {};

// The record as a dict: an absent optional leaves its key out (or writes
// None where its row says so); keys in table order, or sorted.
template <zelko::TabledRecord Record>
PyObject* record_dict(const Record& record, bool sorted) {
  std::vector<std::pair<std::string_view, PyRef>> members;
  bool ok = zelko::all_input_fields<Record>([&](const auto& row) {
    const auto& value = zelko::field_value(record, row);
    PyRef item;
    if constexpr (IsOptional<std::remove_cvref_t<decltype(value)>>::value) {
      if (!value) {
        if (row.absent == zelko::Absent::Omitted) return true;
        members.emplace_back(row.key, PyRef::borrow(Py_None));
        return true;
      }
      item = PyRef::steal(dict_value_of(*value));
    } else {
      item = PyRef::steal(dict_value_of(value));
    }
    if (!item) return false;
    members.emplace_back(row.key, std::move(item));
    return true;
  });
  if (!ok) return nullptr;
  if (sorted) {
    std::sort(members.begin(), members.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (auto& [key, item] : members) {
    if (!dict_set(dict.get(), std::string(key).c_str(), item.release())) {
      return nullptr;
    }
  }
  return dict.release();
}

// ---------------------------------------------------------------------------
// One row of a class: where it lives in the object's holder

// `value` itself, or the isoformat() of a date or an aware datetime; a naive
// datetime is refused (ValueError naming `name`): its moment is unknown.
[[nodiscard]] PyRef time_text(PyObject* value, const char* name);

// A row whose choice the class keeps as the caller's text (the policy's
// trailing slash, a rule's severity) lives in the holder; every other row in
// the engine record, where a section row makes its section when given.
template <class Record, class Row>
[[nodiscard]] bool read_row(PyObject* value, HolderOf<Record>& holder,
                            const Row& row) {
  using Value = typename Row::value_type;
  if constexpr (std::is_same_v<Value, std::optional<std::string>>) {
    if (row.kind == zelko::FieldKind::Time) {
      // A date or an aware datetime is given as its ISO 8601 text.
      PyRef text = time_text(value, row.key.data());
      return text &&
             read_argument(text.get(), row.key.data(),
                           PythonClass<Record>::engine(holder).*row.member);
    }
  }
  if constexpr (KeptAsText<Record, Value>) {
    return read_argument(value, row.key.data(),
                         PythonClass<Record>::choice_text(holder));
  } else if constexpr (std::is_same_v<Row, zelko::InputField<Record, Value>>) {
    return read_argument(value, row.key.data(),
                         PythonClass<Record>::engine(holder).*row.member);
  } else {
    Value given{};
    if (!read_argument(value, row.key.data(), given)) return false;
    zelko::set_field(PythonClass<Record>::engine(holder), row,
                     std::move(given));
    return true;
  }
}

template <class Record, class Row>
[[nodiscard]] PyObject* row_argument(const HolderOf<Record>& holder,
                                     const Row& row) {
  using Value = typename Row::value_type;
  if constexpr (KeptAsText<Record, Value>) {
    return argument_of(PythonClass<Record>::choice_text(holder));
  } else {
    return argument_of(
        zelko::field_value(PythonClass<Record>::engine(holder), row));
  }
}

// Whether the row holds what a constructor without this argument would put
// there (repr() leaves such rows out).
template <class Record, class Row>
[[nodiscard]] bool row_is_default(const HolderOf<Record>& holder,
                                  const Row& row) {
  using Value = typename Row::value_type;
  static const HolderOf<Record> kDefault{};
  if constexpr (KeptAsText<Record, Value>) {
    return PythonClass<Record>::choice_text(holder) ==
           PythonClass<Record>::choice_text(kDefault);
  } else {
    return zelko::field_value(PythonClass<Record>::engine(holder), row) ==
           zelko::field_value(PythonClass<Record>::engine(kDefault), row);
  }
}

}  // namespace fields

// ---------------------------------------------------------------------------
// The generic parts of an input class

template <class Record>
inline constexpr std::size_t kPositionalCount =
    zelko::required_field_count<Record>();

// Every parameter of the constructor: the table's keys, then `extra` (the
// object references a class keeps beside its record).
template <class Record, std::size_t Extra>
constexpr auto parameter_names(
    const std::array<const char*, Extra>& extra = {}) {
  std::array<const char*, zelko::kInputFieldCount<Record> + Extra> names{};
  std::size_t index = 0;
  zelko::for_each_input_field<Record>(
      [&](const auto& row) { names[index++] = row.key.data(); });
  for (const char* name : extra) names[index++] = name;
  return names;
}

// Converts the bound arguments (`arg`, one slot per table row, nullptr when
// omitted) into `holder`, in table order.
template <class Record>
[[nodiscard]] bool read_rows(std::span<PyObject* const> arg,
                             HolderOf<Record>& holder) {
  std::size_t index = 0;
  return zelko::all_input_fields<Record>([&](const auto& row) {
    PyObject* value = arg[index++];
    return value == nullptr || fields::read_row<Record>(value, holder, row);
  });
}

// tp_new of a class whose parameters are exactly its table's rows.
// The checks of a record of the head: every value by its kind, then the
// rules between values. ConfigurationError naming the field.
template <class Record>
[[nodiscard]] bool check_record(const Record& record) {
  if constexpr (CheckedRecord<Record>) {
    std::string field;
    zelko::Status status = zelko::check_head_record(record, field);
    if constexpr (std::is_same_v<Record, zelko::SiteHead>) {
      if (status) status = zelko::check_site_head(record, field);
    } else if constexpr (std::is_same_v<Record, zelko::PageHead>) {
      if (status) status = zelko::check_page_head(record, field);
    } else if constexpr (std::is_same_v<Record, zelko::CardSettings>) {
      if (status) status = zelko::check_card_settings(record, field);
    }
    if (!status) return raise_engine_error_at(status.error(), field) != nullptr;
  }
  return true;
}

template <class Record>
PyObject* record_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr auto kNames = parameter_names<Record, 0>();
    static constexpr Signature kSignature{
        zelko::InputFields<Record>::record_name.data(), kNames,
        kPositionalCount<Record>, kPositionalCount<Record>};
    std::array<PyObject*, kNames.size()> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    HolderOf<Record> holder;
    if (!read_rows<Record>(arg, holder) ||
        !check_record(PythonClass<Record>::engine(holder))) {
      return nullptr;
    }
    return make_object(type, std::move(holder));
  });
}

// The property of row I.
template <class Record, std::size_t I>
PyObject* row_getter(PyObject* self, void* /*closure*/) {
  return read_record<HolderOf<Record>>(self, [](const auto& holder) {
    return fields::row_argument<Record>(
        holder, std::get<I>(zelko::InputFields<Record>::fields));
  });
}

// A property per row, then `extra`, then the terminating entry.
template <class Record>
std::vector<PyGetSetDef> row_properties(
    std::span<const PyGetSetDef> extra = {}) {
  std::vector<PyGetSetDef> properties;
  [&]<std::size_t... I>(std::index_sequence<I...>) {
    (properties.push_back(PyGetSetDef{
         std::get<I>(zelko::InputFields<Record>::fields).key.data(),
         row_getter<Record, I>, nullptr,
         std::get<I>(zelko::InputFields<Record>::fields).description.data(),
         nullptr}),
     ...);
  }
  (std::make_index_sequence<zelko::kInputFieldCount<Record>>{});
  properties.insert(properties.end(), extra.begin(), extra.end());
  properties.push_back({nullptr, nullptr, nullptr, nullptr, nullptr});
  return properties;
}

// The keyword arguments that make the same object again; a JSON row is left
// out (it travels as text, see record_state).
template <class Record>
PyObject* record_kwargs(const HolderOf<Record>& holder) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  bool ok = zelko::all_input_fields<Record>([&](const auto& row) {
    if (row.kind == zelko::FieldKind::Json) return true;
    return dict_set(dict.get(), row.key.data(),
                    fields::row_argument<Record>(holder, row));
  });
  return ok ? dict.release() : nullptr;
}

// repr(): the class called with the arguments that differ from the defaults,
// required ones by position.
template <class Record>
PyObject* record_repr(PyObject* self) {
  return read_record<HolderOf<Record>>(
      self, [](const HolderOf<Record>& holder) -> PyObject* {
        std::string text(zelko::InputFields<Record>::record_name);
        text += '(';
        bool first = true;
        bool ok = zelko::all_input_fields<Record>([&](const auto& row) {
          if (!row.required && fields::row_is_default<Record>(holder, row)) {
            return true;
          }
          PyRef value = PyRef::steal(fields::row_argument<Record>(holder, row));
          PyRef shown =
              PyRef::steal(value ? PyObject_Repr(value.get()) : nullptr);
          if (!shown) return false;
          Py_ssize_t size = 0;
          const char* utf8 = PyUnicode_AsUTF8AndSize(shown.get(), &size);
          if (utf8 == nullptr) return false;
          if (!first) text += ", ";
          first = false;
          if (!row.required) {
            text += row.key;
            text += '=';
          }
          text.append(utf8, static_cast<std::size_t>(size));
          return true;
        });
        if (!ok) return nullptr;
        text += ')';
        return new_str(text);
      });
}

// How the text signature shows a default value.
inline std::string default_text_of(bool flag) {
  return flag ? "True" : "False";
}
inline std::string default_text_of(const std::string& text) {
  std::string shown = "'";
  shown.append(text);
  shown.push_back('\'');
  return shown;
}
template <class Value>
std::string default_text_of(const Value& /*unused*/) {
  return "None";
}

// How the text signature shows a row's default.
template <class Record, class Row>
std::string default_text(const Row& row) {
  using Value = typename Row::value_type;
  static const HolderOf<Record> kDefault{};
  if constexpr (KeptAsText<Record, Value>) {
    return default_text_of(PythonClass<Record>::choice_text(kDefault));
  } else {
    return default_text_of(
        zelko::field_value(PythonClass<Record>::engine(kDefault), row));
  }
}

// The parameter list of the class's text signature: "(url, *, width=None)";
// `extra` parameters are keyword-only with the default None.
template <class Record>
std::string signature_text(std::span<const char* const> extra) {
  std::string text = "(";
  std::size_t index = 0;
  auto separate = [&] {
    if (index > 0) text += ", ";
    if (index == kPositionalCount<Record>) text += "*, ";
    ++index;
  };
  zelko::for_each_input_field<Record>([&](const auto& row) {
    separate();
    text += row.key;
    if (!row.required) {
      text.push_back('=');
      text.append(default_text<Record>(row));
    }
  });
  for (const char* name : extra) {
    separate();
    text += name;
    text += "=None";
  }
  text.push_back(')');
  return text;
}

template <class T>
struct IsContainer : std::false_type {};
template <class T>
struct IsContainer<std::vector<T>> : std::true_type {
  using item = T;
};
template <class T>
struct IsContainer<std::optional<T>> : std::true_type {
  using item = T;
};
template <class T>
struct IsContainer<zelko::OptionalBox<T>> : std::true_type {
  using item = T;
};
template <>
struct IsContainer<zelko::ExpectationMap> : std::true_type {
  using item = zelko::SEOExpectation;
};

// The class of a nested record (borrowed), or null for other values.
template <class Value>
PyObject* nested_class() {
  if constexpr (IsContainer<Value>::value) {
    return nested_class<typename IsContainer<Value>::item>();
  } else if constexpr (ClassRecord<Value>) {
    return reinterpret_cast<PyObject*>(class_object(PythonClass<Value>::id));
  } else {
    return nullptr;
  }
}

template <class Value>
struct Unwrapped {
  using type = Value;
};
template <class Value>
struct Unwrapped<std::optional<Value>> {
  using type = Value;
};

// The range of an integer row as a (low, high) tuple, or None.
template <class Value>
PyObject* integer_bounds() {
  using Number = typename Unwrapped<Value>::type;
  if constexpr (std::is_integral_v<Number> && !std::is_same_v<Number, bool>) {
    return Py_BuildValue(
        "(LK)", static_cast<long long>(std::numeric_limits<Number>::min()),
        static_cast<unsigned long long>(std::numeric_limits<Number>::max()));
  } else {
    return Py_NewRef(Py_None);
  }
}

// The field list the package's loaders read: one tuple per row, (key, kind,
// required, description, the class of a nested record or None, the range of
// an integer as (low, high) or None).
template <class Record>
PyObject* field_list() {
  PyRef list = PyRef::steal(PyList_New(0));
  if (!list) return nullptr;
  bool ok = zelko::all_input_fields<Record>([&](const auto& row) {
    using Value = typename std::remove_cvref_t<decltype(row)>::value_type;
    PyObject* nested = nested_class<Value>();
    PyRef bounds = PyRef::steal(integer_bounds<Value>());
    const std::string_view kind = zelko::to_text(row.kind);
    PyRef item = PyRef::steal(
        bounds ? Py_BuildValue(
                     "(s#s#Os#OO)", row.key.data(),
                     static_cast<Py_ssize_t>(row.key.size()), kind.data(),
                     static_cast<Py_ssize_t>(kind.size()),
                     row.required ? Py_True : Py_False, row.description.data(),
                     static_cast<Py_ssize_t>(row.description.size()),
                     nested == nullptr ? Py_None : nested, bounds.get())
               : nullptr);
    return item && PyList_Append(list.get(), item.get()) == 0;
  });
  return ok ? PyList_AsTuple(list.get()) : nullptr;
}

// What pickle and copy need: the keyword arguments, and for a record with a
// JSON row the pair (keyword arguments, the value as compact JSON text or
// None), so that numbers keep their exact form.
template <class Record>
PyObject* record_state(const HolderOf<Record>& holder) {
  PyObject* kwargs = record_kwargs<Record>(holder);
  if (kwargs == nullptr) return nullptr;
  PyObject* state = kwargs;
  zelko::for_each_input_field<Record>([&](const auto& row) {
    using Value = typename std::remove_cvref_t<decltype(row)>::value_type;
    if constexpr (std::is_same_v<Value, std::optional<zelko::JsonValue>>) {
      const auto& json =
          zelko::field_value(PythonClass<Record>::engine(holder), row);
      PyRef text = PyRef::steal(json ? new_str(zelko::write_json(*json, false))
                                     : Py_NewRef(Py_None));
      state = text ? Py_BuildValue("(NO)", kwargs, text.get()) : nullptr;
      if (!text) Py_DECREF(kwargs);
    }
  });
  return state;
}

// The pieces of a class made from its table; `methods` and `properties` are
// the class's own, without terminating entries.
struct ClassOptions {
  std::span<const PyMethodDef> methods = {};
  std::span<const PyGetSetDef> properties = {};
  // Object references kept beside the record: keyword-only parameters after
  // the table's, each defaulting to None.
  std::span<const char* const> extra_parameters = {};
  std::string_view extra_doc = {};          // a paragraph after the description
  std::span<const PyType_Slot> slots = {};  // replacing the generic ones
  unsigned long flags = kClassFlags;
  bool generic_reduce = true;
};

namespace detail {
// Everything a PyType_Spec points to; made once per class and kept for the
// life of the process, like the classes themselves.
struct ClassParts {
  std::string name;
  std::string doc;
  std::vector<PyMethodDef> methods;
  std::vector<PyGetSetDef> properties;
  std::vector<PyType_Slot> slots;
  PyType_Spec spec{};
};
ClassDef finish_class(ClassId id, ClassParts* parts, std::size_t basic_size,
                      const ClassOptions& options, PyType_Slot new_slot,
                      PyType_Slot dealloc_slot, PyType_Slot repr_slot);
}  // namespace detail

template <class Record>
PyObject* record_reduce(PyObject* self, PyObject* /*unused*/) {
  return read_record<HolderOf<Record>>(
      self, [](const HolderOf<Record>& holder) -> PyObject* {
        PyObject* state = record_state<Record>(holder);
        if (state == nullptr) return nullptr;
        return reduce_value(PythonClass<Record>::id, state);
      });
}

// The ClassDef of Record's class, built from its table and `options`.
template <class Record>
ClassDef record_class(const ClassOptions& options) {
  using Holder = HolderOf<Record>;
  auto* parts = new detail::ClassParts();  // lives as long as the class
  constexpr std::string_view kName = zelko::InputFields<Record>::record_name;
  parts->name.append("builtins.").append(kName);
  parts->doc.append(kName)
      .append(signature_text<Record>(options.extra_parameters))
      .append("\n--\n\n")
      .append(zelko::InputFields<Record>::description);
  if (!options.extra_doc.empty()) {
    parts->doc.append("\n\n").append(options.extra_doc);
  }
  parts->methods.assign(options.methods.begin(), options.methods.end());
  if (options.generic_reduce) {
    parts->methods.push_back({"__reduce__", record_reduce<Record>, METH_NOARGS,
                              "__reduce__($self, /)\n--\n\nHow pickle and "
                              "copy rebuild the object."});
  }
  parts->methods.push_back({nullptr, nullptr, 0, nullptr});
  parts->properties = row_properties<Record>(options.properties);
  return detail::finish_class(PythonClass<Record>::id, parts,
                              sizeof(NativeObject<Holder>), options,
                              {Py_tp_new, as_slot(record_new<Record>)},
                              {Py_tp_dealloc, as_slot(native_dealloc<Holder>)},
                              {Py_tp_repr, as_slot(record_repr<Record>)});
}

// _input_fields(cls): the field list of an input class.
[[nodiscard]] PyObject* py_input_fields(PyObject* module, PyObject* cls);

}  // namespace zelko::py
