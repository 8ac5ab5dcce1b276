// SEOEntity and SEOOverrides: the per-page inputs of a build, made from their
// field tables.
#include "record_fields.hpp"

namespace zelko::py {
namespace {

PyObject* entity_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::SEOEntity>(
      self, [](const zelko::SEOEntity& entity) {
        return fields::record_dict(entity, /*sorted=*/true);
      });
}

const PyMethodDef kEntityMethods[] = {
    {"to_dict", entity_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The entity as a dict with sorted keys; \"entity_type\" is written as "
     "its enumerator name (\"Post\", \"LocalBusiness\"), absent fields are "
     "left out."},
};

}  // namespace

const ClassDef kSEOEntityClass =
    record_class<zelko::SEOEntity>({.methods = kEntityMethods});
const ClassDef kSEOOverridesClass = record_class<zelko::SEOOverrides>({});

PyObject* new_entity_object(const zelko::SEOEntity& entity) {
  return make_object(ClassId::SEOEntity, zelko::SEOEntity(entity));
}

}  // namespace zelko::py
