// OGPayload and TwitterPayload: the two tag groups of a payload, made only
// by the module as copies of a payload's parts.
#include "payload_view.hpp"
#include "results.hpp"

namespace zelko::py {
namespace {

using zelko::OGPayload;
using zelko::TwitterPayload;

PyObject* og_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<OGPayload>(
      self, [](const OGPayload& og) { return og_dict(og, /*sorted=*/false); });
}

PyObject* twitter_to_dict(PyObject* self, PyObject* /*unused*/) {
  return read_record<TwitterPayload>(self, [](const TwitterPayload& twitter) {
    return twitter_dict(twitter, /*sorted=*/false);
  });
}

PyGetSetDef kOgGetSet[] = {
    {"type", member_getter<OGPayload, &OGPayload::type>, nullptr,
     "og:type, for example \"article\" or \"website\".", nullptr},
    {"title", member_getter<OGPayload, &OGPayload::title>, nullptr,
     "og:title, or None.", nullptr},
    {"description", member_getter<OGPayload, &OGPayload::description>, nullptr,
     "og:description, or None.", nullptr},
    {"url", member_getter<OGPayload, &OGPayload::url>, nullptr,
     "og:url, or None.", nullptr},
    {"image", member_getter<OGPayload, &OGPayload::image>, nullptr,
     "og:image, or None.", nullptr},
    {"image_width", member_getter<OGPayload, &OGPayload::image_width>, nullptr,
     "og:image:width in pixels, or None.", nullptr},
    {"image_height", member_getter<OGPayload, &OGPayload::image_height>,
     nullptr, "og:image:height in pixels, or None.", nullptr},
    {"image_alt", member_getter<OGPayload, &OGPayload::image_alt>, nullptr,
     "og:image:alt, or None.", nullptr},
    {"site_name", member_getter<OGPayload, &OGPayload::site_name>, nullptr,
     "og:site_name, or None.", nullptr},
    {"locale", member_getter<OGPayload, &OGPayload::locale>, nullptr,
     "og:locale, or None.", nullptr},
    {"locale_alternate", member_getter<OGPayload, &OGPayload::locale_alternate>,
     nullptr, "og:locale:alternate values as a new list, or None.", nullptr},
    {"audio", member_getter<OGPayload, &OGPayload::audio>, nullptr,
     "og:audio, or None.", nullptr},
    {"video", member_getter<OGPayload, &OGPayload::video>, nullptr,
     "og:video, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kOgMethods[] = {
    {"to_dict", og_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The tags as a dict: \"type\" first, then the present fields in "
     "declared order."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kOgSlots[] = {
    {Py_tp_doc, const_cast<char*>("The Open Graph tags of a payload.")},
    {Py_tp_dealloc, as_slot(native_dealloc<OGPayload>)},
    {Py_tp_getset, kOgGetSet},
    {Py_tp_methods, kOgMethods},
    {0, nullptr},
};

PyType_Spec kOgSpec = {"builtins.OGPayload", sizeof(NativeObject<OGPayload>), 0,
                       kNoConstructorFlags, kOgSlots};

PyGetSetDef kTwitterGetSet[] = {
    {"card", member_getter<TwitterPayload, &TwitterPayload::card>, nullptr,
     "twitter:card, for example \"summary_large_image\".", nullptr},
    {"title", member_getter<TwitterPayload, &TwitterPayload::title>, nullptr,
     "twitter:title, or None.", nullptr},
    {"description", member_getter<TwitterPayload, &TwitterPayload::description>,
     nullptr, "twitter:description, or None.", nullptr},
    {"image", member_getter<TwitterPayload, &TwitterPayload::image>, nullptr,
     "twitter:image, or None.", nullptr},
    {"image_alt", member_getter<TwitterPayload, &TwitterPayload::image_alt>,
     nullptr, "twitter:image:alt, or None.", nullptr},
    {"site", member_getter<TwitterPayload, &TwitterPayload::site>, nullptr,
     "twitter:site, or None.", nullptr},
    {"creator", member_getter<TwitterPayload, &TwitterPayload::creator>,
     nullptr, "twitter:creator, or None.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyMethodDef kTwitterMethods[] = {
    {"to_dict", twitter_to_dict, METH_NOARGS,
     "to_dict($self, /)\n--\n\n"
     "The tags as a dict: \"card\" first, then the present fields in "
     "declared order."},
    {nullptr, nullptr, 0, nullptr},
};

PyType_Slot kTwitterSlots[] = {
    {Py_tp_doc, const_cast<char*>("The Twitter Card tags of a payload.")},
    {Py_tp_dealloc, as_slot(native_dealloc<TwitterPayload>)},
    {Py_tp_getset, kTwitterGetSet},
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
