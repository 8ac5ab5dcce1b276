// SEOEntity and SEOOverrides: the per-page inputs of a build.
#include <array>
#include <utility>

#include "inputs.hpp"
#include "pickling.hpp"

namespace zelko::py {
namespace {

// ---------------------------------------------------------------------------
// SEOEntity

constexpr const char* kEntityNames[] = {
    "entity_type", "slug",           "title",          "excerpt",
    "body_html",   "status",         "featured_image", "published_at",
    "updated_at",  "author_name",    "breadcrumbs",    "sku",
    "price",       "price_currency", "availability",   "same_as",
    "address",     "faq_items"};
constexpr std::size_t kEntityArity = std::size(kEntityNames);

bool convert_entity_fields(const std::array<PyObject*, kEntityArity>& arg,
                           zelko::SEOEntity& entity) {
  return arg_optional_text(arg[1], "slug", entity.slug) &&
         arg_optional_text(arg[2], "title", entity.title) &&
         arg_optional_text(arg[3], "excerpt", entity.excerpt) &&
         arg_optional_text(arg[4], "body_html", entity.body_html) &&
         arg_optional_text(arg[5], "status", entity.status) &&
         arg_optional_record(arg[6], "featured_image", ClassId::SEOImage,
                             entity.featured_image) &&
         arg_optional_text(arg[7], "published_at", entity.published_at) &&
         arg_optional_text(arg[8], "updated_at", entity.updated_at) &&
         arg_optional_text(arg[9], "author_name", entity.author_name) &&
         arg_optional(arg[10], "breadcrumbs", entity.breadcrumbs,
                      [](PyObject* value, const char* name,
                         std::vector<zelko::Breadcrumb>& out) {
                        return arg_record_list(value, name, ClassId::Breadcrumb,
                                               out);
                      }) &&
         arg_optional_text(arg[11], "sku", entity.sku) &&
         arg_optional_text(arg[12], "price", entity.price) &&
         arg_optional_text(arg[13], "price_currency", entity.price_currency) &&
         arg_optional_text(arg[14], "availability", entity.availability) &&
         arg_optional_text_list(arg[15], "same_as", entity.same_as) &&
         arg_optional_text(arg[16], "address", entity.address) &&
         arg_optional(arg[17], "faq_items", entity.faq_items,
                      [](PyObject* value, const char* name,
                         std::vector<zelko::FAQItem>& out) {
                        return arg_record_list(value, name, ClassId::FAQItem,
                                               out);
                      });
}

PyObject* entity_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"SEOEntity", kEntityNames, 1, 1};
    std::array<PyObject*, kEntityArity> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    // The type is parsed before anything else is looked at.
    std::string type_text;
    if (!arg_text(arg[0], "entity_type", type_text)) return nullptr;
    zelko::Result<zelko::EntityType> entity_type =
        zelko::parse_entity_type(type_text);
    if (!entity_type) return raise_engine_error(entity_type.error());
    zelko::SEOEntity entity;
    entity.entity_type = entity_type.value();
    if (!convert_entity_fields(arg, entity)) return nullptr;
    return make_object(type, std::move(entity));
  });
}

PyObject* entity_get_type(PyObject* self, void* /*closure*/) {
  return read_record<zelko::SEOEntity>(
      self, [](const zelko::SEOEntity& entity) {
        return new_str(zelko::to_text(entity.entity_type));
      });
}

PyObject* entity_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::SEOEntity>(
      self, [](const zelko::SEOEntity& entity) {
        return json_text_to_dict(entity_json_text(entity));
      });
}

PyGetSetDef kEntityGetSet[] = {
    {"entity_type", entity_get_type, nullptr,
     "The entity type as text, for example \"local_business\".", nullptr},
    {"title", member_getter<zelko::SEOEntity, &zelko::SEOEntity::title>,
     nullptr, "The page title, or None.", nullptr},
    {"excerpt", member_getter<zelko::SEOEntity, &zelko::SEOEntity::excerpt>,
     nullptr, "The short description, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kEntityMethods[] = {
    reduce_method<zelko::SEOEntity, ClassId::SEOEntity, entity_state>(),
    {"to_dict", entity_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The entity as a dict with sorted keys; \"entity_type\" is written as "
     "its enumerator name (\"Post\", \"LocalBusiness\"), absent fields are "
     "left out."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kEntitySlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SEOEntity(entity_type, *, slug=None, title=None, excerpt=None, "
         "body_html=None, status=None, featured_image=None, "
         "published_at=None, updated_at=None, author_name=None, "
         "breadcrumbs=None, sku=None, price=None, price_currency=None, "
         "availability=None, same_as=None, address=None, faq_items=None)\n"
         "--\n\n"
         "The content a payload is built for: what kind of page it is and "
         "what it holds.")},
    {Py_tp_new, as_slot(entity_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::SEOEntity>)},
    {Py_tp_getset, kEntityGetSet},
    {Py_tp_methods, kEntityMethods},
    {0, nullptr},
};

PyType_Spec kEntitySpec = {"builtins.SEOEntity",
                           sizeof(NativeObject<zelko::SEOEntity>), 0,
                           kClassFlags, kEntitySlots};

// ---------------------------------------------------------------------------
// SEOOverrides

constexpr const char* kOverridesNames[] = {"meta_title",
                                           "meta_description",
                                           "canonical_url",
                                           "canonical_path",
                                           "robots",
                                           "og_title",
                                           "og_description",
                                           "og_image",
                                           "twitter_card",
                                           "twitter_title",
                                           "twitter_description",
                                           "twitter_image",
                                           "schema_jsonld",
                                           "omit_schema",
                                           "skip_title_template",
                                           "twitter_creator",
                                           "og_audio",
                                           "og_video"};
constexpr std::size_t kOverridesArity = std::size(kOverridesNames);

// json.dumps, then the engine's reader. Text the reader refuses (NaN and the
// infinities, which json.dumps writes as bare words, a lone surrogate, nesting
// deeper than the reader's limit) becomes JSON null, which adds no node to the
// payload; since that silently costs the page all its JSON-LD, it is announced
// with a RuntimeWarning. An exception of json.dumps propagates.
bool convert_schema_override(PyObject* value,
                             std::optional<zelko::JsonValue>& out) {
  if (value == nullptr || value == Py_None) return true;
  std::optional<zelko::Result<zelko::JsonValue>> read = dump_and_read(value);
  if (!read) return false;
  if (read->ok()) {
    out = std::move(*read).value();
    return true;
  }
  const std::string warning =
      "schema_jsonld override dropped: it is not valid JSON (NaN, infinity, a "
      "lone surrogate or nesting deeper than 128 levels): " +
      read->error().message();
  if (PyErr_WarnEx(PyExc_RuntimeWarning, warning.c_str(), 1) < 0) return false;
  out = zelko::JsonValue(nullptr);
  return true;
}

bool convert_overrides(const std::array<PyObject*, kOverridesArity>& arg,
                       zelko::SEOOverrides& out) {
  return arg_optional_text(arg[0], "meta_title", out.meta_title) &&
         arg_optional_text(arg[1], "meta_description", out.meta_description) &&
         arg_optional_text(arg[2], "canonical_url", out.canonical_url) &&
         arg_optional_text(arg[3], "canonical_path", out.canonical_path) &&
         arg_optional_record(arg[4], "robots", ClassId::Robots, out.robots) &&
         arg_optional_text(arg[5], "og_title", out.og_title) &&
         arg_optional_text(arg[6], "og_description", out.og_description) &&
         arg_optional_record(arg[7], "og_image", ClassId::SEOImage,
                             out.og_image) &&
         arg_optional_text(arg[8], "twitter_card", out.twitter_card) &&
         arg_optional_text(arg[9], "twitter_title", out.twitter_title) &&
         arg_optional_text(arg[10], "twitter_description",
                           out.twitter_description) &&
         arg_optional_record(arg[11], "twitter_image", ClassId::SEOImage,
                             out.twitter_image) &&
         convert_schema_override(arg[12], out.schema_jsonld) &&
         arg_flag(arg[13], "omit_schema", out.omit_schema) &&
         arg_flag(arg[14], "skip_title_template", out.skip_title_template) &&
         arg_optional_text(arg[15], "twitter_creator", out.twitter_creator) &&
         arg_optional_text(arg[16], "og_audio", out.og_audio) &&
         arg_optional_text(arg[17], "og_video", out.og_video);
}

PyObject* overrides_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"SEOOverrides", kOverridesNames, 0,
                                          0};
    std::array<PyObject*, kOverridesArity> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::SEOOverrides overrides;
    if (!convert_overrides(arg, overrides)) return nullptr;
    return make_object(type, std::move(overrides));
  });
}

PyMethodDef kOverridesMethods[] = {
    {"__reduce__", reduce_overrides, METH_NOARGS, kReduceDoc},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kOverridesSlots[] = {
    {Py_tp_doc,
     const_cast<char*>(
         "SEOOverrides(*, meta_title=None, meta_description=None, "
         "canonical_url=None, canonical_path=None, robots=None, "
         "og_title=None, og_description=None, og_image=None, "
         "twitter_card=None, twitter_title=None, twitter_description=None, "
         "twitter_image=None, schema_jsonld=None, omit_schema=False, "
         "skip_title_template=False, twitter_creator=None, og_audio=None, "
         "og_video=None)\n"
         "--\n\n"
         "Per-call overrides that take precedence over the entity and "
         "config.")},
    {Py_tp_new, as_slot(overrides_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::SEOOverrides>)},
    {Py_tp_methods, kOverridesMethods},
    {0, nullptr},
};

PyType_Spec kOverridesSpec = {"builtins.SEOOverrides",
                              sizeof(NativeObject<zelko::SEOOverrides>), 0,
                              kClassFlags, kOverridesSlots};

}  // namespace

const ClassDef kSEOEntityClass = {ClassId::SEOEntity, &kEntitySpec};
const ClassDef kSEOOverridesClass = {ClassId::SEOOverrides, &kOverridesSpec};

PyObject* new_entity_object(const zelko::SEOEntity& entity) {
  return make_object(ClassId::SEOEntity, zelko::SEOEntity(entity));
}

}  // namespace zelko::py
