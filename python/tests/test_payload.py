"""SEOPayload: the read-only mapping protocol, equality, properties and output."""

from __future__ import annotations

import hashlib
import json
import operator
from collections.abc import Callable
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import Hooks, build, make_config, make_post, nested_object, with_schema

NESTING_MESSAGE = "JSON structure too deeply nested (max 128 levels)"
KEYS_WITHOUT_SCHEMA = ["canonical", "description", "og", "robots", "title", "twitter"]
KEYS_WITH_SCHEMA = ["canonical", "description", "og", "robots", "schema_jsonld", "title", "twitter"]


@pytest.fixture
def payload() -> native.SEOPayload:
    return build()


@pytest.fixture
def bare_payload() -> native.SEOPayload:
    return build(config=make_config(auto_generate_schema=False))


# --- Mapping protocol ---------------------------------------------------------


def test_keys_of_a_payload_with_schema_come_sorted(payload: native.SEOPayload) -> None:
    assert payload.keys() == KEYS_WITH_SCHEMA
    assert list(payload) == KEYS_WITH_SCHEMA
    assert len(payload) == 7


def test_keys_of_a_payload_without_schema(bare_payload: native.SEOPayload) -> None:
    assert bare_payload.keys() == KEYS_WITHOUT_SCHEMA
    assert len(bare_payload) == 6
    assert "schema_jsonld" not in bare_payload


def test_indexing_reads_the_dictionary_view(payload: native.SEOPayload) -> None:
    view = payload.to_dict()
    for key in payload:
        assert payload[key] == view[key]
    assert payload["title"] == "Hello"
    assert payload["canonical"] == "https://example.com/blog/hello"


def test_nested_groups_are_plain_dicts_with_sorted_keys(payload: native.SEOPayload) -> None:
    og = payload["og"]
    twitter = payload["twitter"]
    assert type(og) is dict and type(twitter) is dict
    assert list(og) == sorted(og)
    assert list(twitter) == sorted(twitter)
    assert og["type"] == "article"
    assert twitter["card"] == "summary_large_image"


def test_every_access_builds_new_objects(payload: native.SEOPayload) -> None:
    first = payload.to_dict()
    first["title"] = "changed"
    first["og"]["type"] = "changed"
    assert payload["title"] == "Hello"
    assert payload["og"]["type"] == "article"
    assert payload["og"] is not payload["og"]
    assert payload.keys() is not payload.keys()
    assert payload.to_dict() is not payload.to_dict()


def test_missing_key_raises_key_error_carrying_the_key(payload: native.SEOPayload) -> None:
    with pytest.raises(KeyError) as caught:
        payload["Title"]
    assert caught.value.args == ("Title",)


@pytest.mark.parametrize(
    ("call", "expected"),
    [
        (lambda p: p.get("nope"), None),
        (lambda p: p.get("nope", 0), 0),
        (lambda p: p.get("nope", default="fallback"), "fallback"),
        (lambda p: p.get(key="title"), "Hello"),
        (lambda p: p.get("robots", 0), "index,follow"),
    ],
)
def test_get_returns_the_value_or_the_default(
    payload: native.SEOPayload, call: Callable[[Any], Any], expected: Any
) -> None:
    assert call(payload) == expected


def test_contains_is_exact_and_case_sensitive(payload: native.SEOPayload) -> None:
    assert "title" in payload
    assert "Title" not in payload
    assert "" not in payload


@pytest.mark.parametrize("key", [5, None, b"title", ("title",)])
@pytest.mark.parametrize(
    "operation",
    [
        pytest.param(lambda p, k: p[k], id="getitem"),
        pytest.param(lambda p, k: p.get(k), id="get"),
        pytest.param(lambda p, k: k in p, id="contains"),
    ],
)
def test_non_str_keys_are_refused_naming_key(
    payload: native.SEOPayload, operation: Callable[[Any, Any], Any], key: Any
) -> None:
    with pytest.raises(TypeError, match="'key'"):
        operation(payload, key)


def test_a_str_subclass_key_is_looked_up_by_its_text(payload: native.SEOPayload) -> None:
    class Loud(str):
        def __hash__(self) -> int:
            return 0

        def __eq__(self, other: object) -> bool:
            return False

    assert payload[Loud("title")] == "Hello"
    assert Loud("title") in payload


def test_lone_surrogate_key_raises_the_encoding_error(payload: native.SEOPayload) -> None:
    with pytest.raises(UnicodeEncodeError):
        payload["\udc80"]


@pytest.mark.parametrize("missing", ["values", "items", "__setitem__", "__delitem__", "__dict__"])
def test_the_mapping_is_read_only(payload: native.SEOPayload, missing: str) -> None:
    assert not hasattr(payload, missing)


def test_assigning_an_item_or_attribute_fails(payload: native.SEOPayload) -> None:
    with pytest.raises(TypeError):
        payload["title"] = "x"  # type: ignore[index]
    with pytest.raises(AttributeError):
        payload.title = "x"  # type: ignore[misc]
    with pytest.raises(AttributeError):
        payload.custom = 1  # type: ignore[attr-defined]


def test_the_class_has_no_constructor() -> None:
    with pytest.raises(TypeError):
        native.SEOPayload()


def test_class_docstring_states_the_dict_compatibility() -> None:
    doc = native.SEOPayload.__doc__
    assert doc is not None
    first, _, rest = doc.partition("\n\n")
    assert first == "The resolved, deterministic SEO payload."
    for word in ("dict-compatible", "get", "len", "iteration", "equality"):
        assert word in rest


# --- Equality -----------------------------------------------------------------


def test_payload_equals_its_own_view_both_ways(payload: native.SEOPayload) -> None:
    assert payload == payload.to_dict()
    assert payload.to_dict() == payload
    assert not (payload != payload.to_dict())


def test_payload_equals_the_dict_built_from_the_same_inputs() -> None:
    entity, config = make_post(), make_config()
    as_dict = native.build_seo_payload_dict(entity, "/blog/hello", config)
    assert build(entity, config=config) == as_dict


def test_payloads_from_the_same_inputs_are_equal_but_distinct() -> None:
    first, second = build(), build()
    assert first is not second
    assert first == second
    assert not (first != second)


def test_payloads_differing_in_one_field_are_unequal() -> None:
    assert build() != build(route="/blog/other")
    assert build() != build(overrides=native.SEOOverrides(og_title="Other"))


def test_view_comparison_ignores_key_order(payload: native.SEOPayload) -> None:
    reordered = dict(reversed(list(payload.to_dict().items())))
    assert payload == reordered


def test_dict_subclasses_compare_through_the_view(payload: native.SEOPayload) -> None:
    class Mapping(dict):  # type: ignore[type-arg]
        pass

    assert payload == Mapping(payload.to_dict())


def test_dict_without_schema_is_unequal_to_a_payload_with_schema(
    payload: native.SEOPayload,
) -> None:
    view = payload.to_dict()
    del view["schema_jsonld"]
    assert payload != view


def test_dict_holding_an_og_object_instead_of_a_dict_is_unequal(
    payload: native.SEOPayload,
) -> None:
    view = payload.to_dict()
    view["og"] = payload.og
    assert payload != view


@pytest.mark.parametrize("other", ["x", None, 1, [], ("title",), object()], ids=repr)
def test_anything_but_a_payload_or_dict_is_unequal(payload: native.SEOPayload, other: Any) -> None:
    assert (payload == other) is False
    assert (payload != other) is True


def test_og_payload_is_not_equal_to_the_payload(payload: native.SEOPayload) -> None:
    assert (payload == payload.og) is False


def test_dict_comparison_follows_python_number_rules() -> None:
    payload = with_schema({"count": 1})
    view = payload.to_dict()
    view["schema_jsonld"]["count"] = 1.0
    assert payload == view


def test_payload_comparison_tells_integers_from_doubles() -> None:
    assert with_schema({"count": 1}) == with_schema({"count": 1})
    assert with_schema({"count": 1}) != with_schema({"count": 1.0})


def test_payload_survives_a_hook_round_trip_unchanged() -> None:
    plain = build()
    round_tripped = build(config=make_config(hooks=Hooks(lambda payload, entity, config: None)))
    assert round_tripped == plain
    assert round_tripped.hash() == plain.hash()


@pytest.mark.parametrize("compare", [operator.lt, operator.le, operator.gt, operator.ge])
def test_ordering_is_not_supported(
    payload: native.SEOPayload, compare: Callable[[Any, Any], Any]
) -> None:
    with pytest.raises(TypeError):
        compare(payload, payload)


def test_payloads_are_unhashable(payload: native.SEOPayload) -> None:
    assert native.SEOPayload.__hash__ is None
    with pytest.raises(TypeError):
        hash(payload)
    with pytest.raises(TypeError):
        {payload}


# --- Properties ---------------------------------------------------------------


def test_text_properties(payload: native.SEOPayload) -> None:
    assert payload.title == "Hello"
    assert payload.description == "A short post about bindings."
    assert payload.canonical == "https://example.com/blog/hello"
    assert payload.robots == "index,follow"


def test_og_and_twitter_properties_are_new_objects(payload: native.SEOPayload) -> None:
    assert isinstance(payload.og, native.OGPayload)
    assert isinstance(payload.twitter, native.TwitterPayload)
    assert payload.og is not payload.og
    assert payload.twitter is not payload.twitter
    assert payload.og.type == payload["og"]["type"]
    assert payload.twitter.card == payload["twitter"]["card"]


def test_schema_property(payload: native.SEOPayload, bare_payload: native.SEOPayload) -> None:
    schema = payload.schema_jsonld
    assert isinstance(schema, dict)
    assert schema["@type"] == "Article"
    assert schema == payload["schema_jsonld"]
    assert payload.schema_jsonld is not schema
    assert bare_payload.schema_jsonld is None


def test_schema_keys_come_back_sorted() -> None:
    payload = with_schema({"b": 1, "a": 2, "@type": "Thing"})
    assert list(payload.schema_jsonld) == ["@type", "a", "b"]


def test_schema_array_comes_back_as_a_list() -> None:
    payload = build(make_post(breadcrumbs=[native.Breadcrumb("Home", "/")]))
    schema = payload.schema_jsonld
    assert isinstance(schema, list)
    assert [node["@type"] for node in schema] == ["Article", "BreadcrumbList"]


@pytest.mark.parametrize(
    ("number", "expected_type"),
    [
        (2**63, float),
        (2**64 - 1, float),
        (2**63 - 1, int),
        (0, int),
        (-1, int),
        (-(2**63), int),
        (1.5, float),
    ],
)
def test_schema_numbers_convert_by_range(number: Any, expected_type: type) -> None:
    payload = with_schema({"n": number})
    value = payload.schema_jsonld["n"]
    assert type(value) is expected_type
    assert value == (float(number) if expected_type is float else number)
    assert type(payload["schema_jsonld"]["n"]) is expected_type


# --- Nesting limit ------------------------------------------------------------


# With breadcrumbs the override becomes the first element of an array, one
# level below the top: an override of 128 objects puts its innermost member at
# depth 129, one of 127 objects stays within the limit.
def deep_payload(levels: int) -> native.SEOPayload:
    return with_schema(nested_object(levels), breadcrumbs=[native.Breadcrumb("Home", "/")])


VIEW_OPERATIONS = [
    pytest.param(lambda p: p.to_dict(), id="to_dict"),
    pytest.param(lambda p: p["title"], id="getitem"),
    pytest.param(lambda p: p.get("title"), id="get"),
    pytest.param(lambda p: "title" in p, id="contains"),
    pytest.param(len, id="len"),
    pytest.param(lambda p: list(p), id="iter"),
    pytest.param(lambda p: p.keys(), id="keys"),
    pytest.param(lambda p: p == {}, id="eq-dict"),
    pytest.param(lambda p: p.schema_jsonld, id="schema_jsonld"),
]


@pytest.mark.parametrize("operation", VIEW_OPERATIONS)
def test_depth_129_fails_every_view_operation(operation: Callable[[Any], Any]) -> None:
    payload = deep_payload(128)
    with pytest.raises(ValueError) as caught:
        operation(payload)
    assert str(caught.value) == NESTING_MESSAGE


@pytest.mark.parametrize("operation", VIEW_OPERATIONS)
def test_one_level_shallower_converts(operation: Callable[[Any], Any]) -> None:
    operation(deep_payload(127))


def test_depth_129_leaves_text_hash_and_rendering_working() -> None:
    payload = deep_payload(128)
    assert json.loads(payload.to_json())["title"] == "Hello"
    assert len(payload.hash()) == 64
    assert payload.etag() == f'"{payload.hash()}"'
    assert "application/ld+json" in payload.render_html()
    assert payload.render_jsonld().startswith("<script")
    assert payload == deep_payload(128)


def test_depth_129_fails_the_dict_function() -> None:
    entity = make_post(breadcrumbs=[native.Breadcrumb("Home", "/")])
    overrides = native.SEOOverrides(schema_jsonld=nested_object(128))
    with pytest.raises(ValueError, match=r"^JSON structure too deeply nested"):
        native.build_seo_payload_dict(entity, "/x", make_config(), overrides)


# --- Text, hash and rendering -------------------------------------------------


def test_to_json_keeps_declared_field_order(payload: native.SEOPayload) -> None:
    text = payload.to_json()
    document = json.loads(text)
    assert list(document) == [
        "title",
        "description",
        "canonical",
        "robots",
        "og",
        "twitter",
        "schema_jsonld",
    ]
    assert next(iter(document["og"])) == "type"
    assert text.startswith('{\n  "title": "Hello",\n')
    assert not text.endswith("\n")


def compact_text(payload: native.SEOPayload) -> bytes:
    document = json.loads(payload.to_json())
    return json.dumps(document, separators=(",", ":"), ensure_ascii=False).encode()


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(build, id="plain"),
        pytest.param(lambda: with_schema({"name": "é\t</script>", "n": [1, 2]}), id="escapes"),
        pytest.param(lambda: build(config=make_config(auto_generate_schema=False)), id="no-schema"),
    ],
)
def test_hash_is_sha256_of_the_compact_text(make: Callable[[], native.SEOPayload]) -> None:
    payload = make()
    assert payload.hash() == hashlib.sha256(compact_text(payload)).hexdigest()
    assert payload.etag() == '"' + payload.hash() + '"'


def test_hash_changes_with_content() -> None:
    assert build().hash() != build(route="/blog/other").hash()
    assert with_schema({"n": 1}).hash() != with_schema({"n": 1.0}).hash()


def test_render_html_joins_the_partial_snippets(payload: native.SEOPayload) -> None:
    html = payload.render_html()
    assert html.startswith("<title>Hello</title>\n")
    assert html.endswith("\n")
    for part in (payload.render_opengraph(), payload.render_twitter(), payload.render_jsonld()):
        assert part and part in html
    assert payload.render_opengraph().startswith('<meta property="og:type" content="article">')
    assert payload.render_twitter().startswith('<meta name="twitter:card"')


def test_render_jsonld_is_empty_without_schema(bare_payload: native.SEOPayload) -> None:
    assert bare_payload.render_jsonld() == ""
    assert "ld+json" not in bare_payload.render_html()


@pytest.mark.parametrize(
    "method",
    [
        "to_json",
        "hash",
        "etag",
        "render_html",
        "render_opengraph",
        "render_twitter",
        "render_jsonld",
        "keys",
        "to_dict",
    ],
)
def test_methods_take_no_arguments(payload: native.SEOPayload, method: str) -> None:
    with pytest.raises(TypeError):
        getattr(payload, method)(1)


# --- Extra fields -------------------------------------------------------------


def test_extra_fields_from_a_hook_join_the_view_in_key_order() -> None:
    def add_fields(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["custom"] = {"z": 1, "a": [True, None]}
        payload["zeta"] = "last"

    payload = build(config=make_config(hooks=Hooks(add_fields)))
    assert payload.keys() == [
        "canonical",
        "custom",
        "description",
        "og",
        "robots",
        "schema_jsonld",
        "title",
        "twitter",
        "zeta",
    ]
    assert len(payload) == 9
    assert payload["custom"] == {"a": [True, None], "z": 1}
    assert list(json.loads(payload.to_json()))[-2:] == ["custom", "zeta"]
