"""The input value classes: argument conversion, properties, to_dict."""

from __future__ import annotations

import gc
import inspect
import sys
from collections.abc import Callable
from typing import Any

import pytest

import _zelko_native as native

HOST = "example.com"
BASE = "https://example.com"


class Index:
    """An integer-like object: only __index__."""

    def __init__(self, value: int) -> None:
        self.value = value

    def __index__(self) -> int:
        return self.value


def config(**kwargs: Any) -> native.SEOConfig:
    return native.SEOConfig(HOST, BASE, **kwargs)


# --- Argument kinds: refusals -------------------------------------------------

# (label, call, exception, text the message must contain)
REFUSALS: list[tuple[str, Callable[[], Any], type[BaseException], str]] = [
    # text
    ("text int", lambda: native.SEOImage(5), TypeError, "'url'"),
    ("text bytes", lambda: native.Breadcrumb(b"a", "/a"), TypeError, "'name'"),
    ("text None", lambda: native.FAQItem("q", None), TypeError, "'answer'"),
    ("optional text int", lambda: native.SEOAuthor("n", url=1), TypeError, "'url'"),
    ("entity text", lambda: native.SEOEntity(1), TypeError, "'entity_type'"),
    ("entity optional text", lambda: native.SEOEntity("post", title=[]), TypeError, "'title'"),
    ("policy text", lambda: native.URLPolicy(trailing_slash=None), TypeError, "'trailing_slash'"),
    ("config host", lambda: native.SEOConfig(None, BASE), TypeError, "'canonical_host'"),
    ("overrides text", lambda: native.SEOOverrides(meta_title=3), TypeError, "'meta_title'"),
    # flag
    ("flag int 1", lambda: native.Robots(index=1), TypeError, "'index'"),
    ("flag int 0", lambda: native.Robots(follow=0), TypeError, "'follow'"),
    ("flag None", lambda: native.Robots(index=None), TypeError, "'index'"),
    ("flag str", lambda: native.URLPolicy(enforce_https="true"), TypeError, "'enforce_https'"),
    ("config flag", lambda: config(emit_warnings=1), TypeError, "'emit_warnings'"),
    ("overrides flag", lambda: native.SEOOverrides(omit_schema=1.0), TypeError, "'omit_schema'"),
    # 32-bit signed
    ("int32 above", lambda: native.Robots(max_snippet=2**31), OverflowError, "'max_snippet'"),
    (
        "int32 below",
        lambda: native.Robots(max_video_preview=-(2**31) - 1),
        OverflowError,
        "'max_video_preview'",
    ),
    ("int32 huge", lambda: native.Robots(max_snippet=2**100), OverflowError, "'max_snippet'"),
    ("int32 float", lambda: native.Robots(max_snippet=1.0), TypeError, "'max_snippet'"),
    ("int32 str", lambda: native.Robots(max_snippet="5"), TypeError, "'max_snippet'"),
    # 32-bit unsigned
    ("uint32 negative", lambda: native.SEOImage("u", width=-1), OverflowError, "'width'"),
    ("uint32 above", lambda: native.SEOImage("u", height=2**32), OverflowError, "'height'"),
    ("uint32 float", lambda: native.SEOImage("u", width=1.5), TypeError, "'width'"),
    (
        "uint32 index negative",
        lambda: native.SEOImage("u", width=Index(-1)),
        OverflowError,
        "'width'",
    ),
    # text list
    (
        "list str",
        lambda: native.URLPolicy(allowed_query_params="ref"),
        TypeError,
        "'allowed_query_params'",
    ),
    (
        "list dict",
        lambda: native.URLPolicy(extra_tracking_params={"a": 1}),
        TypeError,
        "'extra_tracking_params'",
    ),
    (
        "list set",
        lambda: native.URLPolicy(allowed_query_params={"a"}),
        TypeError,
        "'allowed_query_params'",
    ),
    (
        "list generator",
        lambda: native.URLPolicy(allowed_query_params=(s for s in ["a"])),
        TypeError,
        "'allowed_query_params'",
    ),
    (
        "list item int",
        lambda: native.URLPolicy(allowed_query_params=["a", 1]),
        TypeError,
        "'allowed_query_params'",
    ),
    ("list item None", lambda: native.SEOEntity("post", same_as=[None]), TypeError, "'same_as'"),
    ("list bytes", lambda: config(locale_alternate=b"en"), TypeError, "'locale_alternate'"),
    # instance list
    (
        "instances str",
        lambda: native.SEOEntity("post", breadcrumbs="a"),
        TypeError,
        "'breadcrumbs'",
    ),
    (
        "instances tuple item",
        lambda: native.SEOEntity("post", breadcrumbs=[("a", "/a")]),
        TypeError,
        "'breadcrumbs'",
    ),
    (
        "instances wrong class",
        lambda: native.SEOEntity("post", faq_items=[native.Breadcrumb("a", "/a")]),
        TypeError,
        "'faq_items'",
    ),
    # pair list
    (
        "pairs of lists",
        lambda: config(schema_type_map=[["post", "Article"]]),
        TypeError,
        "'schema_type_map'",
    ),
    ("pair too short", lambda: config(schema_type_map=[("post",)]), TypeError, "'schema_type_map'"),
    (
        "pair too long",
        lambda: config(schema_type_map=[("post", "Article", "x")]),
        TypeError,
        "'schema_type_map'",
    ),
    (
        "pair value int",
        lambda: config(schema_type_map=[("post", 1)]),
        TypeError,
        "'schema_type_map'",
    ),
    (
        "pairs dict",
        lambda: config(schema_type_map={"post": "Article"}),
        TypeError,
        "'schema_type_map'",
    ),
    ("pairs str", lambda: config(schema_type_map="post"), TypeError, "'schema_type_map'"),
    # instance
    (
        "instance str",
        lambda: native.SEOEntity("post", featured_image="u"),
        TypeError,
        "'featured_image'",
    ),
    ("instance wrong class", lambda: config(url_policy=native.Robots()), TypeError, "'url_policy'"),
    ("instance robots", lambda: config(default_robots="index"), TypeError, "'default_robots'"),
    (
        "overrides instance",
        lambda: native.SEOOverrides(og_image=native.Robots()),
        TypeError,
        "'og_image'",
    ),
]


@pytest.mark.parametrize(
    ("call", "exception", "fragment"),
    [pytest.param(call, exc, fragment, id=label) for label, call, exc, fragment in REFUSALS],
)
def test_argument_conversion_refuses(call, exception, fragment) -> None:
    with pytest.raises(exception) as caught:
        call()
    assert type(caught.value) is exception
    assert fragment in str(caught.value)


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda: native.SEOImage("\ud800"), id="text"),
        pytest.param(lambda: native.SEOEntity("post", same_as=["\udfff"]), id="text list item"),
        pytest.param(lambda: config(schema_type_map=[("post", "\ud800")]), id="pair element"),
    ],
)
def test_lone_surrogates_raise_the_encoding_error(call) -> None:
    with pytest.raises(UnicodeEncodeError):
        call()


# --- Argument kinds: acceptances ----------------------------------------------


@pytest.mark.parametrize(
    ("value", "expected"),
    [(-(2**31), -(2**31)), (2**31 - 1, 2**31 - 1), (0, 0), (Index(7), 7), (True, 1)],
)
def test_int32_accepts_its_whole_range_and_index_objects(value, expected) -> None:
    robots = native.Robots(max_snippet=value, max_video_preview=value)
    assert robots.max_snippet == expected
    assert type(robots.max_snippet) is int
    assert robots.max_video_preview == expected


@pytest.mark.parametrize(("value", "expected"), [(0, 0), (2**32 - 1, 2**32 - 1), (Index(640), 640)])
def test_uint32_accepts_its_whole_range(value, expected) -> None:
    image = native.SEOImage("u", width=value, height=value)
    assert (image.width, image.height) == (expected, expected)


def test_flags_accept_the_numpy_boolean_scalar() -> None:
    numpy = pytest.importorskip("numpy")
    robots = native.Robots(index=numpy.bool_(False), follow=numpy.bool_(True))
    assert robots.index is False
    assert robots.follow is True


@pytest.mark.parametrize(
    "sequence",
    [("ref",), ["ref"]],
    ids=["tuple", "list"],
)
def test_text_lists_accept_any_sequence(sequence) -> None:
    policy = native.URLPolicy(allowed_query_params=sequence)
    assert policy.allowed_query_params == ["ref"]


def test_text_lists_keep_order_and_duplicates() -> None:
    entity = native.SEOEntity("organization", same_as=["b", "a", "b"])
    assert entity.to_dict()["same_as"] == ["b", "a", "b"]


def test_instance_lists_accept_tuples_of_instances() -> None:
    crumbs = (native.Breadcrumb("Home", "/"), native.Breadcrumb("Blog", "/blog"))
    entity = native.SEOEntity("post", breadcrumbs=crumbs)
    assert entity.to_dict()["breadcrumbs"] == [
        {"name": "Home", "url": "/"},
        {"name": "Blog", "url": "/blog"},
    ]


def test_none_and_omitted_are_the_same() -> None:
    explicit = native.SEOImage("u", width=None, height=None, alt=None)
    assert explicit.to_dict() == native.SEOImage("u").to_dict() == {"url": "u"}


def test_str_subclasses_are_text() -> None:
    class Name(str):
        pass

    assert native.Breadcrumb(Name("a"), "/a").name == "a"


# --- Argument binding ---------------------------------------------------------


@pytest.mark.parametrize(
    ("call", "message"),
    [
        (
            lambda: native.Breadcrumb("a"),
            "Breadcrumb() missing 1 required positional argument: 'url'",
        ),
        (
            lambda: native.Breadcrumb(),
            "Breadcrumb() missing 2 required positional arguments: 'name' and 'url'",
        ),
        (
            lambda: native.SEOConfig(),
            "SEOConfig() missing 2 required positional arguments: "
            "'canonical_host' and 'public_base_url'",
        ),
        (
            lambda: native.Breadcrumb("a", "b", "c"),
            "Breadcrumb() takes exactly 2 positional arguments (3 given)",
        ),
        (
            lambda: native.SEOImage("u", 3),
            "SEOImage() takes at most 1 positional argument (2 given)",
        ),
        (lambda: native.Robots(True), "Robots() takes no positional arguments"),
        (lambda: native.SEOOverrides("t"), "SEOOverrides() takes no positional arguments"),
        (
            lambda: native.Breadcrumb("a", "/a", name="b"),
            "Breadcrumb() got multiple values for argument 'name'",
        ),
        (
            lambda: native.SEOImage("u", size=3),
            "SEOImage() got an unexpected keyword argument 'size'",
        ),
        (
            lambda: native.SEOEntity("post", kind="x"),
            "SEOEntity() got an unexpected keyword argument 'kind'",
        ),
    ],
)
def test_binding_errors_use_the_interpreter_wording(call, message: str) -> None:
    with pytest.raises(TypeError) as caught:
        call()
    assert str(caught.value) == message


def test_positional_parameters_may_be_passed_by_keyword() -> None:
    crumb = native.Breadcrumb(url="/a", name="A")
    assert (crumb.name, crumb.url) == ("A", "/a")
    settings = native.SEOConfig(public_base_url=BASE, canonical_host=HOST)
    assert settings.to_dict()["canonical_host"] == HOST


def test_entity_type_is_parsed_before_other_arguments() -> None:
    with pytest.raises(native.EntityError):
        native.SEOEntity("Post", title=5)


# --- Properties ---------------------------------------------------------------


def test_image_properties() -> None:
    image = native.SEOImage("https://e.com/i.png", width=640, height=480, alt="An image")
    assert (image.url, image.width, image.height, image.alt) == (
        "https://e.com/i.png",
        640,
        480,
        "An image",
    )
    bare = native.SEOImage("u")
    assert (bare.width, bare.height, bare.alt) == (None, None, None)


def test_author_breadcrumb_and_faq_properties() -> None:
    author = native.SEOAuthor("Ada", url="https://ada.example")
    assert (author.name, author.url) == ("Ada", "https://ada.example")
    assert native.SEOAuthor("Ada").url is None
    crumb = native.Breadcrumb("Home", "/")
    assert (crumb.name, crumb.url) == ("Home", "/")
    item = native.FAQItem("Why?", "Because.")
    assert (item.question, item.answer) == ("Why?", "Because.")


def test_robots_defaults_and_properties() -> None:
    robots = native.Robots()
    assert (robots.index, robots.follow) == (True, True)
    assert (robots.max_snippet, robots.max_image_preview, robots.max_video_preview) == (
        None,
        None,
        None,
    )
    full = native.Robots(
        index=False, follow=False, max_snippet=-1, max_image_preview="", max_video_preview=0
    )
    assert (
        full.index,
        full.follow,
        full.max_snippet,
        full.max_image_preview,
        full.max_video_preview,
    ) == (
        False,
        False,
        -1,
        "",
        0,
    )


@pytest.mark.parametrize(
    ("kwargs", "expected"),
    [
        ({}, "index,follow"),
        ({"index": False, "follow": False}, "noindex,nofollow"),
        ({"max_snippet": -1}, "index,follow,max-snippet:-1"),
        (
            {"max_video_preview": 0, "max_snippet": 50},
            "index,follow,max-snippet:50,max-video-preview:0",
        ),
        ({"max_image_preview": "large", "follow": False}, "index,nofollow,max-image-preview:large"),
        (
            {
                "index": False,
                "follow": True,
                "max_snippet": 20,
                "max_image_preview": "standard",
                "max_video_preview": 30,
            },
            "noindex,follow,max-snippet:20,max-image-preview:standard,max-video-preview:30",
        ),
    ],
)
def test_robots_serialize(kwargs, expected: str) -> None:
    assert native.Robots(**kwargs).serialize() == expected


def test_policy_defaults() -> None:
    policy = native.URLPolicy()
    assert policy.enforce_https is True
    assert policy.lowercase_paths is False
    assert policy.trailing_slash == "never"
    assert policy.collapse_duplicate_slashes is True
    assert policy.strip_tracking_params is True
    assert policy.allowed_query_params == []
    assert policy.extra_tracking_params == []


def test_policy_keeps_trailing_slash_text_unchecked() -> None:
    assert native.URLPolicy(trailing_slash="Always").trailing_slash == "Always"
    assert native.URLPolicy(trailing_slash="").trailing_slash == ""


@pytest.mark.parametrize("text", ["Always", "NEVER", "", " never"])
def test_config_refuses_an_unknown_trailing_slash_as_value_error(text: str) -> None:
    with pytest.raises(ValueError) as caught:
        config(url_policy=native.URLPolicy(trailing_slash=text))
    assert type(caught.value) is ValueError
    assert str(caught.value) == f"invalid trailing_slash: {text}"


@pytest.mark.parametrize(
    ("text", "name"),
    [("always", "Always"), ("never", "Never"), ("preserve", "Preserve")],
)
def test_config_dict_writes_the_trailing_slash_enumerator_name(text: str, name: str) -> None:
    settings = config(url_policy=native.URLPolicy(trailing_slash=text))
    assert settings.to_dict()["url_policy"]["trailing_slash"] == name


def test_list_properties_return_new_lists() -> None:
    policy = native.URLPolicy(allowed_query_params=["page"], extra_tracking_params=["ref"])
    first = policy.allowed_query_params
    first.append("sort")
    assert policy.allowed_query_params == ["page"]
    assert policy.allowed_query_params is not policy.allowed_query_params
    assert policy.extra_tracking_params == ["ref"]


@pytest.mark.parametrize(
    ("text", "name"),
    [
        ("home", "Home"),
        ("post", "Post"),
        ("page", "Page"),
        ("video", "Video"),
        ("taxonomy", "Taxonomy"),
        ("search", "Search"),
        ("other", "Other"),
        ("product", "Product"),
        ("organization", "Organization"),
        ("local_business", "LocalBusiness"),
        ("faq", "Faq"),
    ],
)
def test_entity_type_text_and_enumerator_name(text: str, name: str) -> None:
    entity = native.SEOEntity(text)
    assert entity.entity_type == text
    assert entity.to_dict() == {"entity_type": name}


@pytest.mark.parametrize("text", ["Post", "LocalBusiness", "localbusiness", " post", ""])
def test_entity_type_parse_is_exact(text: str) -> None:
    with pytest.raises(native.EntityError) as caught:
        native.SEOEntity(text)
    assert str(caught.value).endswith(f", got '{text}'")


def test_entity_properties() -> None:
    entity = native.SEOEntity("post", title="Hello", excerpt="Short.")
    assert (entity.title, entity.excerpt) == ("Hello", "Short.")
    bare = native.SEOEntity("page")
    assert (bare.title, bare.excerpt) == (None, None)


# --- Every field readable, repr that rebuilds --------------------------------

# Each input class with every field given a value other than its default.
FULL: dict[str, dict[str, Any]] = {
    "SEOImage": {"url": "https://example.com/i.png?w=1", "width": 1200, "height": 630, "alt": "A"},
    "SEOAuthor": {"name": "Ada", "url": "https://example.com/ada"},
    "Breadcrumb": {"name": "Blog", "url": "/blog"},
    "FAQItem": {"question": "Why?", "answer": "Because."},
    "Robots": {
        "index": False,
        "follow": False,
        "max_snippet": 50,
        "max_image_preview": "large",
        "max_video_preview": -1,
    },
    "URLPolicy": {
        "enforce_https": False,
        "lowercase_paths": True,
        "trailing_slash": "Always",
        "collapse_duplicate_slashes": False,
        "strip_tracking_params": False,
        "allowed_query_params": ["page"],
        "extra_tracking_params": ["ref"],
    },
    "SEOEntity": {
        "entity_type": "local_business",
        "slug": "s",
        "title": "T",
        "excerpt": "E",
        "body_html": "<p>B</p>",
        "status": "draft",
        "featured_image": native.SEOImage("https://example.com/f.png", width=2),
        "published_at": "2024-05-01",
        "updated_at": "2024-05-02T10:00:00+02:00",
        "author_name": "Ada",
        "breadcrumbs": [native.Breadcrumb("Home", "/"), native.Breadcrumb("Shop", "/shop")],
        "sku": "K-1",
        "price": "9.90",
        "price_currency": "EUR",
        "availability": "InStock",
        "same_as": ["https://example.org/x"],
        "address": "1 Main St",
        "faq_items": [native.FAQItem("Q", "A")],
    },
    "SEOConfig": {
        "canonical_host": HOST,
        "public_base_url": BASE,
        "url_policy": native.URLPolicy(trailing_slash="always", allowed_query_params=("q",)),
        "default_robots": native.Robots(max_snippet=10),
        "default_og_image": native.SEOImage("https://example.com/og.png"),
        "site_name": "S",
        "title_template": "{title} | S",
        "search_robots": native.Robots(index=False, follow=False),
        "auto_generate_schema": False,
        "publisher_name": "P",
        "publisher_logo": "https://example.com/logo.png",
        "locale": "de_DE",
        "locale_alternate": ["en_US"],
        "twitter_site": "@s",
        "emit_warnings": True,
        "schema_type_map": [("post", "BlogPosting")],
        "search_url_template": "https://example.com/s?q={search_term_string}",
    },
    "SEOOverrides": {
        "meta_title": "M",
        "meta_description": "D",
        "canonical_url": "https://example.com/c",
        "canonical_path": "/c",
        "robots": native.Robots(index=False),
        "og_title": "OT",
        "og_description": "OD",
        "og_image": native.SEOImage("https://example.com/o.png"),
        "twitter_card": "summary",
        "twitter_title": "TT",
        "twitter_description": "TD",
        "twitter_image": native.SEOImage("https://example.com/t.png", alt="t"),
        "schema_jsonld": {"@type": "Thing", "n": [1, 2.5, None, True]},
        "omit_schema": True,
        "skip_title_template": True,
        "twitter_creator": "@c",
        "og_audio": "https://example.com/a.mp3",
        "og_video": "https://example.com/v.mp4",
    },
    "SEOExpectation": {
        "required": True,
        "forbidden": False,
        "equals": "e",
        "not_equals": "n",
        "contains": "c",
        "matches": "^m",
        "one_of": ["a", "b"],
        "min_length": 1,
        "max_length": 2**64 - 1,
        "min_items": 0,
        "max_items": 3,
        "indexable": False,
        "canonical": "self",
        "schema_required": False,
        "schema_types": ["Product"],
        "schema_valid": True,
        "schema_rich_results": ["Product", "FAQPage"],
        "og_required": True,
        "twitter_required": False,
        "sitemap_required": True,
        "hreflang_required": False,
        "title": native.SEOExpectation(max_length=60, title=native.SEOExpectation(forbidden=True)),
        "description": native.SEOExpectation(required=True),
        "head_required": ["icon", "og:image:count>=2"],
    },
    "SEOContractRule": {
        "match": "/blog/*",
        "expect": native.SEOExpectation(indexable=True),
        "severity": "Warning",  # kept as given
    },
    "SEOContractConfig": {
        "canonical_host": HOST,
        "scheme": "http",
        "defaults": native.SEOExpectation(schema_types=["WebPage"]),
        "rules": [native.SEOContractRule("/a", native.SEOExpectation(), severity="info")],
        "exceptions": [("/", native.SEOExpectation(required=False))],
    },
}


def plain(value: object) -> object:
    """A native object as its class name and its fields, recursively."""
    if isinstance(value, (list, tuple)):
        return [plain(item) for item in value]
    fields = native._input_fields(type(value)) if type(value).__name__ in FULL else None
    if fields is None:
        return value
    return (type(value).__name__, {key: plain(getattr(value, key)) for key, *_ in fields})


@pytest.mark.parametrize("name", sorted(FULL))
def test_every_field_reads_back_as_given(name: str) -> None:
    cls = getattr(native, name)
    assert [key for key, *_ in native._input_fields(cls)] == list(FULL[name])
    obj = cls(**FULL[name])
    for key, given in FULL[name].items():
        assert plain(getattr(obj, key)) == plain(given), key
    # What the properties return is what the constructor takes.
    assert plain(cls(**{key: getattr(obj, key) for key in FULL[name]})) == plain(obj)


@pytest.mark.parametrize("name", sorted(FULL))
def test_repr_shows_the_given_fields_and_rebuilds_the_object(name: str) -> None:
    cls = getattr(native, name)
    required = {key: FULL[name][key] for key, _, needed, *_ in native._input_fields(cls) if needed}
    for obj in (cls(**FULL[name]), cls(**required)):
        text = repr(obj)
        assert text.startswith(f"{name}(")
        assert plain(eval(text, vars(native))) == plain(obj)
    bare = repr(cls(**required))
    assert [key for key in FULL[name] if f"{key}=" in bare] == []


INSTANCES = [
    pytest.param(lambda: native.SEOImage("u"), "url", id="SEOImage"),
    pytest.param(lambda: native.SEOAuthor("n"), "name", id="SEOAuthor"),
    pytest.param(lambda: native.Breadcrumb("n", "/"), "name", id="Breadcrumb"),
    pytest.param(lambda: native.FAQItem("q", "a"), "question", id="FAQItem"),
    pytest.param(lambda: native.Robots(), "index", id="Robots"),
    pytest.param(lambda: native.URLPolicy(), "trailing_slash", id="URLPolicy"),
    pytest.param(lambda: native.SEOEntity("post"), "title", id="SEOEntity"),
    pytest.param(lambda: config(), None, id="SEOConfig"),
    pytest.param(lambda: native.SEOOverrides(), None, id="SEOOverrides"),
]


@pytest.mark.parametrize(("make", "prop"), INSTANCES)
def test_objects_have_no_instance_dict_and_read_only_properties(make, prop) -> None:
    obj = make()
    assert not hasattr(obj, "__dict__")
    with pytest.raises(AttributeError):
        obj.extra = 1
    if prop is not None:
        with pytest.raises(AttributeError):
            setattr(obj, prop, getattr(obj, prop))


@pytest.mark.parametrize(("make", "prop"), INSTANCES)
def test_objects_compare_by_identity_and_are_hashable(make, prop) -> None:
    first, second = make(), make()
    assert first != second
    assert first == first
    assert len({first, second}) == 2


# --- to_dict layouts ----------------------------------------------------------


def test_image_dict_keys_in_declared_order() -> None:
    image = native.SEOImage("u", alt="a", height=2, width=1)
    assert list(image.to_dict()) == ["url", "width", "height", "alt"]
    assert list(native.SEOImage("u", alt="a").to_dict()) == ["url", "alt"]


def test_to_dict_returns_a_new_dict_each_call() -> None:
    image = native.SEOImage("u", width=1)
    first = image.to_dict()
    first["url"] = "changed"
    assert image.to_dict() == {"url": "u", "width": 1}
    entity = native.SEOEntity("post", same_as=["a"])
    entity.to_dict()["same_as"].append("b")
    assert entity.to_dict()["same_as"] == ["a"]


def test_entity_dict_has_sorted_keys_and_nested_forms() -> None:
    entity = native.SEOEntity(
        "product",
        slug="widget",
        title="Widget",
        excerpt="A widget.",
        body_html="<p>Widget</p>",
        status="published",
        featured_image=native.SEOImage("https://e.com/w.png", width=10, alt="W"),
        published_at="2024-01-01",
        updated_at="2024-02-01",
        author_name="Ada",
        breadcrumbs=[native.Breadcrumb("Shop", "/shop")],
        sku="W-1",
        price="9.99",
        price_currency="EUR",
        availability="InStock",
        same_as=["https://x.example"],
        address="1 Road",
        faq_items=[native.FAQItem("Q?", "A.")],
    )
    result = entity.to_dict()
    assert list(result) == sorted(result)
    assert result == {
        "address": "1 Road",
        "author_name": "Ada",
        "availability": "InStock",
        "body_html": "<p>Widget</p>",
        "breadcrumbs": [{"name": "Shop", "url": "/shop"}],
        "entity_type": "Product",
        "excerpt": "A widget.",
        "faq_items": [{"answer": "A.", "question": "Q?"}],
        "featured_image": {"alt": "W", "url": "https://e.com/w.png", "width": 10},
        "price": "9.99",
        "price_currency": "EUR",
        "published_at": "2024-01-01",
        "same_as": ["https://x.example"],
        "sku": "W-1",
        "slug": "widget",
        "status": "published",
        "title": "Widget",
        "updated_at": "2024-02-01",
    }
    assert list(result["featured_image"]) == ["alt", "url", "width"]
    assert list(result["faq_items"][0]) == ["answer", "question"]


def test_entity_dict_keeps_present_empty_lists() -> None:
    empty = native.SEOEntity("post", breadcrumbs=[], same_as=(), faq_items=[])
    assert empty.to_dict() == {
        "entity_type": "Post",
        "breadcrumbs": [],
        "same_as": [],
        "faq_items": [],
    }
    assert native.SEOEntity("post", title="").to_dict() == {"entity_type": "Post", "title": ""}


DEFAULT_SCHEMA_TYPE_MAP = {
    "faq": "FAQPage",
    "home": "WebSite",
    "local_business": "LocalBusiness",
    "organization": "Organization",
    "page": "WebPage",
    "post": "Article",
    "product": "Product",
    "search": "SearchResultsPage",
    "taxonomy": "CollectionPage",
    "video": "VideoObject",
}


def test_config_dict_of_a_minimal_config() -> None:
    result = config().to_dict()
    assert list(result) == [
        "auto_generate_schema",
        "canonical_host",
        "default_robots",
        "emit_warnings",
        "public_base_url",
        "schema_type_map",
        "search_robots",
        "title_template",
        "url_policy",
    ]
    assert result == {
        "auto_generate_schema": True,
        "canonical_host": HOST,
        "default_robots": {"follow": True, "index": True},
        "emit_warnings": False,
        "public_base_url": BASE,
        "schema_type_map": DEFAULT_SCHEMA_TYPE_MAP,
        "search_robots": {"follow": True, "index": False},
        "title_template": None,
        "url_policy": {
            "allowed_query_params": [],
            "collapse_duplicate_slashes": True,
            "enforce_https": True,
            "extra_tracking_params": [],
            "lowercase_paths": False,
            "strip_tracking_params": True,
            "trailing_slash": "Never",
        },
    }
    assert list(result["schema_type_map"]) == sorted(DEFAULT_SCHEMA_TYPE_MAP)


def test_config_dict_of_a_full_config() -> None:
    hooks, registry = object(), object()
    settings = config(
        url_policy=native.URLPolicy(
            enforce_https=False,
            lowercase_paths=True,
            trailing_slash="always",
            collapse_duplicate_slashes=False,
            strip_tracking_params=False,
            allowed_query_params=["page"],
            extra_tracking_params=["ref"],
        ),
        default_robots=native.Robots(max_snippet=50, max_image_preview="large"),
        default_og_image=native.SEOImage("https://e.com/og.png", height=630),
        site_name="Example",
        title_template="{title} | Example",
        search_robots=native.Robots(index=False, follow=False, max_video_preview=-1),
        auto_generate_schema=False,
        publisher_name="Pub",
        publisher_logo="https://e.com/logo.png",
        locale="en_US",
        locale_alternate=["de_DE"],
        twitter_site="@example",
        emit_warnings=True,
        schema_type_map=[("post", "BlogPosting")],
        search_url_template="https://e.com/?q={search_term_string}",
        hooks=hooks,
        schema_registry=registry,
    )
    result = settings.to_dict()
    assert list(result) == sorted(result)
    assert result == {
        "auto_generate_schema": False,
        "canonical_host": HOST,
        "default_og_image": {"height": 630, "url": "https://e.com/og.png"},
        "default_robots": {
            "follow": True,
            "index": True,
            "max_image_preview": "large",
            "max_snippet": 50,
        },
        "emit_warnings": True,
        "locale": "en_US",
        "locale_alternate": ["de_DE"],
        "public_base_url": BASE,
        "publisher_logo": "https://e.com/logo.png",
        "publisher_name": "Pub",
        "schema_type_map": {"post": "BlogPosting"},
        "search_robots": {"follow": False, "index": False, "max_video_preview": -1},
        "search_url_template": "https://e.com/?q={search_term_string}",
        "site_name": "Example",
        "title_template": "{title} | Example",
        "twitter_site": "@example",
        "url_policy": {
            "allowed_query_params": ["page"],
            "collapse_duplicate_slashes": False,
            "enforce_https": False,
            "extra_tracking_params": ["ref"],
            "lowercase_paths": True,
            "strip_tracking_params": False,
            "trailing_slash": "Always",
        },
    }
    assert list(result["default_robots"]) == ["follow", "index", "max_image_preview", "max_snippet"]


def test_config_schema_type_map_last_duplicate_wins() -> None:
    settings = config(schema_type_map=[("post", "Article"), ("post", "WebPage")])
    assert settings.to_dict()["schema_type_map"] == {"post": "WebPage"}


def test_config_empty_schema_type_map_replaces_the_default() -> None:
    assert config(schema_type_map=[]).to_dict()["schema_type_map"] == {}


@pytest.mark.parametrize(
    ("kwargs", "message"),
    [
        (
            {"canonical_host": "", "public_base_url": ""},
            "canonical_host must be a non-empty string",
        ),
        (
            {"canonical_host": "https://example.com"},
            "canonical_host must be host-only (no scheme/path/query)",
        ),
        (
            {"canonical_host": "example.com/"},
            "canonical_host must be host-only (no scheme/path/query)",
        ),
        ({"public_base_url": ""}, "public_base_url must be a non-empty string"),
        ({"title_template": "{Title}"}, "title_template must include '{title}' placeholder"),
    ],
)
def test_config_validation_raises_configuration_error(kwargs, message: str) -> None:
    arguments = {"canonical_host": HOST, "public_base_url": BASE, **kwargs}
    with pytest.raises(native.ConfigurationError) as caught:
        native.SEOConfig(**arguments)
    assert str(caught.value) == message


def test_config_with_blank_host_and_port_passes_validation() -> None:
    assert native.SEOConfig("   ", BASE).to_dict()["canonical_host"] == "   "
    assert (
        native.SEOConfig("example.com:8080", "not a url").to_dict()["canonical_host"]
        == "example.com:8080"
    )


# --- SEOConfig registries -----------------------------------------------------


@pytest.mark.parametrize("attribute", ["hooks", "schema_registry"])
def test_registries_are_stored_as_given(attribute: str) -> None:
    held = object()
    settings = config(**{attribute: held})
    assert getattr(settings, attribute) is held
    assert getattr(config(), attribute) is None
    replacement = [1, 2]
    setattr(settings, attribute, replacement)
    assert getattr(settings, attribute) is replacement
    setattr(settings, attribute, None)
    assert getattr(settings, attribute) is None


@pytest.mark.parametrize("attribute", ["hooks", "schema_registry"])
def test_registries_cannot_be_deleted(attribute: str) -> None:
    settings = config(**{attribute: object()})
    with pytest.raises(AttributeError):
        delattr(settings, attribute)


def test_registries_never_appear_in_to_dict() -> None:
    result = config(hooks=object(), schema_registry=object()).to_dict()
    assert "hooks" not in result and "schema_registry" not in result


def test_replaced_registry_is_released_after_the_borrow_ends() -> None:
    # The old hooks' finalizer reads the configuration: it must find the new
    # value, not a held borrow.
    seen: list[Any] = []
    settings = config()

    class Finalized:
        def __del__(self) -> None:
            seen.append(settings.hooks)

    settings.hooks = Finalized()
    replacement = object()
    settings.hooks = replacement
    assert seen == [replacement]


def test_config_registries_take_part_in_garbage_collection() -> None:
    finalized: list[bool] = []

    class Hooks:
        def __del__(self) -> None:
            finalized.append(True)

    hooks = Hooks()
    settings = config(hooks=hooks)
    hooks.config = settings  # a reference cycle through the native object
    assert hooks in gc.get_referents(settings)
    del hooks, settings
    gc.collect()
    assert finalized == [True]


def test_config_holds_one_reference_to_each_registry() -> None:
    hooks, registry = object(), object()
    baseline = (sys.getrefcount(hooks), sys.getrefcount(registry))
    settings = config(hooks=hooks, schema_registry=registry)
    assert (sys.getrefcount(hooks), sys.getrefcount(registry)) == (baseline[0] + 1, baseline[1] + 1)
    settings.hooks = registry
    assert (sys.getrefcount(hooks), sys.getrefcount(registry)) == (baseline[0], baseline[1] + 2)
    del settings
    assert (sys.getrefcount(hooks), sys.getrefcount(registry)) == baseline


@pytest.mark.parametrize(
    "call",
    [
        pytest.param(lambda held: native.SEOConfig("", BASE, hooks=held), id="failed validation"),
        pytest.param(
            lambda held: native.SEOConfig(HOST, BASE, schema_registry=held, emit_warnings=1),
            id="bad flag",
        ),
        pytest.param(
            lambda held: native.SEOConfig(
                HOST, BASE, hooks=held, url_policy=native.URLPolicy(trailing_slash="x")
            ),
            id="bad policy",
        ),
        pytest.param(
            lambda held: native.SEOOverrides(schema_jsonld=[held, {1, 2}]), id="json.dumps failure"
        ),
    ],
)
def test_failed_construction_releases_the_objects_it_was_given(call) -> None:
    held = object()
    baseline = sys.getrefcount(held)
    for _ in range(5):
        with pytest.raises((TypeError, ValueError)):
            call(held)
    assert sys.getrefcount(held) == baseline


def test_config_objects_are_tracked_by_the_collector() -> None:
    assert gc.is_tracked(config())
    assert not gc.is_tracked(native.SEOImage("u"))


# --- Docstrings and signatures ------------------------------------------------


@pytest.mark.parametrize(
    ("name", "description"),
    [
        ("Breadcrumb", "A single entry in a breadcrumb trail."),
        ("Robots", "Robots directives for a page."),
        ("SEOOverrides", "Per-call overrides that take precedence over the entity and config."),
    ],
)
def test_class_docstring_follows_the_signature(name: str, description: str) -> None:
    assert getattr(native, name).__doc__ == description


def test_config_docstring_describes_the_registries() -> None:
    doc = native.SEOConfig.__doc__
    assert "HookRegistry" in doc and "zelko.registry.SchemaRegistry" in doc


@pytest.mark.parametrize(
    ("cls", "method"),
    [
        (native.SEOImage, "to_dict"),
        (native.SEOEntity, "to_dict"),
        (native.SEOConfig, "to_dict"),
        (native.Robots, "serialize"),
    ],
)
def test_methods_take_no_arguments(cls, method: str) -> None:
    assert str(inspect.signature(getattr(cls, method))) == "(self, /)"
