"""Objects that travel: every class survives pickle (protocols 2 to the
highest), copy and deepcopy, and worker processes under every start method,
with everything a caller can observe unchanged."""

from __future__ import annotations

import copy
import multiprocessing
import pickle
from collections.abc import Callable
from typing import Any

import pytest

import _zelko_native as native
import zelko
from native_helpers import OG_IMAGE, build, make_config, make_post


def shout(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
    payload["title"] = payload["title"].upper()
    return payload


def event_schema(*args: Any) -> dict[str, Any]:
    return {"@context": "https://schema.org", "@type": "Event", "name": args[3]}


def full_entity() -> native.SEOEntity:
    return native.SEOEntity(
        "product",
        slug="lamp",
        title="Lamp",
        excerpt="A lamp.",
        body_html="<p>Bright</p>",
        status="published",
        featured_image=native.SEOImage(OG_IMAGE, width=1200, height=630, alt="A lamp"),
        published_at="2026-01-02",
        updated_at="2026-02-03",
        author_name="Ann",
        breadcrumbs=[native.Breadcrumb("Shop", "/shop/"), native.Breadcrumb("Lamp", "/shop/lamp")],
        sku="L-1",
        price="19.90",
        price_currency="EUR",
        availability="InStock",
        same_as=["https://example.org/lamp"],
        address="1 Main St",
        faq_items=[native.FAQItem("Bright?", "Very.")],
    )


def full_config(**kwargs: Any) -> native.SEOConfig:
    return make_config(
        url_policy=native.URLPolicy(
            trailing_slash="always", lowercase_paths=True, allowed_query_params=["page"]
        ),
        default_robots=native.Robots(max_snippet=50, max_image_preview="large"),
        search_robots=native.Robots(index=False, follow=True, max_video_preview=-1),
        site_name="Shop",
        title_template="{title} | Shop",
        publisher_name="Shop Ltd",
        publisher_logo="https://example.com/logo.png",
        locale="en_GB",
        locale_alternate=["de_DE"],
        twitter_site="@shop",
        emit_warnings=True,
        schema_type_map=[("product", "Product"), ("post", "BlogPosting"), ("page", "Event")],
        search_url_template="https://example.com/search?q={search_term_string}",
        **kwargs,
    )


# Numbers that a trip through Python values and json.dumps would change.
EXACT_SCHEMA = {"@type": "Thing", "big": 18446744073709551615, "tenth": 0.1, "list": [1, "2"]}


def full_overrides() -> native.SEOOverrides:
    return native.SEOOverrides(
        meta_title="Meta",
        meta_description="Described.",
        canonical_path="/shop/lamp",
        robots=native.Robots(index=False),
        og_title="OG",
        og_description="OG text",
        og_image=native.SEOImage("https://example.com/og2.png", width=1),
        twitter_card="summary",
        twitter_title="TW",
        twitter_description="TW text",
        twitter_image=native.SEOImage("https://example.com/tw.png"),
        schema_jsonld=EXACT_SCHEMA,
        omit_schema=False,
        skip_title_template=True,
        twitter_creator="@ann",
        og_audio="https://example.com/a.mp3",
        og_video="https://example.com/v.mp4",
    )


def full_expectation() -> native.SEOExpectation:
    return native.SEOExpectation(
        required=True,
        equals="https://example.com/x",
        not_equals="https://example.com/y",
        contains="example",
        matches="^https://",
        one_of=["https://example.com/x"],
        min_length=1,
        max_length=2**64 - 1,
        min_items=1,
        max_items=3,
        indexable=True,
        canonical="self",
        schema_types=["Product"],
        og_required=True,
        twitter_required=False,
        sitemap_required=True,
        hreflang_required=False,
        title=native.SEOExpectation(max_length=60, title=native.SEOExpectation(forbidden=True)),
        description=native.SEOExpectation(required=True),
    )


def full_contract_config() -> native.SEOContractConfig:
    return native.SEOContractConfig(
        "example.com",
        scheme="http",
        defaults=full_expectation(),
        rules=[
            native.SEOContractRule("/blog/*", native.SEOExpectation(schema_required=True)),
            native.SEOContractRule(
                "/**", native.SEOExpectation(indexable=False), severity="warning"
            ),
            native.SEOContractRule("/x", native.SEOExpectation(), severity="ERROR"),
        ],
        exceptions=[("/a", native.SEOExpectation(forbidden=True)), ("/", full_expectation())],
    )


def hooks() -> zelko.HookRegistry:
    registry = zelko.HookRegistry()
    registry.register("post_process", shout)
    return registry


def schemas() -> zelko.SchemaRegistry:
    registry = zelko.SchemaRegistry()
    registry.register("Event", event_schema)
    return registry


def payload_text(config: native.SEOConfig, overrides: Any = None) -> tuple[str, str]:
    payload = build(full_entity(), "/shop/Lamp", config, overrides)
    return payload.to_json(), payload.hash()


def contract_of(contract_config: native.SEOContractConfig) -> str:
    return native.build_seo_contract(contract_config).to_json()


def properties(*names: str) -> Callable[[Any], Any]:
    return lambda obj: [getattr(obj, name) for name in names]


# What a caller can observe of each class: equal for the original and its
# copy exactly when nothing was lost on the way.
OBSERVE: dict[str, Callable[[Any], Any]] = {
    "SEOImage": lambda image: image.to_dict(),
    "SEOAuthor": properties("name", "url"),
    "Breadcrumb": properties("name", "url"),
    "FAQItem": properties("question", "answer"),
    "Robots": lambda robots: [robots.serialize(), robots.max_image_preview],
    "URLPolicy": repr,  # every field given, nested objects included
    "SEOEntity": lambda entity: [entity.to_dict(), build(entity).to_json()],
    "SEOConfig": lambda config: [config.to_dict(), payload_text(config)],
    "SEOOverrides": lambda overrides: payload_text(make_config(), overrides),
    "SEOExpectation": lambda expectation: contract_of(
        native.SEOContractConfig("example.com", defaults=expectation)
    ),
    "SEOContractRule": lambda rule: [
        rule.match,
        rule.severity,
        contract_of(native.SEOContractConfig("example.com", rules=[rule])),
    ],
    "SEOContractConfig": contract_of,
    "SEOContract": lambda contract: [contract.to_json(), contract.hash()],
    "SEOPayload": lambda payload: [payload.to_json(), payload.hash(), dict(payload)],
    "OGPayload": lambda og: og.to_dict(),
    "TwitterPayload": lambda twitter: twitter.to_dict(),
    "SEOIssue": properties("rule_id", "severity", "message", "url", "details"),
    "SchemaRegistry": lambda registry: registry.list_types(),
}


def issues_with_details() -> list[native.SEOIssue]:
    payload = build(
        make_post(title="x" * 80), overrides=native.SEOOverrides(canonical_url="http://a/b")
    )
    found = native.validate_payload(payload)
    assert any(issue.details for issue in found)
    return found


def samples() -> list[Any]:
    payload = build(full_entity(), "/shop/Lamp", full_config(), full_overrides())
    return [
        native.SEOImage(OG_IMAGE),
        native.SEOAuthor("Ann", url="https://example.com/ann"),
        native.Breadcrumb("Home", "/"),
        native.FAQItem("Why?", "Because."),
        native.Robots(index=False, follow=False, max_snippet=-1, max_video_preview=0),
        native.URLPolicy(trailing_slash="Always", extra_tracking_params=["ref"]),
        full_entity(),
        native.SEOEntity("other"),
        full_config(),
        make_config(),
        full_overrides(),
        native.SEOOverrides(schema_jsonld=float("nan")),
        full_expectation(),
        native.SEOContractRule("/blog/*", full_expectation(), severity="Warning"),
        full_contract_config(),
        native.build_seo_contract(full_contract_config()),
        payload,
        build(),
        payload.og,
        payload.twitter,
        *issues_with_details(),
        native.SchemaRegistry(),
    ]


def sample_id(obj: Any) -> str:
    return type(obj).__name__


@pytest.mark.filterwarnings("ignore:schema_jsonld override dropped")
def test_every_class_has_a_sample() -> None:
    assert (
        {type(obj).__name__ for obj in samples()}
        == set(OBSERVE)
        == {name for name in native.__all__ if isinstance(getattr(native, name), type)}
        - {name for name in native.__all__ if name.endswith("Error")}
    )


def pickle_round_trip(protocol: int) -> Callable[[Any], Any]:
    return lambda obj: pickle.loads(pickle.dumps(obj, protocol))


WAYS = {
    **{f"pickle{p}": pickle_round_trip(p) for p in range(2, pickle.HIGHEST_PROTOCOL + 1)},
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
}


@pytest.mark.filterwarnings("ignore:schema_jsonld override dropped")
@pytest.mark.parametrize("way", WAYS)
def test_round_trip_keeps_everything_observable(way: str) -> None:
    for original in samples():
        travelled = WAYS[way](original)
        assert type(travelled) is type(original)
        assert travelled is not original
        observe = OBSERVE[type(original).__name__]
        assert observe(travelled) == observe(original), type(original).__name__


def test_payload_equality_and_hash_survive() -> None:
    payload = build(full_entity(), "/shop/Lamp", full_config(), full_overrides())
    travelled = pickle.loads(pickle.dumps(payload))
    assert travelled == payload
    assert travelled.hash() == payload.hash() and travelled.etag() == payload.etag()


def test_config_with_hooks_and_registry_builds_the_same_after_travel() -> None:
    config = full_config(hooks=hooks(), schema_registry=schemas())
    event = native.SEOEntity("page", title="Launch", excerpt="The launch.")
    expected = native.build_seo_payload(event, "/launch", config, None)
    assert expected["title"].isupper() and expected["schema_jsonld"]["@type"] == "Event"
    for way in WAYS.values():
        travelled = way(config)
        assert native.build_seo_payload(event, "/launch", travelled, None) == expected


def test_shallow_copy_shares_hooks_deep_copy_does_not() -> None:
    config = full_config(hooks=hooks(), schema_registry=schemas())
    shallow, deep = copy.copy(config), copy.deepcopy(config)
    assert shallow.hooks is config.hooks and shallow.schema_registry is config.schema_registry
    assert deep.hooks is not config.hooks and deep.schema_registry is not config.schema_registry
    assert deep.hooks.hooks("post_process") == [shout]


def test_config_that_refers_to_itself_keeps_the_cycle() -> None:
    config = make_config()
    config.hooks = config
    for name, way in WAYS.items():
        travelled = way(config)
        # A shallow copy shares what the original refers to: the original.
        assert travelled.hooks is (config if name == "copy" else travelled)
        assert travelled.schema_registry is None


def test_registries_with_unpicklable_callables_say_so() -> None:
    registry = zelko.HookRegistry()
    registry.register("post_process", lambda payload, entity, config: payload)
    with pytest.raises((pickle.PicklingError, AttributeError), match="lambda"):
        pickle.dumps(make_config(hooks=registry))


@pytest.mark.parametrize(
    ("name", "state", "message"),
    [
        ("Nope", {}, "no class named Nope"),
        ("SEOImage", [], "SEOImage state must be a dict"),
        ("SEOIssue", ("a",), "SEOIssue state must be a tuple of 5 items"),
        ("SEOIssue", ("Z1", "bogus", "m", None, "{}"), "severity must be 'error', 'warning'"),
        ("SEOIssue", ("Z1", "Info", "m", None, "{}"), "severity must be 'error', 'warning'"),
        ("SEOIssue", ("Z1", "", "m", None, "{}"), "severity must be 'error', 'warning'"),
        ("SEOIssue", ("Z1", "info", "m", None, "{not json"), "at line 1 column 2"),
        ("SEOIssue", ("Z1", "info", "m", None, "[1]"), "details must be a JSON object"),
        ("SEOPayload", "{}", "missing field `title`"),
        ("SEOImage", {"url": 1}, "argument 'url' must be str"),
    ],
)
def test_restore_refuses_a_state_it_did_not_write(name: str, state: Any, message: str) -> None:
    with pytest.raises((TypeError, ValueError), match=message):
        native._restore(name, state)


def observe_all(objects: list[Any]) -> list[Any]:
    return [OBSERVE[type(obj).__name__](obj) for obj in objects]


@pytest.mark.filterwarnings("ignore:schema_jsonld override dropped")
@pytest.mark.parametrize("method", ["fork", "spawn", "forkserver"])
def test_worker_processes_receive_and_return_every_class(method: str) -> None:
    objects = [*samples(), full_config(hooks=hooks(), schema_registry=schemas())]
    context = multiprocessing.get_context(method)
    with context.Pool(2) as pool:
        seen_by_workers = pool.apply(observe_all, (objects,))
        returned = pool.apply(samples)
    assert seen_by_workers == observe_all(objects)
    assert observe_all(returned) == observe_all(samples())
