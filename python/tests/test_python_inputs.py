"""load_config, entity_from_mapping, overrides_from_mapping, etag_matches and
the package's names."""

from __future__ import annotations

import datetime
import decimal
from pathlib import Path
from typing import Any
from urllib.parse import unquote

import pytest
from hypothesis import given
from hypothesis import strategies as st

import _zelko_native
import zelko
from zelko._files import load_site
from zelko._web import request_target

REPO = Path(__file__).resolve().parents[2]
SITE_FILE = REPO / "examples" / "site" / "zelko.toml"
HOST = {"canonical_host": "example.com", "public_base_url": "https://example.com"}
PLUS_TWO = datetime.timezone(datetime.timedelta(hours=2))


def test_package_names_are_the_native_ones_plus_the_python_side() -> None:
    native_names = list(_zelko_native.__all__)
    assert zelko.__all__[: len(native_names) + 1] == [*native_names, "HookRegistry"]
    assert [
        name for name in native_names if getattr(zelko, name) is not getattr(_zelko_native, name)
    ] == ["SchemaRegistry"]
    assert all(hasattr(zelko, name) for name in zelko.__all__)


# --- load_config ----------------------------------------------------------------


def test_a_site_file_loads_as_the_command_line_reads_it() -> None:
    assert zelko.load_config(SITE_FILE).to_dict() == load_site(SITE_FILE).config.to_dict()
    assert zelko.load_config(str(SITE_FILE)).to_dict() == load_site(SITE_FILE).config.to_dict()


@pytest.mark.parametrize(
    "config",
    [
        zelko.SEOConfig("example.com", "https://example.com"),
        zelko.load_config(SITE_FILE),
        zelko.SEOConfig(
            "example.com",
            "https://example.com",
            url_policy=zelko.URLPolicy(
                trailing_slash="preserve", allowed_query_params=["page"], lowercase_paths=True
            ),
            default_robots=zelko.Robots(index=False, max_snippet=-1, max_image_preview="large"),
            search_robots=zelko.Robots(follow=False),
            schema_type_map=[("post", "BlogPosting")],
            auto_generate_schema=False,
            emit_warnings=True,
        ),
    ],
    ids=["defaults", "example-site", "every-nested-kind"],
)
def test_to_dict_round_trips(config: zelko.SEOConfig) -> None:
    assert zelko.load_config(config.to_dict()).to_dict() == config.to_dict()


def test_python_values_in_a_mapping() -> None:
    image = zelko.SEOImage("https://example.com/og.png", width=1200, height=630)
    from_python = zelko.load_config(
        {
            **HOST,
            "url_policy": zelko.URLPolicy(trailing_slash="always", allowed_query_params=("page",)),
            "default_robots": zelko.Robots(index=False),
            "default_og_image": image,
            "locale_alternate": ("de_DE",),
            "schema_type_map": [("post", "BlogPosting")],
        }
    )
    from_file_forms = zelko.load_config(
        {
            **HOST,
            "url_policy": {"trailing_slash": "always", "allowed_query_params": ["page"]},
            "default_robots": {"index": False},
            "default_og_image": ("https://example.com/og.png", 1200, 630),
            "locale_alternate": ["de_DE"],
            "schema_type_map": {"post": "BlogPosting"},
        }
    )
    assert from_python.to_dict() == from_file_forms.to_dict()
    assert from_python.to_dict()["default_og_image"] == image.to_dict()


CONFIG_ERRORS = [  # (given, field, start of the message)
    ({**HOST, "sitename": "x"}, "sitename", "unknown field; did you mean 'site_name'? (expected"),
    ({**HOST, "url_policy": {"trailing_slash": "x"}}, "url_policy.trailing_slash", "invalid"),
    ({**HOST, "emit_warnings": "yes"}, "emit_warnings", "expected a boolean, got a string"),
    ({**HOST, "default_og_image": ("u", 1.5)}, "default_og_image.width", "expected an integer"),
    ({"public_base_url": "https://example.com"}, "canonical_host", "required field is missing"),
    ({**HOST, 3: "x"}, "", "keys must be strings, got int"),
    (42, "", "expected a file path or a mapping, got int"),
]


@pytest.mark.parametrize(("source", "field", "message"), CONFIG_ERRORS)
def test_config_errors_name_source_and_field(source: Any, field: str, message: str) -> None:
    with pytest.raises(zelko.InputError) as caught:
        zelko.load_config(source, name="settings.ZELKO")
    error = caught.value
    assert isinstance(error, ValueError)
    assert (error.source, error.field) == ("settings.ZELKO", field)
    assert error.message.startswith(message)
    assert str(error) == ": ".join(filter(None, ("settings.ZELKO", field, error.message)))


def test_a_missing_file_is_named(tmp_path: Path) -> None:
    with pytest.raises(zelko.InputError, match="cannot read") as caught:
        zelko.load_config(tmp_path / "nope.toml")
    assert caught.value.source == str(tmp_path / "nope.toml")


# --- Entities and overrides -------------------------------------------------------

CRUMB = {"name": "Home", "url": "/"}
IMAGE = "https://example.com/a.png"
ENTITY_VALUES = [  # (field, Python value, what to_dict() holds)
    ("published_at", datetime.date(2024, 5, 1), "2024-05-01"),
    ("updated_at", datetime.datetime(2024, 5, 1, 8, 30), "2024-05-01T08:30:00"),
    (
        "updated_at",
        datetime.datetime(2024, 5, 1, 8, 0, 15, tzinfo=PLUS_TWO),
        "2024-05-01T08:00:15+02:00",
    ),
    (
        "updated_at",
        datetime.datetime(2024, 5, 1, tzinfo=datetime.timezone.utc),
        "2024-05-01T00:00:00+00:00",
    ),
    ("price", decimal.Decimal("14.50"), "14.50"),
    ("price", decimal.Decimal("1E+2"), "100"),
    ("price", decimal.Decimal("-1E-7"), "-0.0000001"),
    ("price", 12, "12"),
    ("breadcrumbs", [("Home", "/"), CRUMB, zelko.Breadcrumb("Home", "/")], [CRUMB] * 3),
    ("faq_items", (("Q", "A"), zelko.FAQItem("Q", "A")), [{"answer": "A", "question": "Q"}] * 2),
    ("featured_image", (IMAGE, 8, 6, "A"), {"url": IMAGE, "width": 8, "height": 6, "alt": "A"}),
    ("featured_image", zelko.SEOImage(IMAGE, width=8), {"url": IMAGE, "width": 8}),
    ("same_as", ("https://a.example",), ["https://a.example"]),
]


@pytest.mark.parametrize(("field", "value", "expected"), ENTITY_VALUES)
def test_entity_from_python_values(field: str, value: Any, expected: Any) -> None:
    entity = zelko.entity_from_mapping({"entity_type": "product", field: value})
    assert entity.to_dict() == {"entity_type": "Product", field: expected}


ENTITY_ERRORS = [  # (given, field, start of the message)
    ({"price": 14.5}, "price", "a float is not exact"),
    ({"price": decimal.Decimal("NaN")}, "price", "not a finite number"),
    ({"price": True}, "price", "expected a string, got a boolean"),
    ({"title": datetime.date(2024, 1, 1)}, "title", "expected a string, got a date or time"),
    ({"title": object()}, "title", "expected a string, got an instance of object"),
    ({"breadcrumbs": [("Home", "/", "x")]}, "breadcrumbs[0]", "expected a tuple of up to 2"),
    ({"breadcrumbs": [("Home", "/"), ("Blog",)]}, "breadcrumbs[1].url", "required field"),
    ({"breadcrumbs": [zelko.SEOImage("u")]}, "breadcrumbs[0]", "expected a table, got an instance"),
    ({"publshed_at": "2024"}, "publshed_at", "unknown field; did you mean 'published_at'?"),
    ({"entity_type": "blog"}, "entity_type", ""),
    # Dates that are not dates would reach datePublished and fail the sitemap.
    *(
        ({field: text}, field, "not a")
        for field in ("published_at", "updated_at")
        for text in (
            "2024-13-45",
            "yesterday",
            "2024-02-30",
            "2024-05-01T25:00",
            "2024-05-01 08:00",
            "2024-05-01T08:00+24:00",
            "",
        )
    ),
]

ACCEPTED_DATES = [
    "2024-05-01",
    "2024-05-01T08:30",
    "2024-05-01T08:30:15.25Z",
    "2024-05-01T08:30:00-05:00",
]


@pytest.mark.parametrize("text", ACCEPTED_DATES)
def test_iso_dates_are_taken_as_given(text: str) -> None:
    entity = zelko.entity_from_mapping({"entity_type": "post", "published_at": text})
    assert entity.published_at == text


@pytest.mark.parametrize(("given", "field", "message"), ENTITY_ERRORS)
def test_entity_errors_name_the_field(given: dict[str, Any], field: str, message: str) -> None:
    with pytest.raises(zelko.InputError) as caught:
        zelko.entity_from_mapping({"entity_type": "post", **given})
    assert (caught.value.source, caught.value.field) == ("entity", field)
    assert caught.value.message.startswith(message)


def test_overrides_from_python_values_act_like_the_constructed_ones() -> None:
    entity = zelko.SEOEntity("post", title="Hello")
    config = zelko.SEOConfig("example.com", "https://example.com")
    image = zelko.SEOImage("https://example.com/x.png", width=10)
    built = zelko.SEOOverrides(robots=zelko.Robots(index=False), og_image=image, meta_title="T")
    for mapping in (
        {"robots": zelko.Robots(index=False), "og_image": image, "meta_title": "T"},
        {
            "robots": {"index": False},
            "og_image": ("https://example.com/x.png", 10),
            "meta_title": "T",
        },
    ):
        overrides = zelko.overrides_from_mapping(mapping)
        assert zelko.build_seo_payload(entity, "/a", config, overrides) == zelko.build_seo_payload(
            entity, "/a", config, built
        )
    with pytest.raises(zelko.InputError) as caught:
        zelko.overrides_from_mapping({"robots": {"index": 0}})
    assert (caught.value.source, caught.value.field) == ("overrides", "robots.index")


# --- Conditional requests -------------------------------------------------------

TAG = '"abc"'


IF_NONE_MATCH = [  # (header, etag, matches)
    *((header, TAG, True) for header in ('"abc"', 'W/"abc"', "*", " * ", '"x", "abc"')),
    *((header, TAG, True) for header in ('"x",W/"abc" ,"y"', 'junk, "abc"')),
    *((header, TAG, False) for header in (None, "", '"x", "y"', '"ABC"', "abc", '"abc"x', "**")),
    ('w/"abc"', TAG, False),  # the weak prefix is case-sensitive
    ('"abc"', 'W/"abc"', True),
    ('"abc"', "abc", True),  # a bare hash() is quoted first
    ('"a,b"', '"a,b"', True),  # a comma inside the quotes belongs to the tag
    ('"a,b"', '"a"', False),
    ('"a', '"a"', False),
]


@pytest.mark.parametrize(("header", "etag", "matches"), IF_NONE_MATCH)
def test_if_none_match(header: str | None, etag: str, matches: bool) -> None:
    assert zelko.etag_matches(header, etag) is matches


def test_payload_etag_matches_itself_and_nothing_else() -> None:
    config = zelko.SEOConfig("example.com", "https://example.com")
    first = zelko.build_seo_payload(zelko.SEOEntity("page", title="A"), "/a", config)
    second = zelko.build_seo_payload(zelko.SEOEntity("page", title="B"), "/a", config)
    assert zelko.etag_matches(first.etag(), first.etag())
    assert zelko.etag_matches(f"W/{first.etag()}", first.hash())
    assert not zelko.etag_matches(second.etag(), first.etag())
    assert first.__html__() == first.render_html()


# --- The request target the integrations build for --------------------------------

URL_CHARACTERS = frozenset(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-._~:/?#[]@!$&'()*+,;=%"
)


@given(path=st.text(), query=st.binary())
def test_request_target_is_a_url_and_keeps_the_path(path: str, query: bytes) -> None:
    target = request_target(path, query)
    assert set(target) <= URL_CHARACTERS - {"#", "[", "]"}
    assert '"' not in target and " " not in target
    assert unquote(target.partition("?")[0], errors="surrogatepass") == path
