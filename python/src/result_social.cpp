// OGPayload and TwitterPayload: the two tag groups of a payload, made only
// by the module as copies of a payload's parts. Their properties and
// to_dict() come from the records' field tables (zelko::TagFields).
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "payload_view.hpp"
#include "pickling.hpp"
#include "results.hpp"

namespace zelko::py {
namespace {

using zelko::OGPayload;
using zelko::TwitterPayload;

template <class Record>
constexpr std::size_t kFieldCount = zelko::kTagFieldCount<Record>;

template <class Record>
PyObject* tags_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<Record>(self, [](const Record& record) {
    return tags_dict(record, /*sorted=*/false);
  });
}

template <class Record, std::size_t Index>
PyObject* tag_field_getter(PyObject* self, void* /*closure*/) {
  return read_record<Record>(self, [](const Record& record) {
    return to_python(record.*
                     std::get<Index>(zelko::TagFields<Record>::fields).member);
  });
}

// A property's docstring, from its HTML name and kind. Numbers in the tag
// records are image dimensions.
std::string field_doc(std::string_view html_name, std::string_view example,
                      std::type_identity<std::string>) {
  return std::string(html_name) + ", for example " + std::string(example) + ".";
}
std::string field_doc(std::string_view html_name, std::string_view,
                      std::type_identity<std::optional<std::string>>) {
  return std::string(html_name) + ", or None.";
}
std::string field_doc(std::string_view html_name, std::string_view,
                      std::type_identity<std::optional<std::uint32_t>>) {
  return std::string(html_name) + " in pixels, or None.";
}
std::string field_doc(
    std::string_view html_name, std::string_view,
    std::type_identity<std::optional<std::vector<std::string>>>) {
  return std::string(html_name) + " values as a new list, or None.";
}

// The PyGetSetDef table of a tag class, one read-only property per field,
// and the docstrings it points into. Built once when the module loads.
template <class Record>
struct TagProperties {
  std::array<std::string, kFieldCount<Record>> docs;
  std::array<PyGetSetDef, kFieldCount<Record> + 1> defs{};
};

template <class Record, std::size_t... Index>
TagProperties<Record> make_tag_properties(std::string_view example,
                                          std::index_sequence<Index...>) {
  TagProperties<Record> properties;
  const auto& fields = zelko::TagFields<Record>::fields;
  ((properties.docs[Index] =
        field_doc(std::get<Index>(fields).html_name, example,
                  std::type_identity<typename std::remove_cvref_t<
                      decltype(std::get<Index>(fields))>::value_type>{})),
   ...);
  ((properties.defs[Index] = {std::get<Index>(fields).key.data(),
                              tag_field_getter<Record, Index>, nullptr,
                              properties.docs[Index].c_str(), nullptr}),
   ...);
  return properties;
}

// `example` completes the required field's docstring.
template <class Record>
TagProperties<Record> make_tag_properties(std::string_view example) {
  return make_tag_properties<Record>(
      example, std::make_index_sequence<kFieldCount<Record>>{});
}

TagProperties<OGPayload> og_properties =
    make_tag_properties<OGPayload>("\"article\" or \"website\"");

PyMethodDef kOgMethods[] = {
    reduce_method<OGPayload, ClassId::OGPayload, tags_state<OGPayload>>(),
    {"to_dict", tags_to_dict<OGPayload>, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The tags as a dict: \"type\" first, then the present fields in "
     "declared order."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kOgSlots[] = {
    {Py_tp_doc, const_cast<char*>("The Open Graph tags of a payload.")},
    {Py_tp_dealloc, as_slot(native_dealloc<OGPayload>)},
    {Py_tp_getset, og_properties.defs.data()},
    {Py_tp_methods, kOgMethods},
    {0, nullptr},
};

PyType_Spec kOgSpec = {"builtins.OGPayload", sizeof(NativeObject<OGPayload>), 0,
                       kNoConstructorFlags, kOgSlots};

TagProperties<TwitterPayload> twitter_properties =
    make_tag_properties<TwitterPayload>("\"summary_large_image\"");

PyMethodDef kTwitterMethods[] = {
    reduce_method<TwitterPayload, ClassId::TwitterPayload,
                  tags_state<TwitterPayload>>(),
    {"to_dict", tags_to_dict<TwitterPayload>, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The tags as a dict: \"card\" first, then the present fields in "
     "declared order."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kTwitterSlots[] = {
    {Py_tp_doc, const_cast<char*>("The Twitter Card tags of a payload.")},
    {Py_tp_dealloc, as_slot(native_dealloc<TwitterPayload>)},
    {Py_tp_getset, twitter_properties.defs.data()},
    {Py_tp_methods, kTwitterMethods},
    {0, nullptr},
};

PyType_Spec kTwitterSpec = {"builtins.TwitterPayload",
                            sizeof(NativeObject<TwitterPayload>), 0,
                            kNoConstructorFlags, kTwitterSlots};

}  // namespace

const ClassDef kOGPayloadClass = {ClassId::OGPayload, &kOgSpec};
const ClassDef kTwitterPayloadClass = {ClassId::TwitterPayload, &kTwitterSpec};

}  // namespace zelko::py
