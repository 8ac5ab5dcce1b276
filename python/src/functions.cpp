// The nine module functions. Each binds its arguments, converts them in
// declaration order, holds every object argument under a shared borrow for
// the whole call (records are read in place, not copied), calls one engine
// operation and wraps the result.
#include "functions.hpp"

#include <array>
#include <map>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

#include "inputs.hpp"
#include "payload_view.hpp"
#include "results.hpp"
#include "stages.hpp"
#include "zelko/builder.hpp"
#include "zelko/contract.hpp"
#include "zelko/url.hpp"
#include "zelko/validation.hpp"

namespace zelko::py {

// ---------------------------------------------------------------------------
// Docstrings

const char kBuildSeoContractDoc[] =
    "build_seo_contract(config)\n--\n\n"
    "Builds a machine-readable SEO contract.\n\n"
    "Args:\n"
    "    config: The SEOContractConfig to build from.\n\n"
    "Returns:\n"
    "    A new SEOContract holding a copy of the configuration.\n\n"
    "Raises:\n"
    "    TypeError: config is not an SEOContractConfig.\n"
    "    ContractError: The engine refused the contract.\n";

const char kBuildSeoPayloadDoc[] =
    "build_seo_payload(entity, route, config, overrides=None)\n--\n\n"
    "Builds a deterministic SEO payload for an entity at a route.\n\n"
    "After the engine has built the payload, the configuration's "
    "schema_registry may replace its JSON-LD, its hooks may rewrite it, and "
    "with emit_warnings every validation finding becomes a UserWarning.\n\n"
    "Args:\n"
    "    entity: The SEOEntity describing the page.\n"
    "    route: The path or URL at which the page is served (str).\n"
    "    config: The site's SEOConfig.\n"
    "    overrides: SEOOverrides taking precedence over entity and config, "
    "or None.\n\n"
    "Returns:\n"
    "    A new SEOPayload.\n\n"
    "Raises:\n"
    "    TypeError: An argument has the wrong type, or a hook returned "
    "something other than a dict or None.\n"
    "    InvalidUrlError: The canonical_url override is not an absolute URL.\n"
    "    ConfigurationError: The configuration cannot resolve public URLs.\n"
    "    ZelkoError: The engine failed, or a hook's dict is no longer a "
    "payload.\n"
    "    RuntimeError: An argument object is being modified.\n";

const char kBuildSeoPayloadDictDoc[] =
    "build_seo_payload_dict(entity, route, config, overrides=None)\n--\n\n"
    "Builds a payload and returns it as a plain dictionary.\n\n"
    "The build is that of build_seo_payload, stages included.\n\n"
    "Args:\n"
    "    entity: The SEOEntity describing the page.\n"
    "    route: The path or URL at which the page is served (str).\n"
    "    config: The site's SEOConfig.\n"
    "    overrides: SEOOverrides taking precedence over entity and config, "
    "or None.\n\n"
    "Returns:\n"
    "    A new dict with sorted keys at every level.\n\n"
    "Raises:\n"
    "    TypeError: An argument has the wrong type.\n"
    "    ZelkoError: The engine failed (or one of its subclasses).\n"
    "    ValueError: The payload nests deeper than 128 levels.\n"
    "    RuntimeError: An argument object is being modified.\n";

const char kBuildSeoPayloadWithOverridesDoc[] =
    "build_seo_payload_with_overrides(entity, route, config, overrides)\n"
    "--\n\n"
    "Builds a deterministic SEO payload with explicit overrides.\n\n"
    "Args:\n"
    "    entity: The SEOEntity describing the page.\n"
    "    route: The path or URL at which the page is served (str).\n"
    "    config: The site's SEOConfig.\n"
    "    overrides: The SEOOverrides to apply (required, not None).\n\n"
    "Returns:\n"
    "    A new SEOPayload.\n\n"
    "Raises:\n"
    "    TypeError: An argument has the wrong type.\n"
    "    ZelkoError: The engine failed (or one of its subclasses).\n"
    "    RuntimeError: An argument object is being modified.\n";

const char kCleanQueryDoc[] =
    "clean_query_fn(query)\n--\n\n"
    "Removes tracking parameters from a query string.\n\n"
    "Args:\n"
    "    query: The query string, without the leading \"?\".\n\n"
    "Returns:\n"
    "    The query without its tracking parameters (str).\n\n"
    "Raises:\n"
    "    TypeError: query is not a str.\n";

const char kCleanUrlDoc[] =
    "clean_url_fn(url)\n--\n\n"
    "Removes tracking parameters from a URL.\n\n"
    "Args:\n"
    "    url: The URL to clean.\n\n"
    "Returns:\n"
    "    A dict with \"url\" (the cleaned URL), \"removed_params\" and "
    "\"cleaned_params\" (name -> value dicts of the dropped and kept "
    "parameters).\n\n"
    "Raises:\n"
    "    TypeError: url is not a str.\n";

const char kNormalizePathDoc[] =
    "normalize_path_fn(path, policy)\n--\n\n"
    "Normalizes a route path according to the URL policy.\n\n"
    "Args:\n"
    "    path: The route path.\n"
    "    policy: The URLPolicy to apply.\n\n"
    "Returns:\n"
    "    The normalized path (str).\n\n"
    "Raises:\n"
    "    TypeError: An argument has the wrong type.\n"
    "    ValueError: The policy's trailing_slash is not \"always\", "
    "\"never\" or \"preserve\".\n";

const char kNormalizePublicUrlDoc[] =
    "normalize_public_url_fn(url, config)\n--\n\n"
    "Resolves a path or URL against the configured public base URL.\n\n"
    "Args:\n"
    "    url: A route, path or absolute URL.\n"
    "    config: The site's SEOConfig.\n\n"
    "Returns:\n"
    "    The canonical absolute URL (str).\n\n"
    "Raises:\n"
    "    TypeError: An argument has the wrong type.\n"
    "    ValueError: The URL cannot be resolved; the message carries the "
    "error kind, for example \"invalid URL: \".\n";

const char kValidatePayloadDoc[] =
    "validate_payload(payload)\n--\n\n"
    "Runs the built-in validation checks against a payload.\n\n"
    "Args:\n"
    "    payload: The SEOPayload to check.\n\n"
    "Returns:\n"
    "    A new list of SEOIssue findings, in rule order; empty when the "
    "payload passes.\n\n"
    "Raises:\n"
    "    TypeError: payload is not an SEOPayload.\n";

namespace {

// ---------------------------------------------------------------------------
// Argument objects held for the call

// An argument object kept alive and under a shared borrow until the call
// returns. The borrow is released before the reference.
class HeldArgument {
 public:
  // Takes `value`, which must be an instance of `id`; TypeError naming the
  // parameter otherwise, RuntimeError when it is exclusively borrowed.
  bool hold(PyObject* value, const char* name, ClassId id) {
    if (!is_instance(value, id)) {
      PyErr_Format(PyExc_TypeError, "argument '%s' must be %s, not %s", name,
                   std::string(class_name(id)).c_str(),
                   type_name(value).c_str());
      return false;
    }
    object_ = PyRef::borrow(value);
    borrow_.emplace(value);
    return static_cast<bool>(*borrow_);
  }

  [[nodiscard]] PyObject* get() const noexcept { return object_.get(); }
  template <class Record>
  [[nodiscard]] const Record& record() const noexcept {
    return record_of<Record>(object_.get());
  }

 private:
  PyRef object_;
  std::optional<SharedBorrow> borrow_;
};

// A str argument read in place: the view stays valid while `keep` holds the
// string object.
bool arg_text_view(PyObject* value, const char* name, PyRef& keep,
                   std::string_view& out) {
  if (!zelko::py::arg_text_view(value, name, out)) return false;
  keep = PyRef::borrow(value);
  return true;
}

// ---------------------------------------------------------------------------
// Payload functions

constexpr const char* kPayloadNames[] = {"entity", "route", "config",
                                         "overrides"};

enum class PayloadResult { Object, Dict };

PyObject* run_payload_function(const Signature& signature, PyObject* args,
                               PyObject* kwargs, bool overrides_required,
                               PayloadResult result) {
  std::array<PyObject*, 4> arg{};
  if (!bind_arguments(signature, args, kwargs, arg)) return nullptr;
  HeldArgument entity;
  PyRef route_text;
  std::string_view route;
  HeldArgument config;
  HeldArgument overrides;
  if (!entity.hold(arg[0], "entity", ClassId::SEOEntity) ||
      !arg_text_view(arg[1], "route", route_text, route) ||
      !config.hold(arg[2], "config", ClassId::SEOConfig)) {
    return nullptr;
  }
  const zelko::SEOOverrides* overrides_record = nullptr;
  bool overrides_given =
      arg[3] != nullptr && (overrides_required || arg[3] != Py_None);
  if (overrides_given) {
    if (!overrides.hold(arg[3], "overrides", ClassId::SEOOverrides))
      return nullptr;
    overrides_record = &overrides.record<zelko::SEOOverrides>();
  }

  const auto& entity_record = entity.record<zelko::SEOEntity>();
  // Python-registered schema generators run in the registry stage; the
  // engine's own registry input stays empty.
  zelko::Result<zelko::SEOPayload> built = zelko::build_seo_payload(
      entity_record, route, config_record(config.get()), overrides_record,
      nullptr);
  if (!built) return raise_engine_error(built.error());
  zelko::SEOPayload payload = std::move(built).value();
  if (!run_post_build_stages(payload, entity_record, config.get()))
    return nullptr;
  if (result == PayloadResult::Dict) return payload_view(payload);
  return make_object(ClassId::SEOPayload, std::move(payload));
}

}  // namespace

PyObject* py_build_seo_payload(PyObject* /*module*/, PyObject* args,
                               PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"build_seo_payload", kPayloadNames, 4,
                                          3};
    return run_payload_function(kSignature, args, kwargs, false,
                                PayloadResult::Object);
  });
}

PyObject* py_build_seo_payload_with_overrides(PyObject* /*module*/,
                                              PyObject* args,
                                              PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"build_seo_payload_with_overrides",
                                          kPayloadNames, 4, 4};
    return run_payload_function(kSignature, args, kwargs, true,
                                PayloadResult::Object);
  });
}

PyObject* py_build_seo_payload_dict(PyObject* /*module*/, PyObject* args,
                                    PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr Signature kSignature{"build_seo_payload_dict",
                                          kPayloadNames, 4, 3};
    return run_payload_function(kSignature, args, kwargs, false,
                                PayloadResult::Dict);
  });
}

// ---------------------------------------------------------------------------
// Contracts and validation

PyObject* py_build_seo_contract(PyObject* /*module*/, PyObject* args,
                                PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"config"};
    static constexpr Signature kSignature{"build_seo_contract", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    HeldArgument config;
    if (!config.hold(arg[0], "config", ClassId::SEOContractConfig))
      return nullptr;
    return make_object(
        ClassId::SEOContract,
        zelko::build_seo_contract(config.record<zelko::SEOContractConfig>()));
  });
}

PyObject* py_validate_payload(PyObject* /*module*/, PyObject* args,
                              PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"payload"};
    static constexpr Signature kSignature{"validate_payload", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    HeldArgument payload;
    if (!payload.hold(arg[0], "payload", ClassId::SEOPayload)) return nullptr;
    std::vector<zelko::SEOIssue> issues =
        zelko::validate_payload(payload.record<zelko::SEOPayload>());
    PyRef list =
        PyRef::steal(PyList_New(static_cast<Py_ssize_t>(issues.size())));
    if (!list) return nullptr;
    for (std::size_t index = 0; index < issues.size(); ++index) {
      PyObject* issue = new_issue_object(issues[index]);
      if (issue == nullptr) return nullptr;
      PyList_SetItem(list.get(), static_cast<Py_ssize_t>(index), issue);
    }
    return list.release();
  });
}

// ---------------------------------------------------------------------------
// URL tools

PyObject* py_normalize_path_fn(PyObject* /*module*/, PyObject* args,
                               PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"path", "policy"};
    static constexpr Signature kSignature{"normalize_path_fn", kNames, 2, 2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef path_text;
    std::string_view path;
    HeldArgument policy;
    if (!arg_text_view(arg[0], "path", path_text, path) ||
        !policy.hold(arg[1], "policy", ClassId::URLPolicy)) {
      return nullptr;
    }
    zelko::URLPolicy engine_policy;
    if (!to_engine_policy(policy.record<PolicyRecord>(), engine_policy))
      return nullptr;
    return new_str(zelko::normalize_path(path, engine_policy));
  });
}

PyObject* py_normalize_public_url_fn(PyObject* /*module*/, PyObject* args,
                                     PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"url", "config"};
    static constexpr Signature kSignature{"normalize_public_url_fn", kNames, 2,
                                          2};
    std::array<PyObject*, 2> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef url_text;
    std::string_view url;
    HeldArgument config;
    if (!arg_text_view(arg[0], "url", url_text, url) ||
        !config.hold(arg[1], "config", ClassId::SEOConfig)) {
      return nullptr;
    }
    zelko::Result<std::string> resolved =
        zelko::normalize_public_url(url, config_record(config.get()));
    if (!resolved) return raise_display_value_error(resolved.error());
    return new_str(resolved.value());
  });
}

namespace {

using ParamMap = std::map<std::string, std::string, std::less<>>;

PyObject* param_dict(const ParamMap& params) {
  PyRef dict = PyRef::steal(PyDict_New());
  if (!dict) return nullptr;
  for (const auto& [name, value] : params) {
    PyRef key = PyRef::steal(new_str(name));
    PyRef text = PyRef::steal(new_str(value));
    if (!key || !text || PyDict_SetItem(dict.get(), key.get(), text.get()) < 0)
      return nullptr;
  }
  return dict.release();
}

}  // namespace

PyObject* py_clean_url_fn(PyObject* /*module*/, PyObject* args,
                          PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"url"};
    static constexpr Signature kSignature{"clean_url_fn", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef url_text;
    std::string_view url;
    if (!arg_text_view(arg[0], "url", url_text, url)) return nullptr;
    zelko::CleanedUrl cleaned = zelko::clean_url(url);
    PyRef result = PyRef::steal(PyDict_New());
    if (!result || !set_item(result.get(), Key::url, new_str(cleaned.url)) ||
        !set_item(result.get(), Key::removed_params,
                  param_dict(cleaned.removed_params)) ||
        !set_item(result.get(), Key::cleaned_params,
                  param_dict(cleaned.cleaned_params))) {
      return nullptr;
    }
    return result.release();
  });
}

PyObject* py_clean_query_fn(PyObject* /*module*/, PyObject* args,
                            PyObject* kwargs) {
  return guarded([&]() -> PyObject* {
    static constexpr const char* kNames[] = {"query"};
    static constexpr Signature kSignature{"clean_query_fn", kNames, 1, 1};
    std::array<PyObject*, 1> arg{};
    if (!bind_arguments(kSignature, args, kwargs, arg)) return nullptr;
    PyRef query_text;
    std::string_view query;
    if (!arg_text_view(arg[0], "query", query_text, query)) return nullptr;
    return new_str(zelko::clean_query(query));
  });
}

}  // namespace zelko::py
