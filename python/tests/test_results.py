"""The result, contract and registry classes."""

from __future__ import annotations

import errno
import hashlib
import json
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import Hooks, build, make_config, make_post

OG_DECLARED = [
    "type",
    "title",
    "description",
    "url",
    "image",
    "image_width",
    "image_height",
    "image_alt",
    "site_name",
    "locale",
    "locale_alternate",
    "audio",
    "video",
]
TWITTER_DECLARED = ["card", "title", "description", "image", "image_alt", "site", "creator"]


def rich_payload() -> native.SEOPayload:
    """Every Open Graph and Twitter field present."""
    config = make_config(
        default_og_image=native.SEOImage(
            "https://example.com/og.png", width=1200, height=630, alt="A card"
        ),
        site_name="Example",
        locale="en_US",
        locale_alternate=["de_DE", "fr_FR"],
        twitter_site="@example",
    )
    overrides = native.SEOOverrides(
        og_audio="https://example.com/a.mp3",
        og_video="https://example.com/v.mp4",
        twitter_creator="@author",
    )
    return build(config=config, overrides=overrides)


# --- OGPayload and TwitterPayload --------------------------------------------


def test_og_to_dict_has_every_field_in_declared_order() -> None:
    og = rich_payload().og.to_dict()
    assert list(og) == OG_DECLARED
    assert og["image_width"] == 1200 and og["image_height"] == 630
    assert og["locale_alternate"] == ["de_DE", "fr_FR"]


def test_og_without_image_leaves_the_image_keys_out() -> None:
    config = native.SEOConfig("example.com", "https://example.com")
    og = build(config=config).og.to_dict()
    assert next(iter(og)) == "type"
    assert not {"image", "image_width", "image_height", "image_alt"} & set(og)
    assert list(og) == [key for key in OG_DECLARED if key in og]


def test_twitter_to_dict_has_every_field_in_declared_order() -> None:
    twitter = rich_payload().twitter.to_dict()
    assert list(twitter) == TWITTER_DECLARED
    assert twitter["site"] == "@example"
    assert twitter["creator"] == "@author"


def test_twitter_to_dict_starts_with_card_and_skips_absent_fields() -> None:
    twitter = build().twitter.to_dict()
    assert list(twitter) == ["card", "title", "description", "image"]


@pytest.mark.parametrize("field", OG_DECLARED)
def test_og_properties_match_to_dict(field: str) -> None:
    og = rich_payload().og
    assert getattr(og, field) == og.to_dict()[field]


@pytest.mark.parametrize("field", TWITTER_DECLARED)
def test_twitter_properties_match_to_dict(field: str) -> None:
    twitter = rich_payload().twitter
    assert getattr(twitter, field) == twitter.to_dict()[field]


def test_absent_og_properties_read_none() -> None:
    og = build().og
    assert og.image_width is None
    assert og.locale_alternate is None
    assert og.audio is None


def test_og_list_property_is_a_new_list_each_time() -> None:
    og = rich_payload().og
    first = og.locale_alternate
    assert first is not None
    first.append("xx")
    assert og.locale_alternate == ["de_DE", "fr_FR"]


def test_og_copy_outlives_its_payload() -> None:
    og = rich_payload().og
    assert og.to_dict()["title"] == "Hello"


@pytest.mark.parametrize(
    "cls",
    [native.OGPayload, native.TwitterPayload, native.SEOIssue, native.SEOContract],
    ids=lambda cls: cls.__name__,
)
def test_result_classes_have_no_constructor(cls: type) -> None:
    with pytest.raises(TypeError):
        cls()


# --- SEOIssue -----------------------------------------------------------------


def long_title_issue() -> native.SEOIssue:
    payload = build(overrides=native.SEOOverrides(meta_title="x" * 61))
    [issue] = native.validate_payload(payload)
    return issue


def test_issue_fields() -> None:
    issue = long_title_issue()
    assert issue.rule_id == "ZELKO102"
    assert issue.severity == "warning"
    assert issue.message == "Title is 61 characters (recommended max 60)"
    assert issue.url == "https://example.com/blog/hello"
    assert issue.details == {"length": 61}


def test_issue_details_are_a_new_dict_on_every_read() -> None:
    issue = long_title_issue()
    details = issue.details
    details["length"] = 0
    assert issue.details == {"length": 61}
    assert issue.details is not issue.details


def test_issue_without_details_reads_an_empty_dict() -> None:
    config = native.SEOConfig("example.com", "https://example.com")
    [issue] = native.validate_payload(build(config=config))
    assert issue.rule_id == "ZELKO108"
    assert issue.details == {}


def test_issue_url_reads_the_canonical_even_when_not_absolute() -> None:
    def relative(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["canonical"] = ""

    payload = build(config=make_config(hooks=Hooks(relative)))
    issues = native.validate_payload(payload)
    assert [issue.rule_id for issue in issues] == ["ZELKO105"]
    assert issues[0].url == ""


# --- SEOExpectation -------------------------------------------------------------


def expectation_json(expectation: native.SEOExpectation) -> str:
    """The expectation's compact JSON form, read from a contract."""
    contract = native.build_seo_contract(native.SEOContractConfig("h", defaults=expectation))
    return json.dumps(json.loads(contract.to_json())["defaults"], separators=(",", ":"))


@pytest.mark.parametrize(
    ("kwargs", "expected"),
    [
        ({}, "{}"),
        ({"og_required": True}, '{"open_graph":{"required":true}}'),
        (
            {"twitter_required": False, "hreflang_required": True},
            '{"twitter":{"required":false},"hreflang":{"required":true}}',
        ),
        (
            {"schema_required": True, "schema_types": ["Article", "FAQPage"]},
            '{"schema":{"required":true,"types":["Article","FAQPage"]}}',
        ),
        ({"schema_types": ("Article",)}, '{"schema":{"types":["Article"]}}'),
        (
            {"schema_valid": True, "schema_rich_results": ["Product"]},
            '{"schema":{"valid":true,"rich_results":["Product"]}}',
        ),
        ({"required": False}, '{"required":false}'),
        ({"one_of": []}, '{"one_of":[]}'),
        ({"one_of": ("b", "a", "b")}, '{"one_of":["b","a","b"]}'),
        ({"max_length": 2**64 - 1}, '{"max_length":18446744073709551615}'),
        ({"matches": "^[a-z]+$", "canonical": "self"}, '{"matches":"^[a-z]+$","canonical":"self"}'),
        ({"title": native.SEOExpectation(max_length=60)}, '{"title":{"max_length":60}}'),
        (
            {
                "description": native.SEOExpectation(required=True),
                "sitemap_required": True,
                "title": native.SEOExpectation(title=native.SEOExpectation(forbidden=True)),
            },
            '{"sitemap":{"required":true},"title":{"title":{"forbidden":true}},'
            '"description":{"required":true}}',
        ),
        (
            {"head_required": ["icon"], "description": native.SEOExpectation(required=True)},
            '{"description":{"required":true},"head":{"required":["icon"]}}',
        ),
        ({"head_required": []}, '{"head":{"required":[]}}'),
    ],
)
def test_expectation_fields_reach_the_contract(kwargs: dict[str, Any], expected: str) -> None:
    assert expectation_json(native.SEOExpectation(**kwargs)) == expected


def test_expectation_properties() -> None:
    expectation = native.SEOExpectation(required=True, indexable=False, canonical="self")
    assert expectation.required is True
    assert expectation.indexable is False
    assert expectation.canonical == "self"
    empty = native.SEOExpectation()
    assert (empty.required, empty.indexable, empty.canonical) == (None, None, None)


def test_nested_expectation_is_copied() -> None:
    inner = native.SEOExpectation(max_length=60)
    outer = native.SEOExpectation(title=inner)
    del inner
    assert expectation_json(outer) == '{"title":{"max_length":60}}'


@pytest.mark.parametrize(
    ("kwargs", "error", "name"),
    [
        ({"required": 1}, TypeError, "required"),
        ({"indexable": "yes"}, TypeError, "indexable"),
        ({"equals": 5}, TypeError, "equals"),
        ({"one_of": "abc"}, TypeError, "one_of"),
        ({"one_of": ["a", 1]}, TypeError, "one_of"),
        ({"schema_types": {"Article"}}, TypeError, "schema_types"),
        ({"min_length": -1}, OverflowError, "min_length"),
        ({"max_items": 2**64}, OverflowError, "max_items"),
        ({"min_items": 1.5}, TypeError, "min_items"),
        ({"og_required": 0}, TypeError, "og_required"),
        ({"title": {"max_length": 60}}, TypeError, "title"),
        (
            {"description": native.SEOContractRule("/", native.SEOExpectation())},
            TypeError,
            "description",
        ),
    ],
)
def test_expectation_refuses_wrong_arguments_naming_them(
    kwargs: dict[str, Any], error: type[Exception], name: str
) -> None:
    with pytest.raises(error, match=f"'{name}'"):
        native.SEOExpectation(**kwargs)


def test_expectation_parameters_are_keyword_only() -> None:
    with pytest.raises(TypeError):
        native.SEOExpectation(True)  # type: ignore[misc]


def test_expectation_accepts_an_index_object_as_count() -> None:
    class Count:
        def __index__(self) -> int:
            return 7

    assert expectation_json(native.SEOExpectation(min_items=Count())) == '{"min_items":7}'  # type: ignore[arg-type]


# --- SEOContractRule and SEOContractConfig -----------------------------------


def test_rule_properties() -> None:
    expect = native.SEOExpectation(indexable=True)
    rule = native.SEOContractRule("/blog/*", expect, severity="ERROR")
    assert rule.match == "/blog/*"
    assert rule.severity == "ERROR"
    assert isinstance(rule.expect, native.SEOExpectation)
    assert rule.expect is not expect
    assert rule.expect is not rule.expect
    assert rule.expect.indexable is True
    assert native.SEOContractRule("x", expect).severity is None


@pytest.mark.parametrize(
    ("severity", "written"),
    [
        ("warning", "Warning"),
        ("info", "Info"),
        ("error", "Error"),
        ("ERROR", "Error"),
        ("Warning", "Error"),
        ("warn", "Error"),
        ("", "Error"),
        (None, None),
    ],
)
def test_rule_severity_enters_the_contract_by_exact_text(
    severity: str | None, written: str | None
) -> None:
    rule = native.SEOContractRule("/blog/*", native.SEOExpectation(), severity=severity)
    contract = native.build_seo_contract(native.SEOContractConfig("h", rules=[rule]))
    [written_rule] = contract.to_dict()["rules"]
    assert written_rule.get("severity") == written
    assert rule.severity == severity


@pytest.mark.parametrize(
    ("args", "kwargs", "error", "name"),
    [
        ((1, native.SEOExpectation()), {}, TypeError, "match"),
        (("/", {}), {}, TypeError, "expect"),
        (("/", native.SEOExpectation()), {"severity": 2}, TypeError, "severity"),
    ],
)
def test_rule_refuses_wrong_arguments(
    args: tuple[Any, ...], kwargs: dict[str, Any], error: type[Exception], name: str
) -> None:
    with pytest.raises(error, match=f"'{name}'"):
        native.SEOContractRule(*args, **kwargs)


@pytest.mark.parametrize(
    ("kwargs", "name"),
    [
        ({"canonical_host": None}, "canonical_host"),
        ({"canonical_host": "h", "scheme": None}, "scheme"),
        (
            {
                "canonical_host": "h",
                "defaults": native.SEOContractRule("/", native.SEOExpectation()),
            },
            "defaults",
        ),
        (
            {"canonical_host": "h", "rules": native.SEOContractRule("/", native.SEOExpectation())},
            "rules",
        ),
        ({"canonical_host": "h", "rules": [native.SEOExpectation()]}, "rules"),
        ({"canonical_host": "h", "exceptions": [["/a", native.SEOExpectation()]]}, "exceptions"),
        ({"canonical_host": "h", "exceptions": [("/a",)]}, "exceptions"),
        ({"canonical_host": "h", "exceptions": [("/a", native.SEOExpectation(), 1)]}, "exceptions"),
        ({"canonical_host": "h", "exceptions": [(1, native.SEOExpectation())]}, "exceptions"),
        ({"canonical_host": "h", "exceptions": [("/a", {})]}, "exceptions"),
        ({"canonical_host": "h", "exceptions": {"/a": native.SEOExpectation()}}, "exceptions"),
    ],
)
def test_contract_config_refuses_wrong_arguments(kwargs: dict[str, Any], name: str) -> None:
    with pytest.raises(TypeError, match=f"'{name}'"):
        native.SEOContractConfig(**kwargs)


# --- SEOContract ----------------------------------------------------------------

EXAMPLE_CONTRACT = """{
  "contract_version": "1",
  "generator": {
    "name": "zelko",
    "version": "0.2.0"
  },
  "site": {
    "canonical_host": "site-host",
    "scheme": "https"
  },
  "defaults": {},
  "rules": [
    {
      "match": "/blog/*",
      "expect": {
        "indexable": true,
        "title": {
          "max_length": 60
        }
      },
      "severity": "Warning"
    }
  ],
  "exceptions": {}
}"""


def example_contract() -> native.SEOContract:
    expect = native.SEOExpectation(indexable=True, title=native.SEOExpectation(max_length=60))
    rule = native.SEOContractRule("/blog/*", expect, severity="warning")
    return native.build_seo_contract(native.SEOContractConfig("site-host", rules=[rule]))


def test_contract_to_json_is_the_exact_pretty_text() -> None:
    assert example_contract().to_json() == EXAMPLE_CONTRACT


def test_contract_to_dict_has_sorted_keys_at_every_level() -> None:
    document = example_contract().to_dict()
    assert list(document) == [
        "contract_version",
        "defaults",
        "exceptions",
        "generator",
        "rules",
        "site",
    ]
    assert list(document["rules"][0]) == ["expect", "match", "severity"]
    assert list(document["rules"][0]["expect"]) == ["indexable", "title"]
    assert document == json.loads(EXAMPLE_CONTRACT)


def test_contract_properties() -> None:
    contract = example_contract()
    assert contract.contract_version == "1"
    assert contract.site == {"canonical_host": "site-host", "scheme": "https"}
    assert list(contract.site) == ["canonical_host", "scheme"]
    assert contract.site is not contract.site


def test_minimal_contract() -> None:
    contract = native.build_seo_contract(native.SEOContractConfig("h", scheme="HTTP"))
    document = json.loads(contract.to_json())
    assert document["defaults"] == {} and document["rules"] == [] and document["exceptions"] == {}
    assert contract.site == {"canonical_host": "h", "scheme": "HTTP"}


def test_contract_exceptions_sorted_by_route_and_last_duplicate_wins() -> None:
    pairs = [
        ("/b", native.SEOExpectation(required=True)),
        ("/a", native.SEOExpectation(required=True)),
        ("/B", native.SEOExpectation(required=True)),
        ("/a", native.SEOExpectation(forbidden=True)),
    ]
    contract = native.build_seo_contract(native.SEOContractConfig("h", exceptions=pairs))
    exceptions = json.loads(contract.to_json())["exceptions"]
    assert list(exceptions) == ["/B", "/a", "/b"]
    assert exceptions["/a"] == {"forbidden": True}


def test_contract_rules_keep_their_order() -> None:
    rules = [native.SEOContractRule(m, native.SEOExpectation()) for m in ("/z", "/a", "nowild")]
    contract = native.build_seo_contract(native.SEOContractConfig("h", rules=rules))
    assert [rule["match"] for rule in contract.to_dict()["rules"]] == ["/z", "/a", "nowild"]


def test_contract_hash_is_sha256_of_to_json() -> None:
    contract = example_contract()
    assert contract.hash() == hashlib.sha256(contract.to_json().encode()).hexdigest()
    bigger = native.build_seo_contract(
        native.SEOContractConfig(
            "site-host", rules=[native.SEOContractRule("/x", native.SEOExpectation())]
        )
    )
    assert bigger.hash() != contract.hash()


def test_contract_write_puts_exactly_the_text_in_the_file(tmp_path: Path) -> None:
    contract = example_contract()
    target = tmp_path / "contract.json"
    target.write_text("old content that is longer than nothing" * 100)
    assert contract.write(str(target)) is None
    data = target.read_bytes()
    assert data == EXAMPLE_CONTRACT.encode()
    assert hashlib.sha256(data).hexdigest() == contract.hash()
    contract.write(path=str(target))
    assert target.read_bytes() == data


def test_contract_write_to_a_missing_directory_raises_os_error(tmp_path: Path) -> None:
    target = tmp_path / "missing" / "contract.json"
    with pytest.raises(OSError) as caught:
        example_contract().write(str(target))
    assert type(caught.value) is OSError
    assert str(caught.value).startswith("serialization error: failed to write contract: ")
    # The errno is data beside the unchanged text; strerror stays unset.
    assert (caught.value.errno, caught.value.strerror) == (errno.ENOENT, None)
    assert caught.value.args == (str(caught.value),)
    assert not target.parent.exists()


@pytest.mark.parametrize("path", [1, None, b"/tmp/x"])
def test_contract_write_refuses_non_str_paths(path: Any) -> None:
    with pytest.raises(TypeError, match="'path'"):
        example_contract().write(path)


def test_contract_is_independent_of_its_configuration_object() -> None:
    config = native.SEOContractConfig(
        "h", rules=[native.SEOContractRule("/a", native.SEOExpectation())]
    )
    contract = native.build_seo_contract(config)
    del config
    assert contract.to_dict()["rules"][0]["match"] == "/a"


def title_chain(levels: int) -> native.SEOExpectation:
    expectation = native.SEOExpectation(required=True)
    for _ in range(levels):
        expectation = native.SEOExpectation(title=expectation)
    return expectation


def test_contract_nested_beyond_the_reader_limit_fails_only_to_dict() -> None:
    contract = native.build_seo_contract(native.SEOContractConfig("h", defaults=title_chain(130)))
    assert contract.to_json().count('"title"') == 130
    assert len(contract.hash()) == 64
    with pytest.raises(ValueError) as caught:
        contract.to_dict()
    assert type(caught.value) is ValueError
    assert str(caught.value).startswith("serialization error: recursion limit exceeded")


def test_contract_nested_within_the_limit_converts() -> None:
    contract = native.build_seo_contract(native.SEOContractConfig("h", defaults=title_chain(120)))
    node = contract.to_dict()["defaults"]
    for _ in range(120):
        node = node["title"]
    assert node == {"required": True}


# --- SchemaRegistry -------------------------------------------------------------


@pytest.mark.parametrize("name", ["Article", "", "Product", "article"])
def test_new_registry_has_nothing(name: str) -> None:
    registry = native.SchemaRegistry()
    assert registry.has(name) is False
    assert registry.has(schema_type=name) is False


def test_new_registry_lists_no_types_in_a_new_list() -> None:
    registry = native.SchemaRegistry()
    first = registry.list_types()
    assert first == []
    first.append("x")
    assert registry.list_types() == []


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda r: r.has(1), id="has-int"),
        pytest.param(lambda r: r.has(), id="has-missing"),
        pytest.param(lambda r: r.has("a", "b"), id="has-extra"),
        pytest.param(lambda r: r.list_types(1), id="list-extra"),
        pytest.param(lambda r: native.SchemaRegistry(1), id="new-positional"),
        pytest.param(lambda r: native.SchemaRegistry(x=1), id="new-keyword"),
    ],
)
def test_registry_refuses_wrong_arguments(call: Callable[[Any], Any]) -> None:
    with pytest.raises(TypeError):
        call(native.SchemaRegistry())


def test_registry_docstring_points_to_the_python_registry() -> None:
    doc = native.SchemaRegistry.__doc__ or ""
    assert doc.startswith("A native introspection handle for the engine's schema registry.")
    assert "zelko.registry.SchemaRegistry" in doc
    assert "has" in doc and "list_types" in doc


# --- Rules common to the classes --------------------------------------------------


def instances() -> list[Any]:
    payload = rich_payload()
    return [
        payload.og,
        payload.twitter,
        long_title_issue(),
        native.SEOExpectation(),
        native.SEOContractRule("/", native.SEOExpectation()),
        native.SEOContractConfig("h"),
        example_contract(),
        native.SchemaRegistry(),
    ]


@pytest.mark.parametrize("index", range(8))
def test_instances_take_no_new_attributes(index: int) -> None:
    instance = instances()[index]
    with pytest.raises(AttributeError):
        instance.extra = 1


@pytest.mark.parametrize(
    ("make", "name"),
    [
        (lambda: rich_payload().og, "title"),
        (lambda: rich_payload().twitter, "card"),
        (long_title_issue, "details"),
        (lambda: native.SEOExpectation(), "required"),
        (lambda: native.SEOContractRule("/", native.SEOExpectation()), "match"),
        (example_contract, "site"),
    ],
)
def test_properties_are_read_only(make: Callable[[], Any], name: str) -> None:
    with pytest.raises(AttributeError):
        setattr(make(), name, None)


@pytest.mark.parametrize("index", range(8))
def test_instances_use_identity_equality_and_hash(index: int) -> None:
    first, second = instances()[index], instances()[index]
    assert first == first and first != second
    assert hash(first) == hash(first)


@pytest.mark.parametrize(
    ("cls", "signature", "description"),
    [
        (
            native.SEOExpectation,
            "(*, required=None, forbidden=None, equals=None, not_equals=None, contains=None, "
            "matches=None, one_of=None, min_length=None, max_length=None, min_items=None, "
            "max_items=None, indexable=None, canonical=None, schema_required=None, "
            "schema_types=None, schema_valid=None, schema_rich_results=None, og_required=None, "
            "twitter_required=None, sitemap_required=None, hreflang_required=None, title=None, "
            "description=None, head_required=None)",
            "What a page's SEO metadata must satisfy; unset fields are not checked.",
        ),
        (
            native.SEOContractRule,
            "(match, expect, *, severity=None)",
            "An expectation applied to the routes matching a pattern.",
        ),
        (
            native.SEOContractConfig,
            "(canonical_host, *, scheme='https', defaults=None, rules=None, exceptions=None)",
            "The input of build_seo_contract: site, default expectation, rules and per-route "
            "exceptions.",
        ),
        (native.SchemaRegistry, "()", None),
    ],
)
def test_constructor_docstrings_carry_the_signature(
    cls: type, signature: str, description: str | None
) -> None:
    assert cls.__text_signature__ == signature  # type: ignore[attr-defined]
    if description is not None:
        assert cls.__doc__ == description


@pytest.mark.parametrize(
    "cls",
    [native.OGPayload, native.TwitterPayload, native.SEOIssue, native.SEOContract],
    ids=lambda cls: cls.__name__,
)
def test_classes_without_constructor_have_no_signature(cls: type) -> None:
    assert cls.__text_signature__ is None  # type: ignore[attr-defined]
    assert cls.__doc__


def test_hooks_see_copies_not_the_results() -> None:
    seen: list[Any] = []
    payload = build(config=make_config(hooks=Hooks(lambda p, e, c: seen.append(p))))
    seen[0]["og"]["type"] = "changed"
    assert payload.og.type == "article"
    assert make_post().to_dict()["title"] == "Hello"
