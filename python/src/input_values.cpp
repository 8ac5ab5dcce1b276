// The small input value classes: SEOImage, SEOAuthor, Breadcrumb, FAQItem,
// Robots and URLPolicy, made from their field tables.
#include "record_fields.hpp"

namespace zelko::py {
namespace {

PyObject* image_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::SEOImage>(self, [](const zelko::SEOImage& image) {
    return fields::record_dict(image, /*sorted=*/false);
  });
}

const PyMethodDef kImageMethods[] = {
    {"to_dict", image_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The image as a dict: \"url\", then \"width\", \"height\" and \"alt\" "
     "when present."},
};

PyObject* robots_serialize(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::Robots>(self, [](const zelko::Robots& robots) {
    return new_str(zelko::serialize(robots));
  });
}

const PyMethodDef kRobotsMethods[] = {
    {"serialize", robots_serialize, METH_NOARGS,
     "serialize($self, /)\n--\n\n"
     "The directive string, for example \"index,follow\"."},
};

}  // namespace

const ClassDef kSEOImageClass =
    record_class<zelko::SEOImage>({.methods = kImageMethods});
const ClassDef kSEOAuthorClass = record_class<zelko::SEOAuthor>({});
const ClassDef kBreadcrumbClass = record_class<zelko::Breadcrumb>({});
const ClassDef kFAQItemClass = record_class<zelko::FAQItem>({});
const ClassDef kRobotsClass =
    record_class<zelko::Robots>({.methods = kRobotsMethods});
const ClassDef kURLPolicyClass = record_class<zelko::URLPolicy>({});

bool to_engine_policy(const PolicyRecord& record, zelko::URLPolicy& out) {
  // A plain ValueError with the bare message, not the mapped class.
  zelko::Result<zelko::TrailingSlash> rule =
      zelko::parse_trailing_slash(record.trailing_slash);
  if (!rule) {
    const zelko::Error& error = rule.error();
    raise_with_field(PyExc_ValueError, error.message(),
                     zelko::field_name(error.field()));
    return false;
  }
  out = record.policy;
  out.trailing_slash = *rule;
  return true;
}

}  // namespace zelko::py
