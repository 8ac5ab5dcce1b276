"""Fuzzes ``_zelko_native._restore``, the way every zelko object comes back
from pickle, copy and deepcopy, on states that hostile pickles could hold.

Seeds are the states of real objects, one or more of every class (built in
``seeds()``); each run mutates them: a value replaced by another of any kind
(text with NUL, lone surrogates or separators, huge or negative numbers,
non-finite floats, nested containers), keys dropped or added, tuples cut
or lengthened, and names swapped between classes.

Invariant: ``_restore`` returns an object or raises TypeError, ValueError or
OverflowError (a number out of range, as the constructors refuse it).
Anything else (SystemError, the binding's InternalFault, a crash under the
sanitizers) is a finding; hypothesis prints the smallest state that shows it.

    python python/fuzz/restore_fuzzer.py [SECONDS]
"""

from __future__ import annotations

import contextlib
import math
import sys
import time
from typing import Any

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _zelko_native as native


def seeds() -> list[tuple[str, Any]]:
    """``(class name, state)`` of real objects, as their reduce gives them."""
    image = native.SEOImage("https://example.com/a.png", width=1200, height=630, alt="A")
    entity = native.SEOEntity(
        "product",
        title="Lamp",
        excerpt="A lamp.",
        status="published",
        featured_image=image,
        published_at="2024-05-01",
        breadcrumbs=[native.Breadcrumb("Shop", "/shop")],
        faq_items=[native.FAQItem("Bright?", "Very.")],
        price="14.50",
        price_currency="EUR",
        availability="InStock",
    )
    config = native.SEOConfig(
        "www.example.com",
        "https://www.example.com",
        url_policy=native.URLPolicy(allowed_query_params=["page"]),
        default_robots=native.Robots(max_snippet=50),
        default_og_image=image,
    )
    overrides = native.SEOOverrides(
        meta_title="T", robots=native.Robots(index=False), schema_jsonld={"@type": "Thing"}
    )
    payload = native.build_seo_payload(entity, "/shop/lamp?page=2", config, overrides)
    bare = native.build_seo_payload(native.SEOEntity("page"), "/x", config)
    expectation = native.SEOExpectation(
        indexable=True, title=native.SEOExpectation(max_length=60), schema_types=["Product"]
    )
    contract = native.build_seo_contract(
        native.SEOContractConfig(
            "www.example.com",
            defaults=expectation,
            rules=[native.SEOContractRule("/shop/*", expectation, severity="warning")],
            exceptions=[("/search", native.SEOExpectation(indexable=False))],
        )
    )
    objects = [
        image,
        entity,
        config,
        overrides,
        payload,
        payload.og,
        payload.twitter,
        *native.validate_payload(bare),
        expectation,
        contract,
        native.Robots(index=False, max_image_preview="large"),
        native.URLPolicy(trailing_slash="always"),
        native.SEOAuthor("Ada"),
    ]
    found = []
    for obj in objects:
        reduced = obj.__reduce_ex__(4)
        if isinstance(reduced, tuple) and reduced[0] is native._restore:
            found.append(tuple(reduced[1]))
    return found


SEEDS = seeds()
NAMES = sorted({name for name, _ in SEEDS})

TEXT = st.one_of(
    st.text(max_size=20),
    st.sampled_from(["", "\x00", "\ud800", "a\u2028b", "Info", "bogus", "{", "[1]", "null"]),
)
LEAVES = st.one_of(
    st.none(),
    st.booleans(),
    st.integers(min_value=-(2**70), max_value=2**70),
    st.sampled_from([math.nan, math.inf, -0.0, 1e308]),
    TEXT,
    st.binary(max_size=8),
)
ANY = st.recursive(
    LEAVES,
    lambda inner: st.one_of(
        st.lists(inner, max_size=4),
        st.lists(inner, max_size=4).map(tuple),
        st.dictionaries(TEXT, inner, max_size=4),
    ),
    max_leaves=12,
)


def mutate(data: st.DataObject, value: Any, depth: int = 0) -> Any:
    if depth > 6 or data.draw(st.integers(0, 9)) == 0:
        return data.draw(ANY)
    if isinstance(value, dict):
        mutated = {}
        for key, item in value.items():
            if data.draw(st.integers(0, 7)) == 0:
                continue  # dropped
            mutated[key] = mutate(data, item, depth + 1)
        if data.draw(st.integers(0, 5)) == 0:
            mutated[data.draw(TEXT)] = data.draw(ANY)
        return mutated
    if isinstance(value, (list, tuple)):
        items = [mutate(data, item, depth + 1) for item in value]
        if items and data.draw(st.integers(0, 5)) == 0:
            del items[data.draw(st.integers(0, len(items) - 1))]
        if data.draw(st.integers(0, 5)) == 0:
            items.append(data.draw(ANY))
        return tuple(items) if isinstance(value, tuple) else items
    return value


@settings(
    max_examples=300,
    deadline=None,
    database=None,
    suppress_health_check=list(HealthCheck),
)
@given(st.data())
def restore_any_state(data: st.DataObject) -> None:
    name, state = data.draw(st.sampled_from(SEEDS))
    if data.draw(st.integers(0, 7)) == 0:
        name = data.draw(st.one_of(st.sampled_from(NAMES), TEXT))
    state = mutate(data, state)
    # The refusals the constructors give; any other exception is a finding.
    with contextlib.suppress(TypeError, ValueError, OverflowError):
        native._restore(name, state)


def main(seconds: float) -> int:
    for name, state in SEEDS:  # every seed comes back as it was
        native._restore(name, state)
    deadline = time.monotonic() + seconds
    runs = 0
    while True:
        restore_any_state()
        runs += 300
        if time.monotonic() >= deadline:
            break
    print(f"restore: {runs} states from {len(SEEDS)} seeds, no finding")
    return 0


if __name__ == "__main__":
    sys.exit(main(float(sys.argv[1]) if len(sys.argv) > 1 else 20.0))
