"""JSON conversions visible through the input classes.

Python -> JSON goes through json.dumps and the engine's reader
(SEOOverrides(schema_jsonld=...)); JSON -> Python through the to_dict
methods that read a record's JSON text back.
"""

from __future__ import annotations

import json
import math

import pytest

import _zelko_native as native


def nested_lists(depth: int) -> list:
    value: list = []
    for _ in range(depth - 1):
        value = [value]
    return value


# --- Python -> JSON (the text route) ------------------------------------------


@pytest.mark.parametrize(
    "value",
    [
        pytest.param({"set": {1, 2}}, id="set"),
        pytest.param(object(), id="object"),
        pytest.param({("a", "b"): 1}, id="tuple key"),
        pytest.param([b"bytes"], id="bytes"),
    ],
)
def test_json_dumps_errors_propagate_unchanged(value) -> None:
    with pytest.raises(TypeError) as expected:
        json.dumps(value)
    with pytest.raises(TypeError) as caught:
        native.SEOOverrides(schema_jsonld=value)
    assert type(caught.value) is type(expected.value)
    assert caught.value.args == expected.value.args


def test_json_dumps_exception_of_a_custom_object_propagates() -> None:
    class Failing(dict):
        def items(self):  # json.dumps of a dict subclass calls items()
            raise LookupError("boom")

    with pytest.raises(LookupError, match="boom"):
        native.SEOOverrides(schema_jsonld=Failing(a=1))


@pytest.mark.parametrize(
    "value",
    [
        pytest.param(math.nan, id="nan"),
        pytest.param(math.inf, id="infinity"),
        pytest.param({"a": [1, -math.inf]}, id="nested infinity"),
        pytest.param(nested_lists(129), id="beyond the reader depth"),
        pytest.param("\ud800", id="lone surrogate escape"),
    ],
)
def test_text_the_reader_refuses_drops_the_override_with_a_warning(value) -> None:
    # The override becomes JSON null rather than failing the constructor, and
    # the page then has no JSON-LD at all, which must not go unnoticed.
    with pytest.warns(
        RuntimeWarning, match="^schema_jsonld override dropped: it is not valid JSON"
    ):
        overrides = native.SEOOverrides(schema_jsonld=value)
    config = native.SEOConfig("example.com", "https://example.com")
    payload = native.build_seo_payload(native.SEOEntity("post", title="T"), "/", config, overrides)
    assert "schema_jsonld" not in payload


@pytest.mark.parametrize(
    "value",
    [
        pytest.param({"@type": "Article", "name": "x"}, id="object"),
        pytest.param([{"@type": "Article"}, {"@type": "BreadcrumbList"}], id="array"),
        pytest.param("text", id="string"),
        pytest.param(2**64 - 1, id="largest unsigned"),
        pytest.param(2**64, id="beyond unsigned 64 bits"),
        pytest.param(-(2**63), id="smallest signed"),
        pytest.param(nested_lists(128), id="reader depth limit"),
        pytest.param({1: "b", None: "c"}, id="non-str keys"),
        pytest.param(("a", "b"), id="tuple"),
    ],
)
def test_json_serializable_overrides_are_accepted(value) -> None:
    native.SEOOverrides(schema_jsonld=value)


def test_none_schema_is_absent() -> None:
    # None is "not given": the generated JSON-LD stays, unlike a JSON null.
    config = native.SEOConfig("example.com", "https://example.com")
    entity = native.SEOEntity("post", title="T")
    given_none = native.SEOOverrides(schema_jsonld=None)
    assert given_none.schema_jsonld is None
    payload = native.build_seo_payload(entity, "/", config, given_none)
    assert payload.schema_jsonld == native.build_seo_payload(entity, "/", config).schema_jsonld
    assert payload.schema_jsonld is not None


# --- JSON -> Python (the value and object conversions) ------------------------


@pytest.mark.parametrize(
    "text",
    ["plain", "", "é ü 漢字 🎉", 'quote " backslash \\ slash /', "control \x01\n\t\x7f"],
    ids=["ascii", "empty", "non-ascii", "escapes", "controls"],
)
def test_strings_round_trip_through_the_json_text(text: str) -> None:
    entity = native.SEOEntity("post", title=text, same_as=[text])
    result = entity.to_dict()
    assert result["title"] == text
    assert result["same_as"] == [text]


@pytest.mark.parametrize("value", [0, 1, 2**32 - 1])
def test_unsigned_numbers_come_back_as_int(value: int) -> None:
    image = native.SEOImage("u", width=value)
    result = native.SEOEntity("post", featured_image=image).to_dict()["featured_image"]["width"]
    assert result == value
    assert type(result) is int


@pytest.mark.parametrize("value", [-1, -(2**31), 2**31 - 1])
def test_signed_numbers_come_back_as_int(value: int) -> None:
    settings = native.SEOConfig("h", "https://h", default_robots=native.Robots(max_snippet=value))
    result = settings.to_dict()["default_robots"]["max_snippet"]
    assert result == value
    assert type(result) is int


def test_booleans_and_null_come_back_as_python_singletons() -> None:
    result = native.SEOConfig("h", "https://h").to_dict()
    assert result["auto_generate_schema"] is True
    assert result["emit_warnings"] is False
    assert result["title_template"] is None


def test_object_keys_come_back_sorted_at_every_level() -> None:
    settings = native.SEOConfig(
        "h",
        "https://h",
        schema_type_map=[("b", "2"), ("a", "1"), ("B", "3")],
        default_og_image=native.SEOImage("u", width=1, height=2, alt="x"),
    )
    result = settings.to_dict()
    assert list(result["schema_type_map"]) == ["B", "a", "b"]
    assert list(result["default_og_image"]) == ["alt", "height", "url", "width"]
    assert list(result["url_policy"]) == sorted(result["url_policy"])


def test_keys_sort_by_utf8_bytes() -> None:
    # "é" (U+00E9, bytes C3 A9) sorts after "z"; a prefix sorts first.
    settings = native.SEOConfig(
        "h", "https://h", schema_type_map=[("é", "1"), ("z", "2"), ("zz", "3")]
    )
    assert list(settings.to_dict()["schema_type_map"]) == ["z", "zz", "é"]
