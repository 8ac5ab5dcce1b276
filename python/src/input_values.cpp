// The small input value classes: SEOImage, SEOAuthor, Breadcrumb, FAQItem,
// Robots and URLPolicy.
#include <array>
#include <utility>

#include "inputs.hpp"
#include "pickling.hpp"

namespace zelko::py {
namespace {

// ---------------------------------------------------------------------------
// SEOImage

PyObject* image_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"url", "width", "height", "alt"};
    static constexpr Signature kSignature{"SEOImage", kNames, 1, 1};
    std::array<PyObject*, 4> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::SEOImage image;
    if (!arg_text(arg[0], "url", image.url) ||
        !arg_optional(arg[1], "width", image.width, arg_uint32) ||
        !arg_optional(arg[2], "height", image.height, arg_uint32) ||
        !arg_optional_text(arg[3], "alt", image.alt)) {
      return nullptr;
    }
    return make_object(type, std::move(image));
  });
}

PyObject* image_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::SEOImage>(
      self, [](const zelko::SEOImage& image) -> PyObject* {
        PyRef dict = PyRef::steal(PyDict_New());
        if (!dict || !dict_set(dict.get(), "url", to_python(image.url)) ||
            !dict_set_present(dict.get(), "width", image.width) ||
            !dict_set_present(dict.get(), "height", image.height) ||
            !dict_set_present(dict.get(), "alt", image.alt)) {
          return nullptr;
        }
        return dict.release();
      });
}

PyGetSetDef kImageGetSet[] = {
    {"url", member_getter<zelko::SEOImage, &zelko::SEOImage::url>, nullptr,
     "Absolute URL of the image.", nullptr},
    {"width", member_getter<zelko::SEOImage, &zelko::SEOImage::width>, nullptr,
     "Width in pixels, or None.", nullptr},
    {"height", member_getter<zelko::SEOImage, &zelko::SEOImage::height>,
     nullptr, "Height in pixels, or None.", nullptr},
    {"alt", member_getter<zelko::SEOImage, &zelko::SEOImage::alt>, nullptr,
     "Alternative text, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kImageMethods[] = {
    reduce_method<zelko::SEOImage, ClassId::SEOImage, image_state>(),
    {"to_dict", image_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The image as a dict: \"url\", then \"width\", \"height\" and \"alt\" "
     "when present."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kImageSlots[] = {
    {Py_tp_doc,
     const_cast<char*>("SEOImage(url, *, width=None, height=None, alt=None)\n"
                       "--\n\n"
                       "An image reference: its URL, pixel size and "
                       "alternative text.")},
    {Py_tp_new, as_slot(image_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::SEOImage>)},
    {Py_tp_getset, kImageGetSet},
    {Py_tp_methods, kImageMethods},
    {0, nullptr},
};

PyType_Spec kImageSpec = {"builtins.SEOImage",
                          sizeof(NativeObject<zelko::SEOImage>), 0, kClassFlags,
                          kImageSlots};

// ---------------------------------------------------------------------------
// SEOAuthor

PyObject* author_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"name", "url"};
    static constexpr Signature kSignature{"SEOAuthor", kNames, 1, 1};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::SEOAuthor author;
    if (!arg_text(arg[0], "name", author.name) ||
        !arg_optional_text(arg[1], "url", author.url)) {
      return nullptr;
    }
    return make_object(type, std::move(author));
  });
}

PyGetSetDef kAuthorGetSet[] = {
    {"name", member_getter<zelko::SEOAuthor, &zelko::SEOAuthor::name>, nullptr,
     "Display name.", nullptr},
    {"url", member_getter<zelko::SEOAuthor, &zelko::SEOAuthor::url>, nullptr,
     "Profile URL, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kAuthorSlots[] = {
    {Py_tp_doc, const_cast<char*>("SEOAuthor(name, *, url=None)\n--\n\n"
                                  "An author and an optional profile URL.")},
    {Py_tp_new, as_slot(author_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::SEOAuthor>)},
    {Py_tp_methods,
     kReduceOnlyMethods<zelko::SEOAuthor, ClassId::SEOAuthor, author_state>},
    {Py_tp_getset, kAuthorGetSet},
    {0, nullptr},
};

PyType_Spec kAuthorSpec = {"builtins.SEOAuthor",
                           sizeof(NativeObject<zelko::SEOAuthor>), 0,
                           kClassFlags, kAuthorSlots};

// ---------------------------------------------------------------------------
// Breadcrumb

PyObject* breadcrumb_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"name", "url"};
    static constexpr Signature kSignature{"Breadcrumb", kNames, 2, 2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::Breadcrumb crumb;
    if (!arg_text(arg[0], "name", crumb.name) ||
        !arg_text(arg[1], "url", crumb.url)) {
      return nullptr;
    }
    return make_object(type, std::move(crumb));
  });
}

PyGetSetDef kBreadcrumbGetSet[] = {
    {"name", member_getter<zelko::Breadcrumb, &zelko::Breadcrumb::name>,
     nullptr, "The label.", nullptr},
    {"url", member_getter<zelko::Breadcrumb, &zelko::Breadcrumb::url>, nullptr,
     "The link, a path or a URL.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kBreadcrumbSlots[] = {
    {Py_tp_doc, const_cast<char*>("Breadcrumb(name, url)\n--\n\n"
                                  "A single entry in a breadcrumb trail.")},
    {Py_tp_new, as_slot(breadcrumb_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::Breadcrumb>)},
    {Py_tp_methods, kReduceOnlyMethods<zelko::Breadcrumb, ClassId::Breadcrumb,
                                       breadcrumb_state>},
    {Py_tp_getset, kBreadcrumbGetSet},
    {0, nullptr},
};

PyType_Spec kBreadcrumbSpec = {"builtins.Breadcrumb",
                               sizeof(NativeObject<zelko::Breadcrumb>), 0,
                               kClassFlags, kBreadcrumbSlots};

// ---------------------------------------------------------------------------
// FAQItem

PyObject* faq_item_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"question", "answer"};
    static constexpr Signature kSignature{"FAQItem", kNames, 2, 2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::FAQItem item;
    if (!arg_text(arg[0], "question", item.question) ||
        !arg_text(arg[1], "answer", item.answer)) {
      return nullptr;
    }
    return make_object(type, std::move(item));
  });
}

PyGetSetDef kFAQItemGetSet[] = {
    {"question", member_getter<zelko::FAQItem, &zelko::FAQItem::question>,
     nullptr, "The question.", nullptr},
    {"answer", member_getter<zelko::FAQItem, &zelko::FAQItem::answer>, nullptr,
     "The answer.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kFAQItemSlots[] = {
    {Py_tp_doc, const_cast<char*>("FAQItem(question, answer)\n--\n\n"
                                  "A question and its answer.")},
    {Py_tp_new, as_slot(faq_item_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::FAQItem>)},
    {Py_tp_methods,
     kReduceOnlyMethods<zelko::FAQItem, ClassId::FAQItem, faq_item_state>},
    {Py_tp_getset, kFAQItemGetSet},
    {0, nullptr},
};

PyType_Spec kFAQItemSpec = {"builtins.FAQItem",
                            sizeof(NativeObject<zelko::FAQItem>), 0,
                            kClassFlags, kFAQItemSlots};

// ---------------------------------------------------------------------------
// Robots

PyObject* robots_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"index", "follow", "max_snippet",
                                             "max_image_preview",
                                             "max_video_preview"};
    static constexpr Signature kSignature{"Robots", kNames, 0, 0};
    std::array<PyObject*, 5> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    zelko::Robots robots;
    if (!arg_flag(arg[0], "index", robots.index) ||
        !arg_flag(arg[1], "follow", robots.follow) ||
        !arg_optional(arg[2], "max_snippet", robots.max_snippet, arg_int32) ||
        !arg_optional_text(arg[3], "max_image_preview",
                           robots.max_image_preview) ||
        !arg_optional(arg[4], "max_video_preview", robots.max_video_preview,
                      arg_int32)) {
      return nullptr;
    }
    return make_object(type, std::move(robots));
  });
}

PyObject* robots_serialize(PyObject* self, PyObject* /*unused*/) {
  return read_record<zelko::Robots>(self, [](const zelko::Robots& robots) {
    return new_str(zelko::serialize(robots));
  });
}

PyGetSetDef kRobotsGetSet[] = {
    {"index", member_getter<zelko::Robots, &zelko::Robots::index>, nullptr,
     "Whether the page may be indexed.", nullptr},
    {"follow", member_getter<zelko::Robots, &zelko::Robots::follow>, nullptr,
     "Whether links on the page may be followed.", nullptr},
    {"max_snippet", member_getter<zelko::Robots, &zelko::Robots::max_snippet>,
     nullptr, "The max-snippet limit, or None.", nullptr},
    {"max_image_preview",
     member_getter<zelko::Robots, &zelko::Robots::max_image_preview>, nullptr,
     "The max-image-preview setting, or None.", nullptr},
    {"max_video_preview",
     member_getter<zelko::Robots, &zelko::Robots::max_video_preview>, nullptr,
     "The max-video-preview limit, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kRobotsMethods[] = {
    reduce_method<zelko::Robots, ClassId::Robots, robots_state>(),
    {"serialize", robots_serialize, METH_NOARGS,
     "serialize($self, /)\n--\n\n"
     "The directive string, for example \"index,follow\"."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kRobotsSlots[] = {
    {Py_tp_doc,
     const_cast<char*>("Robots(*, index=True, follow=True, max_snippet=None, "
                       "max_image_preview=None, max_video_preview=None)\n"
                       "--\n\n"
                       "Robots directives for a page.")},
    {Py_tp_new, as_slot(robots_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<zelko::Robots>)},
    {Py_tp_getset, kRobotsGetSet},
    {Py_tp_methods, kRobotsMethods},
    {0, nullptr},
};

PyType_Spec kRobotsSpec = {"builtins.Robots",
                           sizeof(NativeObject<zelko::Robots>), 0, kClassFlags,
                           kRobotsSlots};

// ---------------------------------------------------------------------------
// URLPolicy

PyObject* policy_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {
        "enforce_https",         "lowercase_paths",
        "trailing_slash",        "collapse_duplicate_slashes",
        "strip_tracking_params", "allowed_query_params",
        "extra_tracking_params"};
    static constexpr Signature kSignature{"URLPolicy", kNames, 0, 0};
    std::array<PyObject*, 7> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PolicyRecord policy;
    // None for a list is absent, which a policy stores as an empty list.
    auto text_list = [](PyObject* value, const char* name,
                        std::vector<std::string>& out) {
      return value == Py_None || arg_text_list(value, name, out);
    };
    if (!arg_flag(arg[0], "enforce_https", policy.enforce_https) ||
        !arg_flag(arg[1], "lowercase_paths", policy.lowercase_paths) ||
        !arg_text(arg[2], "trailing_slash", policy.trailing_slash) ||
        !arg_flag(arg[3], "collapse_duplicate_slashes",
                  policy.collapse_duplicate_slashes) ||
        !arg_flag(arg[4], "strip_tracking_params",
                  policy.strip_tracking_params) ||
        !text_list(arg[5], "allowed_query_params",
                   policy.allowed_query_params) ||
        !text_list(arg[6], "extra_tracking_params",
                   policy.extra_tracking_params)) {
      return nullptr;
    }
    return make_object(type, std::move(policy));
  });
}

PyGetSetDef kPolicyGetSet[] = {
    {"enforce_https", member_getter<PolicyRecord, &PolicyRecord::enforce_https>,
     nullptr, "Whether canonical URLs are forced to https.", nullptr},
    {"lowercase_paths",
     member_getter<PolicyRecord, &PolicyRecord::lowercase_paths>, nullptr,
     "Whether paths are lower-cased.", nullptr},
    {"trailing_slash",
     member_getter<PolicyRecord, &PolicyRecord::trailing_slash>, nullptr,
     "The trailing-slash rule as given (\"always\", \"never\" or "
     "\"preserve\").",
     nullptr},
    {"collapse_duplicate_slashes",
     member_getter<PolicyRecord, &PolicyRecord::collapse_duplicate_slashes>,
     nullptr, "Whether runs of slashes collapse into one.", nullptr},
    {"strip_tracking_params",
     member_getter<PolicyRecord, &PolicyRecord::strip_tracking_params>, nullptr,
     "Whether tracking query parameters are removed.", nullptr},
    {"allowed_query_params",
     member_getter<PolicyRecord, &PolicyRecord::allowed_query_params>, nullptr,
     "Query parameters kept in canonical URLs (a new list).", nullptr},
    {"extra_tracking_params",
     member_getter<PolicyRecord, &PolicyRecord::extra_tracking_params>, nullptr,
     "Further parameters treated as tracking (a new list).", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot kPolicySlots[] = {
    {Py_tp_doc, const_cast<char*>(
                    "URLPolicy(*, enforce_https=True, lowercase_paths=False, "
                    "trailing_slash='never', collapse_duplicate_slashes=True, "
                    "strip_tracking_params=True, allowed_query_params=None, "
                    "extra_tracking_params=None)\n"
                    "--\n\n"
                    "How canonical URLs are normalized.")},
    {Py_tp_new, as_slot(policy_new)},
    {Py_tp_dealloc, as_slot(native_dealloc<PolicyRecord>)},
    {Py_tp_methods,
     kReduceOnlyMethods<PolicyRecord, ClassId::URLPolicy, policy_state>},
    {Py_tp_getset, kPolicyGetSet},
    {0, nullptr},
};

PyType_Spec kPolicySpec = {"builtins.URLPolicy",
                           sizeof(NativeObject<PolicyRecord>), 0, kClassFlags,
                           kPolicySlots};

}  // namespace

const ClassDef kSEOImageClass = {ClassId::SEOImage, &kImageSpec};
const ClassDef kSEOAuthorClass = {ClassId::SEOAuthor, &kAuthorSpec};
const ClassDef kBreadcrumbClass = {ClassId::Breadcrumb, &kBreadcrumbSpec};
const ClassDef kFAQItemClass = {ClassId::FAQItem, &kFAQItemSpec};
const ClassDef kRobotsClass = {ClassId::Robots, &kRobotsSpec};
const ClassDef kURLPolicyClass = {ClassId::URLPolicy, &kPolicySpec};

bool to_engine_policy(const PolicyRecord& record, zelko::URLPolicy& out) {
  zelko::TrailingSlashParse rule =
      zelko::parse_trailing_slash(record.trailing_slash);
  if (!rule.rule) {
    raise_with_field(PyExc_ValueError, rule.error,
                     zelko::field_name(zelko::ErrorField::TrailingSlash));
    return false;
  }
  out.enforce_https = record.enforce_https;
  out.lowercase_paths = record.lowercase_paths;
  out.trailing_slash = *rule.rule;
  out.collapse_duplicate_slashes = record.collapse_duplicate_slashes;
  out.strip_tracking_params = record.strip_tracking_params;
  out.allowed_query_params = record.allowed_query_params;
  out.extra_tracking_params = record.extra_tracking_params;
  return true;
}

}  // namespace zelko::py
