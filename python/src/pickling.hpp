// How objects travel between processes: pickle, copy and deepcopy. Every
// class reduces to _zelko_native._restore(class name, state). The state is
// made of plain Python values (and objects of this module) built from the
// record alone, so a pickle does not depend on the process that wrote it.
// For a class with a constructor the state is its keyword arguments, and
// restoring it goes through the constructor's own checks.
#pragma once

#include "binding.hpp"
#include "inputs.hpp"
#include "payload_view.hpp"
#include "results.hpp"

namespace zelko::py {

// (_restore, (name of `id`, state)); steals `state`. With `attributes` (a
// dict, stolen, may be null) the reduction gets the state (None, attributes),
// which pickle and copy apply with setattr after the object is made: the
// route for settable properties, whose values may refer back to the object.
[[nodiscard]] PyObject* reduce_value(ClassId id, PyObject* state,
                                     PyObject* attributes = nullptr);

// The __reduce__ method of a class whose state is State(record).
template <class Record, ClassId Id, PyObject* (*State)(const Record&)>
PyObject* reduce_record(PyObject* self, PyObject* /*unused*/) {
  return read_record<Record>(self, [](const Record& record) -> PyObject* {
    PyObject* state = State(record);
    return state == nullptr ? nullptr : reduce_value(Id, state);
  });
}

inline constexpr const char* kReduceDoc =
    "__reduce__($self, /)\n--\n\nHow pickle and copy rebuild the object.";

// The __reduce__ row of a method table.
template <class Record, ClassId Id, PyObject* (*State)(const Record&)>
constexpr PyMethodDef reduce_method() {
  return {"__reduce__", reduce_record<Record, Id, State>, METH_NOARGS,
          kReduceDoc};
}

// The method table of a class whose only method is __reduce__.
template <class Record, ClassId Id, PyObject* (*State)(const Record&)>
inline PyMethodDef kReduceOnlyMethods[] = {
    reduce_method<Record, Id, State>(),
    {nullptr, nullptr, 0, nullptr},
};

// The state of the schema registry handle.
[[nodiscard]] PyObject* registry_state(const RegistryRecord& registry);

// States of the classes the module makes itself, and their restorers.
// A tag group's state is its to_dict().
template <class Record>
[[nodiscard]] PyObject* tags_state(const Record& tags) {
  return tags_dict(tags, /*sorted=*/false);
}
[[nodiscard]] PyObject* payload_state(const zelko::SEOPayload& payload);
[[nodiscard]] PyObject* issue_state(const IssueRecord& issue);
[[nodiscard]] PyObject* contract_state(const zelko::SEOContract& contract);

// _restore(name, state): the object that reduce_value described.
[[nodiscard]] PyObject* py_restore(PyObject* module, PyObject* args);

}  // namespace zelko::py
