"""Repeated calls, successful or failing, leave no objects, references or memory
behind."""

from __future__ import annotations

import gc
import sys
import tracemalloc
import warnings
from collections.abc import Callable
from pathlib import Path
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import make_config, make_post

ROUNDS = 1000

ENTITY = make_post(
    breadcrumbs=[native.Breadcrumb("Home", "/"), native.Breadcrumb("Blog", "/blog")],
    featured_image=native.SEOImage("https://example.com/a.png", width=10, height=20, alt="A"),
    same_as=["https://a.example"],
)
PRODUCT = native.SEOEntity("product", title="Widget", sku="W-1", price="9.99", price_currency="EUR")


def add_custom(payload: dict[str, Any], entity: Any, config: Any) -> None:
    payload["custom"] = {"list": [1, 2.5, None, True], "text": "é"}


class PlainHooks:
    """A hook registry that keeps nothing between calls."""

    def __init__(self, hook: Callable[..., Any]) -> None:
        self.hook = hook

    def run(self, phase: str, payload: dict[str, Any], entity: Any, config: Any) -> Any:
        return self.hook(payload, entity, config)


class PlainRegistry:
    """A schema registry that keeps nothing between calls."""

    def __init__(self, generators: dict[str, Callable[..., Any]]) -> None:
        self.generators = generators

    def has(self, schema_type: str) -> bool:
        return schema_type in self.generators

    def generate(self, schema_type: str, *args: Any) -> Any:
        return self.generators[schema_type](*args)


HOOKS = PlainHooks(add_custom)
REGISTRY = PlainRegistry({"Product": lambda *args: {"@type": "Product", "name": args[3]}})
CONFIG = make_config(hooks=HOOKS, schema_registry=REGISTRY, locale_alternate=["de_DE"])
OVERRIDES = native.SEOOverrides(twitter_creator="@me", schema_jsonld=None)
CONTRACT_CONFIG = native.SEOContractConfig(
    "h",
    defaults=native.SEOExpectation(required=True, title=native.SEOExpectation(max_length=60)),
    rules=[native.SEOContractRule("/blog/*", native.SEOExpectation(one_of=["a"]), severity="info")],
    exceptions=[("/a", native.SEOExpectation(schema_required=True, schema_types=["X"]))],
)
PAYLOAD = native.build_seo_payload(ENTITY, "/blog/hello", CONFIG)

LONG_LIVED = [ENTITY, PRODUCT, HOOKS, REGISTRY, CONFIG, OVERRIDES, CONTRACT_CONFIG, PAYLOAD]
CLASSES = [getattr(native, name) for name in native.__all__[:18]]


def expect(error: type[BaseException], call: Callable[[], Any]) -> None:
    try:
        call()
    except error:
        return
    raise AssertionError(f"{error.__name__} not raised")


def growth(action: Callable[[], Any]) -> tuple[int, int, int, list[int]]:
    """Live GC objects, allocated memory blocks, traced bytes and reference
    counts of the long-lived inputs gained over ROUNDS calls of `action`,
    after a warm-up that fills the interpreter's caches."""
    for _ in range(100):
        action()
    gc.collect()
    tracked = LONG_LIVED + CLASSES
    references = [sys.getrefcount(obj) for obj in tracked]
    objects = len(gc.get_objects())
    blocks = sys.getallocatedblocks()
    for _ in range(ROUNDS):
        action()
    gc.collect()
    objects = len(gc.get_objects()) - objects
    blocks = sys.getallocatedblocks() - blocks
    after = [sys.getrefcount(obj) for obj in tracked]
    gained_references = [now - before for now, before in zip(after, references, strict=True)]

    tracemalloc.start()
    try:
        traced = tracemalloc.get_traced_memory()[0]
        for _ in range(ROUNDS):
            action()
        gc.collect()
        traced = tracemalloc.get_traced_memory()[0] - traced
    finally:
        tracemalloc.stop()
    return objects, blocks, traced, gained_references


def assert_no_growth(action: Callable[[], Any]) -> None:
    objects, blocks, traced, references = growth(action)
    # A leak of one object or block per call would show as ROUNDS; a little
    # is left for the interpreter's own caches.
    assert objects < ROUNDS // 10, f"{objects} live objects gained"
    assert blocks < ROUNDS // 3, f"{blocks} memory blocks gained"
    assert traced < ROUNDS * 16, f"{traced} bytes gained"
    assert references == [0] * len(references)


# --- Successful cycles ----------------------------------------------------------


def full_build_cycle() -> None:
    payload = native.build_seo_payload(ENTITY, "/blog/hello?utm_source=x", CONFIG, OVERRIDES)
    view = payload.to_dict()
    assert payload == view and not (payload != view)
    for key in payload:
        payload[key]
        assert key in payload
    payload.get("missing", 0)
    payload.keys()
    len(payload)
    payload.og.to_dict()
    payload.twitter.to_dict()
    payload.og.locale_alternate
    payload.schema_jsonld
    payload.to_json()
    payload.hash()
    payload.etag()
    payload.render_html()
    payload.render_opengraph()
    payload.render_twitter()
    payload.render_jsonld()
    assert payload == PAYLOAD or payload != PAYLOAD


def product_cycle() -> None:
    native.build_seo_payload_dict(PRODUCT, "/shop/widget", CONFIG)
    native.build_seo_payload_with_overrides(PRODUCT, "/shop/widget", CONFIG, OVERRIDES)


def validate_cycle() -> None:
    payload = native.build_seo_payload(
        native.SEOEntity("post", title="x" * 70), "/x", native.SEOConfig("h", "https://h")
    )
    for issue in native.validate_payload(payload):
        issue.rule_id, issue.severity, issue.message, issue.url, issue.details


def contract_cycle(path: Path) -> None:
    contract = native.build_seo_contract(CONTRACT_CONFIG)
    contract.to_json()
    contract.to_dict()
    contract.hash()
    contract.site
    contract.contract_version
    contract.write(str(path))
    rule = native.SEOContractRule("/x", native.SEOExpectation(max_items=3), severity="warning")
    rule.expect.required
    native.SEOContractConfig("h", scheme="http", rules=[rule], exceptions=[("/b", rule.expect)])
    registry = native.SchemaRegistry()
    registry.has("Article")
    registry.list_types()


def url_cycle() -> None:
    native.clean_url_fn("https://a.example/?utm_source=1&a=2&fbclid=3")
    native.clean_query_fn("utm_source=1&a=2")
    native.normalize_path_fn("//Blog//Post/", native.URLPolicy(lowercase_paths=True))
    native.normalize_public_url_fn("/a?gclid=1", CONFIG)


# Three findings: a long title, no description and no Open Graph image.
NOISY_ENTITY = native.SEOEntity("post", title="x" * 70)
NOISY_CONFIG = native.SEOConfig("h", "https://h", emit_warnings=True)
LONG_LIVED += [NOISY_ENTITY, NOISY_CONFIG]


def warnings_cycle() -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        native.build_seo_payload(NOISY_ENTITY, "/x", NOISY_CONFIG)
    assert len(caught) == 3


@pytest.mark.parametrize(
    "cycle",
    [full_build_cycle, product_cycle, validate_cycle, url_cycle, warnings_cycle],
    ids=lambda cycle: cycle.__name__,
)
def test_repeated_successful_calls_do_not_grow(cycle: Callable[[], None]) -> None:
    assert_no_growth(cycle)


def test_repeated_contract_cycles_do_not_grow(tmp_path: Path) -> None:
    assert_no_growth(lambda: contract_cycle(tmp_path / "contract.json"))


# --- Failing calls --------------------------------------------------------------


class RaisingHooks:
    def run(self, *args: Any) -> Any:
        raise RuntimeError("hook failed")


class BadAnswer:
    def has(self, schema_type: str) -> Any:
        return 1


def nested(levels: int) -> Any:
    value: Any = {"a": 1}
    for _ in range(levels - 1):
        value = {"a": value}
    return value


DEEP = native.build_seo_payload(
    make_post(breadcrumbs=[native.Breadcrumb("Home", "/")]),
    "/x",
    make_config(),
    native.SEOOverrides(schema_jsonld=nested(128)),
)
LONG_LIVED.append(DEEP)

FAILURES = [
    pytest.param(TypeError, lambda: native.build_seo_payload({}, "/x", CONFIG), id="entity-type"),
    pytest.param(
        TypeError, lambda: native.build_seo_payload(ENTITY, b"/x", CONFIG), id="route-type"
    ),
    pytest.param(TypeError, lambda: native.build_seo_payload(ENTITY, "/x", {}), id="config-type"),
    pytest.param(
        TypeError, lambda: native.build_seo_payload(ENTITY, "/x", CONFIG, 1), id="overrides-type"
    ),
    pytest.param(TypeError, lambda: native.build_seo_payload(ENTITY), id="missing"),
    pytest.param(
        TypeError, lambda: native.build_seo_payload(ENTITY, "/x", CONFIG, bad=1), id="keyword"
    ),
    pytest.param(TypeError, lambda: native.validate_payload(ENTITY), id="payload-type"),
    pytest.param(TypeError, lambda: native.normalize_path_fn("/", CONFIG), id="policy-type"),
    pytest.param(TypeError, lambda: native.build_seo_contract(CONFIG), id="contract-config-type"),
    pytest.param(TypeError, lambda: PAYLOAD[1], id="key-type"),
    pytest.param(TypeError, lambda: native.SEOExpectation(one_of="abc"), id="expectation-arg"),
    pytest.param(OverflowError, lambda: native.SEOExpectation(min_length=-1), id="overflow"),
    pytest.param(
        TypeError, lambda: native.SEOContractConfig("h", exceptions=[["/a", None]]), id="pair"
    ),
    pytest.param(UnicodeEncodeError, lambda: native.clean_url_fn("\udc80"), id="surrogate"),
    pytest.param(KeyError, lambda: PAYLOAD["missing"], id="missing-key"),
    pytest.param(ValueError, lambda: DEEP.to_dict(), id="nesting"),
    pytest.param(ValueError, lambda: DEEP["title"], id="nesting-getitem"),
    pytest.param(
        native.ConfigurationError,
        lambda: native.build_seo_payload(ENTITY, "/x", native.SEOConfig("h", "relative")),
        id="configuration-error",
    ),
    pytest.param(
        native.InvalidUrlError,
        lambda: native.build_seo_payload(
            ENTITY, "/x", CONFIG, native.SEOOverrides(canonical_url="x")
        ),
        id="invalid-url-error",
    ),
    pytest.param(
        ValueError, lambda: native.normalize_public_url_fn("", CONFIG), id="display-error"
    ),
    pytest.param(
        ValueError,
        lambda: native.normalize_path_fn("/", native.URLPolicy(trailing_slash="x")),
        id="trailing-slash",
    ),
    pytest.param(
        OSError,
        lambda: native.build_seo_contract(CONTRACT_CONFIG).write("/nonexistent-dir/x/c.json"),
        id="write-error",
    ),
    pytest.param(
        RuntimeError,
        lambda: native.build_seo_payload(ENTITY, "/x", make_config(hooks=RaisingHooks())),
        id="raising-hook",
    ),
    pytest.param(
        TypeError,
        lambda: native.build_seo_payload(
            ENTITY, "/x", make_config(hooks=PlainHooks(lambda p, e, c: []))
        ),
        id="hook-returns-list",
    ),
    pytest.param(
        native.ZelkoError,
        lambda: native.build_seo_payload(
            ENTITY, "/x", make_config(hooks=PlainHooks(lambda p, e, c: {"title": "t"}))
        ),
        id="hook-missing-field",
    ),
    pytest.param(
        TypeError,
        lambda: native.build_seo_payload(PRODUCT, "/x", make_config(schema_registry=BadAnswer())),
        id="registry-non-bool",
    ),
    pytest.param(
        ValueError,
        lambda: native.build_seo_payload(
            PRODUCT,
            "/x",
            make_config(schema_registry=PlainRegistry({"Product": lambda *a: float("nan")})),
        ),
        id="registry-nan",
    ),
]


@pytest.mark.parametrize(("error", "call"), FAILURES)
def test_failing_calls_do_not_grow(error: type[BaseException], call: Callable[[], Any]) -> None:
    assert_no_growth(lambda: expect(error, call))


def test_warnings_turned_errors_do_not_grow() -> None:
    def failing_warning() -> None:
        with warnings.catch_warnings():
            warnings.simplefilter("error")
            expect(UserWarning, lambda: native.build_seo_payload(NOISY_ENTITY, "/x", NOISY_CONFIG))

    assert_no_growth(failing_warning)


def test_registries_are_released_with_their_configuration() -> None:
    hooks, registry = PlainHooks(lambda p, e, c: None), PlainRegistry({})
    config = make_config(hooks=hooks, schema_registry=registry)
    native.build_seo_payload(ENTITY, "/x", config)
    before = sys.getrefcount(hooks), sys.getrefcount(registry)
    del config
    assert (sys.getrefcount(hooks), sys.getrefcount(registry)) == (before[0] - 1, before[1] - 1)
