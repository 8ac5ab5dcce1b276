"""Properties of payload building over random entities, configurations and
overrides: what must hold for every input, not for chosen examples.

- building raises nothing but the documented errors (an unresolvable URL, a
  public base URL that is not absolute);
- a payload equals its own dictionary view, and the dictionary function gives
  that same view;
- the same inputs give the same payload, JSON text, hash and HTML twice over;
- the JSON text reads back to the dictionary view when no doubles are
  involved;
- validation and rendering never raise, and the findings and warnings agree.
"""

from __future__ import annotations

import json
import re
import string
import warnings
from typing import Any

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import zelko

# No timing: the sanitizer run is many times slower than a plain one.
PROPERTY_SETTINGS = settings(
    max_examples=100,
    deadline=None,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large],
)

ENTITY_TYPES = [
    "home",
    "post",
    "page",
    "video",
    "taxonomy",
    "search",
    "other",
    "product",
    "organization",
    "local_business",
    "faq",
]
BUILD_ERRORS = (zelko.InvalidUrlError, zelko.ConfigurationError)
RULE_IDS = {f"ZELKO10{n}" for n in range(1, 9)}
HEX64 = re.compile(r"[0-9a-f]{64}")

# Text with the characters that the engine treats specially: Unicode white
# space, markup, URL delimiters, case-changing letters, quotes.
SPECIAL = " \t\n\u00a0\u3000\u2028<>&\"'/?#=%+{}Σß\u0130\u212a"
texts = st.text(
    alphabet=st.one_of(st.characters(exclude_categories=("Cs",)), st.sampled_from(SPECIAL)),
    max_size=40,
)
optional_texts = st.none() | texts
u32 = st.integers(min_value=0, max_value=2**32 - 1)
i32 = st.integers(min_value=-(2**31), max_value=2**31 - 1)

segments = st.text(alphabet=string.ascii_letters + string.digits + "-_.~%Ü ", max_size=8)
paths = st.lists(segments, max_size=4).map(lambda parts: "/".join(parts))
queries = st.lists(
    st.sampled_from(
        ["utm_source=x", "gclid=1", "id=3", "page=2", "", "=v", "Ref=a", "utm%5Fmedium=y"]
    ),
    max_size=4,
).map("&".join)
routes = st.one_of(
    texts,
    st.builds(
        lambda p, q, f: p + ("?" + q if q else "") + f,
        paths,
        queries,
        st.sampled_from(["", "#top"]),
    ),
    st.builds(lambda p: "https://other.example:8443/" + p, paths),
    st.sampled_from(["", "   ", "/", "?", "mailto:someone", "tag:news", "/a/../b", "//x//y//"]),
)

hosts = st.one_of(
    st.sampled_from(["www.example.com", "Example.COM:8443", "bücher.example", "localhost"]),
    st.text(alphabet=string.ascii_lowercase + string.digits + ".-:", min_size=1, max_size=20),
)
base_urls = st.sampled_from(
    [
        "https://www.example.com",
        "http://www.example.com/",
        "HTTP://Example.com/Docs//",
        "https://example.com/docs/api?x=1#top",
        "ftp://files.example.com/pub",
        "www.example.com",  # not absolute: every build fails with ConfigurationError
    ]
)

# Unsigned integers of 2^63 and above come back to Python as floats (the
# nearest double), so they count as doubles here.
json_scalars = st.one_of(
    st.none(), st.booleans(), st.integers(min_value=-(2**63), max_value=2**63 - 1), texts
)
doubles = st.floats(allow_nan=False, allow_infinity=False) | st.integers(2**63, 2**64 - 1)
json_values = st.recursive(
    json_scalars,
    lambda children: st.lists(children, max_size=4) | st.dictionaries(texts, children, max_size=4),
    max_leaves=12,
)
json_values_with_doubles = st.recursive(
    json_scalars | doubles,
    lambda children: st.lists(children, max_size=4) | st.dictionaries(texts, children, max_size=4),
    max_leaves=12,
)


def optional(strategy: st.SearchStrategy[Any]) -> st.SearchStrategy[Any]:
    return st.none() | strategy


images = st.builds(
    zelko.SEOImage, texts, width=optional(u32), height=optional(u32), alt=optional_texts
)
robots = st.builds(
    zelko.Robots,
    index=st.booleans(),
    follow=st.booleans(),
    max_snippet=optional(i32),
    max_image_preview=optional(st.sampled_from(["none", "standard", "large", "Large", ""])),
    max_video_preview=optional(i32),
)
policies = st.builds(
    zelko.URLPolicy,
    enforce_https=st.booleans(),
    lowercase_paths=st.booleans(),
    trailing_slash=st.sampled_from(["always", "never", "preserve"]),
    collapse_duplicate_slashes=st.booleans(),
    strip_tracking_params=st.booleans(),
    allowed_query_params=optional(
        st.lists(st.sampled_from(["page", "id", "q", "utm_source"]), max_size=2)
    ),
    extra_tracking_params=optional(
        st.lists(st.sampled_from(["ref", "Ref", "session"]), max_size=2)
    ),
)
entities = st.builds(
    zelko.SEOEntity,
    st.sampled_from(ENTITY_TYPES),
    slug=optional_texts,
    title=optional_texts,
    excerpt=optional_texts,
    body_html=optional(
        st.one_of(
            texts,
            st.lists(
                st.sampled_from(
                    [
                        "<p>",
                        "</p>",
                        "Hello",
                        " ",
                        "<script>x()</script>",
                        "<STYLE>",
                        "</style>",
                        "&amp;",
                        "Σ",
                        "<",
                        "\u3000",
                    ]
                ),
                max_size=30,
            ).map("".join),
        )
    ),
    status=optional(st.sampled_from(["published", "Published", "draft", " published", ""])),
    featured_image=optional(images),
    published_at=optional_texts,
    updated_at=optional_texts,
    author_name=optional_texts,
    breadcrumbs=optional(st.lists(st.builds(zelko.Breadcrumb, texts, routes), max_size=3)),
    sku=optional_texts,
    price=optional(st.sampled_from(["19.90", "0", "free", ""])),
    price_currency=optional(st.sampled_from(["EUR", "usd", ""])),
    availability=optional_texts,
    same_as=optional(st.lists(texts, max_size=3)),
    address=optional_texts,
    faq_items=optional(st.lists(st.builds(zelko.FAQItem, texts, texts), max_size=3)),
)


@st.composite
def configs(draw: st.DrawFn, emit_warnings: bool = False) -> zelko.SEOConfig:
    template = draw(optional(st.builds(lambda a, b: a + "{title}" + b, texts, texts)))
    return zelko.SEOConfig(
        draw(hosts.filter(lambda h: not any(c in h for c in "/?#") and "://" not in h)),
        draw(base_urls),
        url_policy=draw(optional(policies)),
        default_robots=draw(optional(robots)),
        default_og_image=draw(optional(images)),
        site_name=draw(optional_texts),
        title_template=template,
        search_robots=draw(optional(robots)),
        auto_generate_schema=draw(st.booleans()),
        publisher_name=draw(optional_texts),
        publisher_logo=draw(
            optional(st.sampled_from(["/logo.png", "https://cdn.example/logo.png", "logo.png", ""]))
        ),
        locale=draw(optional_texts),
        locale_alternate=draw(optional(st.lists(texts, max_size=2))),
        twitter_site=draw(optional_texts),
        emit_warnings=emit_warnings,
        schema_type_map=draw(
            optional(
                st.lists(
                    st.tuples(
                        st.sampled_from(ENTITY_TYPES),
                        st.sampled_from(["Article", "WebPage", "Thing", "FAQPage", "Product"]),
                    ),
                    max_size=3,
                )
            )
        ),
        search_url_template=draw(optional_texts),
    )


def overrides_with(schema: st.SearchStrategy[Any]) -> st.SearchStrategy[zelko.SEOOverrides]:
    return st.builds(
        zelko.SEOOverrides,
        meta_title=optional_texts,
        meta_description=optional_texts,
        canonical_url=optional(
            st.one_of(
                texts,
                st.sampled_from(
                    ["https://example.org/x?y=1", " HTTPS://Example.org ", "ftp://x/", "/relative"]
                ),
            )
        ),
        canonical_path=optional(routes),
        robots=optional(robots),
        og_title=optional_texts,
        og_description=optional_texts,
        og_image=optional(images),
        twitter_card=optional(st.sampled_from(["summary", "summary_large_image", "player", ""])),
        twitter_title=optional_texts,
        twitter_description=optional_texts,
        twitter_image=optional(images),
        schema_jsonld=optional(schema),
        omit_schema=st.booleans(),
        skip_title_template=st.booleans(),
        twitter_creator=optional_texts,
        og_audio=optional_texts,
        og_video=optional_texts,
    )


overrides = optional(overrides_with(json_values))


def build_or_none(entity: Any, route: str, config: Any, extra: Any) -> zelko.SEOPayload | None:
    """The payload, or None when the build failed with a documented error."""
    try:
        return zelko.build_seo_payload(entity, route, config, extra)
    except BUILD_ERRORS:
        return None


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(), extra=overrides)
def test_building_raises_only_documented_errors_and_fails_alike_twice(entity, route, config, extra):
    try:
        first = zelko.build_seo_payload(entity, route, config, extra)
    except BUILD_ERRORS as error:
        with pytest.raises(type(error)) as again:
            zelko.build_seo_payload(entity, route, config, extra)
        assert again.value.args == error.args
        with pytest.raises(type(error)):
            zelko.build_seo_payload_dict(entity, route, config, extra)
        return
    assert isinstance(first, zelko.SEOPayload)
    assert first.title != ""


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(), extra=overrides)
def test_payload_equals_its_dictionary_view_and_the_dict_function(entity, route, config, extra):
    payload = build_or_none(entity, route, config, extra)
    if payload is None:
        return
    view = payload.to_dict()
    assert payload == view
    assert not payload != view
    assert zelko.build_seo_payload_dict(entity, route, config, extra) == view
    assert list(view) == sorted(view)
    assert payload.keys() == list(view)
    for key in view:
        assert payload[key] == view[key]


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(), extra=overrides)
def test_same_inputs_give_the_same_payload_text_hash_and_html(entity, route, config, extra):
    first = build_or_none(entity, route, config, extra)
    if first is None:
        return
    second = zelko.build_seo_payload(entity, route, config, extra)
    assert first == second
    assert first.to_json() == second.to_json()
    assert first.hash() == second.hash()
    assert HEX64.fullmatch(first.hash())
    assert first.etag() == '"' + first.hash() + '"'
    assert first.render_html() == second.render_html()


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(), extra=overrides)
def test_json_text_reads_back_to_the_dictionary_view_without_doubles(entity, route, config, extra):
    payload = build_or_none(entity, route, config, extra)
    if payload is None:
        return
    assert json.loads(payload.to_json()) == payload.to_dict()


@PROPERTY_SETTINGS
@given(
    entity=entities,
    route=routes,
    config=configs(),
    extra=optional(overrides_with(json_values_with_doubles)),
)
def test_payloads_with_doubles_still_hash_render_and_compare(entity, route, config, extra):
    payload = build_or_none(entity, route, config, extra)
    if payload is None:
        return
    assert payload == payload.to_dict()
    assert payload.hash() == zelko.build_seo_payload(entity, route, config, extra).hash()
    assert payload.render_html().endswith("\n")


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(), extra=overrides)
def test_validation_and_rendering_never_raise(entity, route, config, extra):
    payload = build_or_none(entity, route, config, extra)
    if payload is None:
        return
    issues = zelko.validate_payload(payload)
    assert all(issue.rule_id in RULE_IDS for issue in issues)
    assert [i.rule_id for i in issues] == [i.rule_id for i in zelko.validate_payload(payload)]
    html = payload.render_html()
    assert html.startswith("<title>") and html.endswith("\n")
    assert "<!--" not in html
    script = payload.render_jsonld()
    body = script.removeprefix('<script type="application/ld+json">\n').removesuffix("\n</script>")
    assert "</" not in body
    if "schema_jsonld" in payload:
        assert json.loads(body) == json.loads(payload.to_json())["schema_jsonld"]
    else:
        assert script == ""


@PROPERTY_SETTINGS
@given(entity=entities, route=routes, config=configs(emit_warnings=True), extra=overrides)
def test_emitted_warnings_are_the_validation_findings(entity, route, config, extra):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        payload = build_or_none(entity, route, config, extra)
    if payload is None:
        assert caught == []
        return
    issues = zelko.validate_payload(payload)
    assert [str(w.message) for w in caught] == [
        f"[{i.rule_id}] {i.message}" + (f" ({i.url})" if i.url is not None else "") for i in issues
    ]
    assert all(w.category is UserWarning for w in caught)
