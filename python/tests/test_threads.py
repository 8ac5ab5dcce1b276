"""Builds from several threads, and the borrow rules while a build runs."""

from __future__ import annotations

import threading
from collections.abc import Callable
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import Hooks, Registry, make_config, make_post

THREADS = 6
CALLS = 40


def run_threads(work: Callable[[int], Any]) -> list[Any]:
    """Runs work(i) in THREADS threads started together; returns the results,
    re-raising the first failure."""
    barrier = threading.Barrier(THREADS)
    results: list[Any] = [None] * THREADS
    errors: list[BaseException] = []

    def target(index: int) -> None:
        try:
            barrier.wait()
            results[index] = work(index)
        except BaseException as error:  # noqa: BLE001 - handed to the main thread
            errors.append(error)

    threads = [threading.Thread(target=target, args=(i,)) for i in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if errors:
        raise errors[0]
    return results


def retitle(payload: dict[str, Any], entity: Any, config: Any) -> None:
    payload["title"] = payload["title"].upper()


CONFIGS = [
    pytest.param(lambda: make_config(), id="plain"),
    pytest.param(lambda: make_config(hooks=Hooks(retitle)), id="hooks"),
    pytest.param(
        lambda: make_config(
            schema_registry=Registry({"Article": lambda *a: {"@type": "Article", "name": a[3]}})
        ),
        id="registry",
    ),
]


@pytest.mark.parametrize("make", CONFIGS)
def test_threads_sharing_one_configuration_build_identical_payloads(
    make: Callable[[], native.SEOConfig],
) -> None:
    config = make()
    entity = make_post(breadcrumbs=[native.Breadcrumb("Home", "/")])
    reference = native.build_seo_payload(entity, "/blog/hello?utm_source=x", config)

    def work(index: int) -> set[tuple[str, str]]:
        seen = set()
        for _ in range(CALLS):
            payload = native.build_seo_payload(entity, "/blog/hello?utm_source=x", config)
            seen.add((payload.hash(), payload.to_json()))
            assert payload == reference
        return seen

    results = run_threads(work)
    assert all(result == {(reference.hash(), reference.to_json())} for result in results)


def test_threads_reading_one_payload_see_the_same_view() -> None:
    payload = native.build_seo_payload(make_post(), "/x", make_config())
    expected = payload.to_dict()

    def work(index: int) -> bool:
        return all(
            payload.to_dict() == expected
            and payload["title"] == "Hello"
            and native.validate_payload(payload) == []
            for _ in range(CALLS)
        )

    assert run_threads(work) == [True] * THREADS


def test_threads_building_contracts_agree() -> None:
    config = native.SEOContractConfig(
        "h", rules=[native.SEOContractRule("/b/*", native.SEOExpectation(indexable=True))]
    )

    def work(index: int) -> set[str]:
        return {native.build_seo_contract(config).hash() for _ in range(CALLS)}

    results = run_threads(work)
    assert all(len(result) == 1 for result in results)
    assert len(set.union(*results)) == 1


def test_native_registry_answers_from_every_thread() -> None:
    registry = native.SchemaRegistry()

    def work(index: int) -> bool:
        return all(
            registry.has(f"Type{i}") is False and registry.list_types() == [] for i in range(CALLS)
        )

    assert run_threads(work) == [True] * THREADS


# --- Borrows during a build ---------------------------------------------------


@pytest.mark.parametrize("attribute", ["hooks", "schema_registry"])
def test_assigning_on_the_callers_configuration_from_a_hook_fails(attribute: str) -> None:
    messages: list[str] = []
    config_holder: list[native.SEOConfig] = []

    def reach_back(payload: dict[str, Any], entity: Any, config: Any) -> None:
        try:
            setattr(config_holder[0], attribute, None)
        except RuntimeError as error:
            messages.append(str(error))

    hooks = Hooks(reach_back)
    config = make_config(hooks=hooks)
    config_holder.append(config)
    native.build_seo_payload(make_post(), "/x", config)
    assert messages == ["Already borrowed"]
    assert config.hooks is hooks
    # The build's borrow ended with the call.
    setattr(config, attribute, None)
    assert getattr(config, attribute) is None


def test_the_borrow_error_escapes_a_hook_that_does_not_catch_it() -> None:
    holder: list[native.SEOConfig] = []

    def reassign(payload: dict[str, Any], entity: Any, config: Any) -> None:
        holder[0].hooks = None

    config = make_config(hooks=Hooks(reassign))
    holder.append(config)
    with pytest.raises(RuntimeError, match=r"^Already borrowed$"):
        native.build_seo_payload(make_post(), "/x", config)
    config.hooks = None
    assert config.hooks is None


def test_assigning_from_a_schema_generator_fails_the_same_way() -> None:
    holder: list[native.SEOConfig] = []

    def generate(*args: Any) -> None:
        holder[0].schema_registry = None

    config = make_config(schema_registry=Registry({"Article": generate}))
    holder.append(config)
    with pytest.raises(RuntimeError, match=r"^Already borrowed$"):
        native.build_seo_payload(make_post(), "/x", config)


def test_another_thread_cannot_assign_while_a_build_runs() -> None:
    inside = threading.Event()
    release = threading.Event()

    def wait_inside(payload: dict[str, Any], entity: Any, config: Any) -> None:
        inside.set()
        assert release.wait(timeout=30)

    config = make_config(hooks=Hooks(wait_inside))
    outcome: list[BaseException | None] = []

    def builder() -> None:
        try:
            native.build_seo_payload(make_post(), "/x", config)
            outcome.append(None)
        except BaseException as error:  # noqa: BLE001 - inspected below
            outcome.append(error)

    thread = threading.Thread(target=builder)
    thread.start()
    try:
        assert inside.wait(timeout=30)
        with pytest.raises(RuntimeError, match=r"^Already borrowed$"):
            config.hooks = None
        # Reading still works: reads only share the borrow.
        assert isinstance(config.hooks, Hooks)
        assert config.to_dict()["canonical_host"] == "example.com"
    finally:
        release.set()
        thread.join()
    assert outcome == [None]
    config.hooks = None
    assert config.hooks is None


def test_entity_and_overrides_are_usable_by_other_threads_during_a_build() -> None:
    inside = threading.Event()
    release = threading.Event()
    entity = make_post()
    overrides = native.SEOOverrides(meta_title="Shared")

    def wait_inside(payload: dict[str, Any], e: Any, c: Any) -> None:
        inside.set()
        assert release.wait(timeout=30)

    config = make_config(hooks=Hooks(wait_inside))
    thread = threading.Thread(
        target=native.build_seo_payload, args=(entity, "/x", config, overrides)
    )
    thread.start()
    try:
        assert inside.wait(timeout=30)
        other = native.build_seo_payload(entity, "/y", make_config(), overrides)
        assert other.title == "Shared"
        assert entity.title == "Hello"
    finally:
        release.set()
        thread.join()
