"""The nine module functions: signatures, docstrings, arguments, results and
the mapping of every failure onto its exception class."""

from __future__ import annotations

import inspect
from collections.abc import Callable
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import Hooks, build, make_config, make_post

P = inspect.Parameter

SIGNATURES = {
    "build_seo_contract": (["config"], {}),
    "build_seo_payload": (["entity", "route", "config", "overrides"], {"overrides": None}),
    "build_seo_payload_dict": (["entity", "route", "config", "overrides"], {"overrides": None}),
    "build_seo_payload_with_overrides": (["entity", "route", "config", "overrides"], {}),
    "clean_query_fn": (["query"], {}),
    "clean_url_fn": (["url"], {}),
    "normalize_path_fn": (["path", "policy"], {}),
    "normalize_public_url_fn": (["url", "config"], {}),
    "validate_payload": (["payload"], {}),
}

FIRST_SENTENCES = {
    "build_seo_payload": "Builds a deterministic SEO payload for an entity at a route.",
    "build_seo_payload_with_overrides": (
        "Builds a deterministic SEO payload with explicit overrides."
    ),
    "build_seo_payload_dict": "Builds a payload and returns it as a plain dictionary.",
    "build_seo_contract": "Builds a machine-readable SEO contract.",
    "validate_payload": "Runs the built-in validation checks against a payload.",
    "normalize_path_fn": "Normalizes a route path according to the URL policy.",
    "normalize_public_url_fn": "Resolves a path or URL against the configured public base URL.",
    "clean_url_fn": "Removes tracking parameters from a URL.",
    "clean_query_fn": "Removes tracking parameters from a query string.",
}


# --- Signatures and docstrings --------------------------------------------------


def test_functions_follow_the_classes_in_all_in_name_order() -> None:
    functions = native.__all__[18:27]
    assert functions == sorted(SIGNATURES)


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_signature(name: str) -> None:
    names, defaults = SIGNATURES[name]
    parameters = list(inspect.signature(getattr(native, name)).parameters.values())
    assert [parameter.name for parameter in parameters] == names
    assert all(parameter.kind is P.POSITIONAL_OR_KEYWORD for parameter in parameters)
    for parameter in parameters:
        expected = defaults.get(parameter.name, P.empty)
        assert parameter.default is expected


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_docstring_opens_with_its_sentence_and_has_the_three_sections(name: str) -> None:
    function = getattr(native, name)
    doc = function.__doc__
    assert doc.startswith(FIRST_SENTENCES[name] + "\n")
    positions = [doc.index("\nArgs:\n"), doc.index("\nReturns:\n"), doc.index("\nRaises:\n")]
    assert positions == sorted(positions)
    names, _ = SIGNATURES[name]
    args_section = doc[positions[0] : positions[1]]
    for parameter in names:
        assert f"    {parameter}: " in args_section


@pytest.mark.parametrize("name", sorted(SIGNATURES))
def test_functions_are_bound_to_the_module(name: str) -> None:
    function = getattr(native, name)
    assert function.__module__ == "_zelko_native"
    assert function.__self__ is native
    assert function.__name__ == name


# --- Argument binding -----------------------------------------------------------


def test_keywords_work_and_none_overrides_equal_omitted() -> None:
    entity, config = make_post(), make_config()
    by_keyword = native.build_seo_payload(entity=entity, route="/x", config=config)
    assert by_keyword == native.build_seo_payload(entity, "/x", config)
    assert by_keyword == native.build_seo_payload(entity, "/x", config, None)
    assert by_keyword == native.build_seo_payload(entity, "/x", config, overrides=None)


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (
            lambda e, c: native.build_seo_payload(e, "/x"),
            "missing 1 required positional argument: 'config'",
        ),
        (lambda e, c: native.build_seo_payload(), "'entity', 'route', and 'config'"),
        (lambda e, c: native.build_seo_payload(e, "/x", c, None, None), "at most 4 positional"),
        (
            lambda e, c: native.build_seo_payload(e, "/x", c, entity=e),
            "multiple values for argument 'entity'",
        ),
        (
            lambda e, c: native.build_seo_payload(e, "/x", c, extra=1),
            "unexpected keyword argument 'extra'",
        ),
        (lambda e, c: native.build_seo_payload_with_overrides(e, "/x", c), "'overrides'"),
        (lambda e, c: native.clean_query_fn(), "'query'"),
        (lambda e, c: native.clean_url_fn("a", "b"), "exactly 1 positional argument"),
        (lambda e, c: native.validate_payload(payload=None, extra=None), "unexpected keyword"),
    ],
)
def test_binding_errors_use_the_usual_wording(call: Callable[..., Any], message: str) -> None:
    with pytest.raises(TypeError, match=message):
        call(make_post(), make_config())


def valid_arguments() -> dict[str, dict[str, Any]]:
    payload = build()
    return {
        "build_seo_payload": {
            "entity": make_post(),
            "route": "/x",
            "config": make_config(),
            "overrides": native.SEOOverrides(),
        },
        "build_seo_payload_dict": {
            "entity": make_post(),
            "route": "/x",
            "config": make_config(),
            "overrides": native.SEOOverrides(),
        },
        "build_seo_payload_with_overrides": {
            "entity": make_post(),
            "route": "/x",
            "config": make_config(),
            "overrides": native.SEOOverrides(),
        },
        "build_seo_contract": {"config": native.SEOContractConfig("h")},
        "validate_payload": {"payload": payload},
        "normalize_path_fn": {"path": "/x", "policy": native.URLPolicy()},
        "normalize_public_url_fn": {"url": "/x", "config": make_config()},
        "clean_url_fn": {"url": "https://a.example/?a=1"},
        "clean_query_fn": {"query": "a=1"},
    }


WRONG_VALUES = {
    "entity": [{"entity_type": "post"}, "post", None, native.SEOImage("x")],
    "route": [b"/x", None, 1, ["/x"]],
    "config": [{}, None, "example.com"],
    "overrides": [{}, native.SEOImage("x"), 1],
    "payload": [{}, None],
    "path": [b"/x", None],
    "policy": [{}, None, "never"],
    "url": [b"https://a", None],
    "query": [b"a=1", None, 1],
}

REFUSALS = [
    (function, parameter, value)
    for function, (names, _) in SIGNATURES.items()
    for parameter in names
    for value in WRONG_VALUES[parameter]
]


@pytest.mark.parametrize(("function", "parameter", "value"), REFUSALS, ids=repr)
def test_wrong_argument_types_are_refused_naming_the_parameter(
    function: str, parameter: str, value: Any
) -> None:
    arguments = valid_arguments()[function]
    arguments[parameter] = value
    with pytest.raises(TypeError, match=f"'{parameter}'"):
        getattr(native, function)(**arguments)


@pytest.mark.parametrize(
    ("function", "parameter", "value"),
    [
        ("build_seo_payload", "config", native.SEOContractConfig("h")),
        ("build_seo_contract", "config", make_config()),
        ("normalize_public_url_fn", "config", native.SEOContractConfig("h")),
        ("build_seo_payload_with_overrides", "overrides", None),
    ],
)
def test_same_named_parameters_check_their_own_class(
    function: str, parameter: str, value: Any
) -> None:
    arguments = valid_arguments()[function]
    arguments[parameter] = value
    with pytest.raises(TypeError, match=f"'{parameter}'"):
        getattr(native, function)(**arguments)


def test_arguments_convert_in_declaration_order() -> None:
    with pytest.raises(TypeError, match="'entity'"):
        native.build_seo_payload(None, None, None, {})
    with pytest.raises(TypeError, match="'route'"):
        native.build_seo_payload(make_post(), None, None, {})
    with pytest.raises(TypeError, match="'config'"):
        native.build_seo_payload(make_post(), "/x", None, {})
    with pytest.raises(TypeError, match="'path'"):
        native.normalize_path_fn(1, None)


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(
            lambda: native.build_seo_payload(make_post(), "/\udc80", make_config()), id="route"
        ),
        pytest.param(lambda: native.clean_query_fn("\ud800"), id="query"),
        pytest.param(lambda: native.clean_url_fn("\ud800"), id="url"),
        pytest.param(lambda: native.normalize_path_fn("\ud800", native.URLPolicy()), id="path"),
    ],
)
def test_unencodable_text_raises_the_encoding_error(call: Callable[[], Any]) -> None:
    with pytest.raises(UnicodeEncodeError):
        call()


def test_str_subclasses_are_accepted_as_text() -> None:
    class Route(str):
        pass

    assert build(route=Route("/blog/hello")) == build(route="/blog/hello")


# --- Results --------------------------------------------------------------------


def test_payload_functions_return_payloads_and_dicts() -> None:
    entity, config = make_post(), make_config()
    overrides = native.SEOOverrides(meta_title="Other")
    payload = native.build_seo_payload_with_overrides(entity, "/x", config, overrides)
    assert isinstance(payload, native.SEOPayload)
    assert payload.title == "Other"
    assert payload == native.build_seo_payload(entity, "/x", config, overrides)
    as_dict = native.build_seo_payload_dict(entity, "/x", config, overrides)
    assert type(as_dict) is dict
    assert as_dict == payload.to_dict()
    assert list(as_dict) == [
        "canonical",
        "description",
        "og",
        "robots",
        "schema_jsonld",
        "title",
        "twitter",
    ]


def test_build_seo_contract_returns_a_contract() -> None:
    contract = native.build_seo_contract(native.SEOContractConfig("h"))
    assert isinstance(contract, native.SEOContract)
    assert contract.site == {"canonical_host": "h", "scheme": "https"}


def test_validate_payload_reports_findings_in_rule_order() -> None:
    def broken(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload.update(title="Untitled", description="", canonical="example.com/x")
        del payload["og"]["image"]

    payload = build(config=make_config(hooks=Hooks(broken)))
    issues = native.validate_payload(payload)
    assert [issue.rule_id for issue in issues] == ["ZELKO101", "ZELKO103", "ZELKO105", "ZELKO108"]
    assert all(isinstance(issue, native.SEOIssue) for issue in issues)
    assert [issue.url for issue in issues] == ["example.com/x"] * 4


def test_validate_payload_returns_a_new_list_each_call() -> None:
    payload = build()
    first = native.validate_payload(payload)
    assert first == []
    first.append("junk")
    assert native.validate_payload(payload) == []
    assert native.validate_payload(payload) is not native.validate_payload(payload)


@pytest.mark.parametrize(
    ("path", "policy", "expected"),
    [
        ("blog//Post/", native.URLPolicy(), "/blog/Post"),
        ("  /Blog/Post  ", native.URLPolicy(lowercase_paths=True), "/blog/post"),
        ("/blog/post", native.URLPolicy(trailing_slash="always"), "/blog/post/"),
        ("/blog/post/", native.URLPolicy(trailing_slash="preserve"), "/blog/post/"),
        ("//a", native.URLPolicy(collapse_duplicate_slashes=False), "//a"),
    ],
)
def test_normalize_path_fn(path: str, policy: native.URLPolicy, expected: str) -> None:
    assert native.normalize_path_fn(path, policy) == expected


def test_normalize_public_url_fn_resolves_on_the_canonical_host() -> None:
    config = native.SEOConfig("www.example.com", "https://example.com/base")
    assert (
        native.normalize_public_url_fn("/a/?utm_source=x", config)
        == "https://www.example.com/base/a"
    )


def test_clean_url_fn_returns_three_keys_in_order() -> None:
    result = native.clean_url_fn("https://a.example/p?b=2&utm_source=x&a=1&fbclid=z")
    assert list(result) == ["url", "removed_params", "cleaned_params"]
    assert result["url"] == "https://a.example/p?b=2&a=1"
    assert list(result["removed_params"].items()) == [("fbclid", "z"), ("utm_source", "x")]
    assert list(result["cleaned_params"].items()) == [("a", "1"), ("b", "2")]


def test_clean_url_fn_without_query_has_empty_maps() -> None:
    assert native.clean_url_fn("https://a.example/p") == {
        "url": "https://a.example/p",
        "removed_params": {},
        "cleaned_params": {},
    }


@pytest.mark.parametrize(
    ("query", "expected"),
    [("utm_source=x&a=1", "a=1"), ("", ""), ("a=1&&b", "a=1&&b"), ("gclid=1", "")],
)
def test_clean_query_fn(query: str, expected: str) -> None:
    assert native.clean_query_fn(query) == expected


# --- Failure mapping ------------------------------------------------------------


def config_with_relative_base() -> native.SEOConfig:
    return native.SEOConfig("example.com", "not a url")


FAILURES = [
    pytest.param(
        lambda: build(config=config_with_relative_base()),
        native.ConfigurationError,
        None,
        "public_base_url",
        id="relative-base-url",
    ),
    pytest.param(
        lambda: build(overrides=native.SEOOverrides(canonical_url="/relative")),
        native.InvalidUrlError,
        None,
        "canonical_url",
        id="relative-canonical-override",
    ),
    pytest.param(
        lambda: native.build_seo_payload_dict(make_post(), "/x", config_with_relative_base()),
        native.ConfigurationError,
        None,
        "public_base_url",
        id="dict-relative-base-url",
    ),
    pytest.param(
        lambda: native.build_seo_payload_with_overrides(
            make_post(), "/x", make_config(), native.SEOOverrides(canonical_url="nope")
        ),
        native.InvalidUrlError,
        None,
        "canonical_url",
        id="with-overrides-relative-canonical",
    ),
    pytest.param(
        lambda: native.normalize_path_fn("/x", native.URLPolicy(trailing_slash="Never")),
        ValueError,
        "invalid trailing_slash: Never",
        "trailing_slash",
        id="trailing-slash-case",
    ),
    pytest.param(
        lambda: native.normalize_public_url_fn("", make_config()),
        ValueError,
        "invalid URL: ",
        None,
        id="empty-url",
    ),
    pytest.param(
        lambda: native.normalize_public_url_fn("/x", config_with_relative_base()),
        ValueError,
        "invalid configuration: ",
        "public_base_url",
        id="relative-base-url-display",
    ),
    pytest.param(
        lambda: native.SEOConfig("example.com/x", "https://example.com"),
        native.ConfigurationError,
        None,
        "canonical_host",
        id="host-with-path",
    ),
    pytest.param(
        lambda: native.SEOConfig("example.com", "https://example.com", title_template="x"),
        native.ConfigurationError,
        None,
        "title_template",
        id="template-without-placeholder",
    ),
    pytest.param(
        lambda: native.SEOConfig(
            "example.com", "https://example.com", url_policy=native.URLPolicy(trailing_slash="x")
        ),
        ValueError,
        "invalid trailing_slash: x",
        "trailing_slash",
        id="config-trailing-slash",
    ),
    pytest.param(
        lambda: native.SEOEntity("blog"),
        native.EntityError,
        None,
        "entity_type",
        id="entity-type",
    ),
    # A host that is no domain name passes the configuration checks and is
    # refused when a URL is made with it: the same field from both entry points.
    pytest.param(
        lambda: native.normalize_public_url_fn(
            "/x", native.SEOConfig("xn--.example", "https://example.com")
        ),
        ValueError,
        "invalid configuration: invalid canonical_host",
        "canonical_host",
        id="broken-host-display",
    ),
    pytest.param(
        lambda: native.build_seo_payload(
            native.SEOEntity("page"), "/x", native.SEOConfig("xn--.example", "https://example.com")
        ),
        native.ConfigurationError,
        None,
        "canonical_host",
        id="broken-host-build",
    ),
]


@pytest.mark.parametrize(("call", "error", "prefix", "field"), FAILURES)
def test_engine_failures_raise_exactly_their_class(
    call: Callable[[], Any], error: type[Exception], prefix: str | None, field: str | None
) -> None:
    with pytest.raises(Exception) as caught:
        call()
    assert type(caught.value) is error
    # The field at fault is data; the message and args stay as they were.
    assert getattr(caught.value, "field", None) == field
    assert caught.value.args == (str(caught.value),)
    message = str(caught.value)
    if prefix is None:
        # Mapped classes carry the bare engine message, never a kind prefix.
        assert not message.startswith(("invalid URL: ", "invalid configuration: "))
        assert message
    else:
        assert message.startswith(prefix)


def test_engine_errors_without_a_field_read_none() -> None:
    assert native.ZelkoError.field is None
    assert native.ZelkoError("raised by a hook").field is None
    assert native.SchemaError("x").field is None


def test_display_text_errors_are_not_zelko_errors() -> None:
    with pytest.raises(ValueError) as caught:
        native.normalize_public_url_fn("   ", make_config())
    assert not isinstance(caught.value, native.ZelkoError)
    assert not isinstance(caught.value, native.InvalidUrlError)


def test_trailing_slash_message_is_exact() -> None:
    with pytest.raises(ValueError) as caught:
        native.normalize_path_fn("/x", native.URLPolicy(trailing_slash="Never"))
    assert str(caught.value) == "invalid trailing_slash: Never"


def test_failed_calls_leave_their_arguments_usable() -> None:
    config = config_with_relative_base()
    entity = make_post()
    with pytest.raises(native.ConfigurationError):
        native.build_seo_payload(entity, "/x", config)
    config.hooks = None  # the borrow ended with the call
    assert entity.to_dict()["title"] == "Hello"
