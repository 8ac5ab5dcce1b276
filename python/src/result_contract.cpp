// The contract classes: SEOExpectation, SEOContractRule, SEOContractConfig
// (inputs of a contract, made from their field tables) and SEOContract (a
// built contract).
#include <array>
#include <utility>
#include <vector>

#include "pickling.hpp"
#include "record_fields.hpp"
#include "results.hpp"

namespace zelko::py {
namespace {

// ---------------------------------------------------------------------------
// SEOContract

using zelko::SEOContract;

PyObject* contract_get_version(PyObject* self, void* /*closure*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.contract_version());
  });
}

PyObject* contract_get_site(PyObject* self, void* /*closure*/) {
  // The "site" member of the contract's dictionary form, keys in order.
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    PyRef site = PyRef::steal(PyDict_New());
    if (!site ||
        !dict_set(site.get(), "canonical_host",
                  to_python(contract.canonical_host())) ||
        !dict_set(site.get(), "scheme", to_python(contract.scheme()))) {
      return static_cast<PyObject*>(nullptr);
    }
    return site.release();
  });
}

PyObject* contract_to_json(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.to_json());
  });
}

PyObject* contract_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    zelko::Result<zelko::JsonValue> value = contract.to_value();
    if (!value) return raise_display_value_error(value.error());
    return json_object_to_dict(value.value());
  });
}

PyObject* contract_hash(PyObject* self, PyObject* /*unused*/) {
  return read_record<SEOContract>(self, [](const SEOContract& contract) {
    return new_str(contract.hash());
  });
}

PyObject* contract_write(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"path"};
    static constexpr Signature kSignature{"write", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    std::string path;
    if (!arg_text(arg[0], "path", path)) return nullptr;
    if (path.find('\0') != std::string::npos) {
      PyErr_SetString(PyExc_ValueError, "embedded null byte");
      return nullptr;
    }
    SharedBorrow borrow(self);
    if (!borrow) return nullptr;
    zelko::Status written = record_of<SEOContract>(self).write(path);
    if (!written) return raise_display_os_error(written.error());
    return Py_NewRef(Py_None);
  });
}

PyGetSetDef kContractGetSet[] = {
    {"contract_version", contract_get_version, nullptr,
     "The version of the contract format, \"1\".", nullptr},
    {"site", contract_get_site, nullptr,
     "A new dict with \"canonical_host\" and \"scheme\".", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kContractMethods[] = {
    reduce_method<SEOContract, ClassId::SEOContract, contract_state>(),
    {"to_json", contract_to_json, METH_NOARGS,
     "to_json($self, /)\n--\n\n"
     "The contract as pretty JSON text, keys in their fixed order."},
    {"to_dict", contract_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The contract as a new dict with sorted keys at every level."},
    {"hash", contract_hash, METH_NOARGS,
     "hash($self, /)\n--\n\n"
     "SHA-256 of the to_json() text, as 64 lower-case hex digits."},
    {"write", as_method(contract_write), METH_VARARGS | METH_KEYWORDS,
     "write($self, path)\n--\n\n"
     "Replaces the file at path with the to_json() text. Raises OSError "
     "when the file cannot be written."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kContractSlots[] = {
    {Py_tp_doc, const_cast<char*>("A machine-readable SEO contract, made by "
                                  "build_seo_contract.")},
    {Py_tp_dealloc, as_slot(native_dealloc<SEOContract>)},
    {Py_tp_getset, kContractGetSet},
    {Py_tp_methods, kContractMethods},
    {0, nullptr},
};

PyType_Spec kContractSpec = {"builtins.SEOContract",
                             sizeof(NativeObject<SEOContract>), 0,
                             kNoConstructorFlags, kContractSlots};

}  // namespace

const ClassDef kSEOExpectationClass = record_class<zelko::SEOExpectation>({});
const ClassDef kSEOContractRuleClass = record_class<zelko::SEOContractRule>({});
const ClassDef kSEOContractConfigClass =
    record_class<zelko::SEOContractConfig>({});
const ClassDef kSEOContractClass = {ClassId::SEOContract, &kContractSpec};

}  // namespace zelko::py
