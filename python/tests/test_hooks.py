"""zelko.HookRegistry on its own and inside a build."""

from __future__ import annotations

import json
from typing import Any

import pytest

import zelko
from zelko import HookRegistry

ENTITY = zelko.SEOEntity("post", title="Hello", excerpt="A short post about hooks.")


def make_config(**kwargs: Any) -> zelko.SEOConfig:
    return zelko.SEOConfig(
        "example.com",
        "https://example.com",
        default_og_image=zelko.SEOImage("https://example.com/og.png"),
        **kwargs,
    )


# --- The registry alone ------------------------------------------------------


def test_register_returns_the_hook_both_as_call_and_as_decorator() -> None:
    hooks = HookRegistry()

    def first(payload: dict[str, Any], entity: Any, config: Any) -> None:
        return None

    assert hooks.register("post_process", first) is first

    @hooks.register("post_process")
    def second(payload: dict[str, Any], entity: Any, config: Any) -> None:
        return None

    assert hooks.hooks("post_process") == [first, second]
    assert len(hooks) == 2


def test_run_calls_hooks_in_registration_order_passing_each_result_on() -> None:
    hooks = HookRegistry()
    seen: list[tuple[str, dict[str, Any]]] = []

    @hooks.register("post_process")
    def replace(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
        seen.append(("replace", dict(payload)))
        return {"title": payload["title"] + " 1"}

    @hooks.register("post_process")
    def extend(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
        seen.append(("extend", dict(payload)))
        return {**payload, "title": payload["title"] + " 2"}

    result = hooks.run("post_process", {"title": "t", "other": 1}, ENTITY, make_config())

    assert result == {"title": "t 1 2"}
    assert seen == [("replace", {"title": "t", "other": 1}), ("extend", {"title": "t 1"})]


def test_hook_returning_none_passes_its_in_place_changes_on() -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda payload, entity, config: payload.update(a=1))
    hooks.register(
        "post_process", lambda payload, entity, config: payload.update(b=payload["a"] + 1)
    )
    payload: dict[str, Any] = {}

    result = hooks.run("post_process", payload, ENTITY, make_config())

    assert result is payload
    assert result == {"a": 1, "b": 2}


def test_hooks_receive_the_entity_and_config_they_are_run_with() -> None:
    hooks = HookRegistry()
    received: list[tuple[Any, Any]] = []
    hooks.register(
        "post_process", lambda payload, entity, config: received.append((entity, config))
    )
    config = make_config()

    hooks.run("post_process", {}, ENTITY, config)

    assert received == [(ENTITY, config)]


def test_run_of_a_name_without_hooks_returns_the_payload_itself() -> None:
    hooks = HookRegistry()
    hooks.register("other", lambda payload, entity, config: {"replaced": True})
    payload = {"title": "t"}

    assert hooks.run("post_process", payload, ENTITY, make_config()) is payload


def test_a_dict_subclass_result_is_accepted() -> None:
    class Payload(dict):  # type: ignore[type-arg]
        pass

    hooks = HookRegistry()
    hooks.register("post_process", lambda payload, entity, config: Payload(title="sub"))

    assert hooks.run("post_process", {}, ENTITY, make_config()) == {"title": "sub"}


@pytest.mark.parametrize(
    "result",
    [["title"], "title", 1, ("title", "t"), True],
    ids=["list", "str", "int", "tuple", "bool"],
)
def test_hook_returning_neither_none_nor_dict_raises_type_error(result: object) -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda payload, entity, config: result)

    with pytest.raises(TypeError) as raised:
        hooks.run("post_process", {}, ENTITY, make_config())
    assert str(raised.value) == "post_process hooks must return a dict"


def test_type_error_names_the_hook_that_was_run() -> None:
    hooks = HookRegistry()
    hooks.register("pre_render", lambda payload, entity, config: [])

    with pytest.raises(TypeError, match=r"^pre_render hooks must return a dict$"):
        hooks.run("pre_render", {}, ENTITY, make_config())


def test_a_hook_error_stops_the_run() -> None:
    hooks = HookRegistry()
    later: list[int] = []

    def failing(payload: dict[str, Any], entity: Any, config: Any) -> None:
        raise LookupError("boom")

    hooks.register("post_process", failing)
    hooks.register("post_process", lambda payload, entity, config: later.append(1))

    with pytest.raises(LookupError, match="boom"):
        hooks.run("post_process", {}, ENTITY, make_config())
    assert later == []


def test_a_hook_registered_during_a_run_takes_effect_on_the_next_run() -> None:
    hooks = HookRegistry()
    calls: list[str] = []

    def late(payload: dict[str, Any], entity: Any, config: Any) -> None:
        calls.append("late")

    def registering(payload: dict[str, Any], entity: Any, config: Any) -> None:
        calls.append("registering")
        hooks.register("post_process", late)

    hooks.register("post_process", registering)
    hooks.run("post_process", {}, ENTITY, make_config())
    assert calls == ["registering"]

    calls.clear()
    hooks.run("post_process", {}, ENTITY, make_config())
    assert calls == ["registering", "late"]


@pytest.mark.parametrize(
    ("name", "hook", "error", "message"),
    [
        (None, print, TypeError, "hook name must be a str, not NoneType"),
        (b"post_process", print, TypeError, "hook name must be a str, not bytes"),
        ("", print, ValueError, "hook name must be a non-empty string"),
        ("  ", print, ValueError, "hook name must be a non-empty string"),
        ("post_process", "not callable", TypeError, "post_process hook must be callable, not str"),
        ("post_process", None, None, None),
    ],
    ids=["none-name", "bytes-name", "empty-name", "blank-name", "not-callable", "decorator"],
)
def test_register_refuses_bad_names_and_hooks(
    name: Any, hook: Any, error: type[Exception] | None, message: str | None
) -> None:
    hooks = HookRegistry()
    if error is None:
        # The name alone gives a decorator; it checks the hook when applied.
        with pytest.raises(TypeError, match="must be callable, not int"):
            hooks.register(name)(5)
    else:
        with pytest.raises(error) as raised:
            hooks.register(name, hook)
        assert str(raised.value) == message
    assert len(hooks) == 0


def test_hooks_and_names_return_copies_in_order() -> None:
    hooks = HookRegistry()
    hooks.register("b", print)
    hooks.register("a", repr)
    listed = hooks.hooks("a")
    listed.append(str)

    assert hooks.hooks("a") == [repr]
    assert hooks.hooks("missing") == []
    assert hooks.names() == ["a", "b"]
    assert repr(hooks) == "HookRegistry({a: 1, b: 1})"


# --- Inside a build ----------------------------------------------------------


def test_post_process_hook_edits_the_title_of_the_built_payload() -> None:
    hooks = HookRegistry()

    @hooks.register("post_process")
    def rename(payload: dict[str, Any], entity: zelko.SEOEntity, config: zelko.SEOConfig) -> None:
        payload["title"] = payload["title"] + " (edited)"

    payload = zelko.build_seo_payload(ENTITY, "/blog/hello", make_config(hooks=hooks))

    assert payload.title == "Hello (edited)"
    assert "<title>Hello (edited)</title>" in payload.render_html()


def test_chained_hooks_see_each_other_inside_a_build() -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda p, e, c: {**p, "title": p["title"] + " A"})
    hooks.register("post_process", lambda p, e, c: {**p, "title": p["title"] + " B"})

    payload = zelko.build_seo_payload(ENTITY, "/blog/hello", make_config(hooks=hooks))

    assert payload.title == "Hello A B"


def test_an_extra_top_level_key_from_a_hook_survives_the_build() -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda p, e, c: {**p, "x_custom": {"b": 2, "a": 1}})
    config = make_config(hooks=hooks)

    payload = zelko.build_seo_payload(ENTITY, "/blog/hello", config)

    assert payload["x_custom"] == {"a": 1, "b": 2}
    assert "x_custom" in payload.keys()
    text = payload.to_json()
    assert json.loads(text)["x_custom"] == {"a": 1, "b": 2}
    # Written after the payload's own keys.
    assert text.index('"x_custom"') > text.index('"twitter"')
    plain = zelko.build_seo_payload(ENTITY, "/blog/hello", make_config())
    assert payload.hash() != plain.hash()


def test_hooks_get_a_copy_of_the_config_without_hooks_or_registry() -> None:
    hooks = HookRegistry()
    seen: list[tuple[Any, Any, str]] = []
    hooks.register(
        "post_process",
        lambda p, e, c: seen.append((c.hooks, c.schema_registry, e.title or "")),
    )
    config = make_config(hooks=hooks, schema_registry=zelko.registry.SchemaRegistry())

    zelko.build_seo_payload(ENTITY, "/blog/hello", config)

    assert seen == [(None, None, "Hello")]
    assert config.hooks is hooks


def test_hook_returning_a_list_fails_the_build_with_the_module_message() -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda p, e, c: [p])

    with pytest.raises(TypeError, match=r"^post_process hooks must return a dict$"):
        zelko.build_seo_payload(ENTITY, "/blog/hello", make_config(hooks=hooks))


def test_hook_dropping_a_required_key_fails_with_zelko_error() -> None:
    hooks = HookRegistry()
    hooks.register("post_process", lambda p, e, c: {k: v for k, v in p.items() if k != "robots"})

    with pytest.raises(zelko.ZelkoError, match="missing field `robots`"):
        zelko.build_seo_payload(ENTITY, "/blog/hello", make_config(hooks=hooks))


def test_hooks_registered_under_other_names_do_not_run_in_a_build() -> None:
    hooks = HookRegistry()
    hooks.register("pre_render", lambda p, e, c: {"title": "never"})

    payload = zelko.build_seo_payload(ENTITY, "/blog/hello", make_config(hooks=hooks))

    assert payload.title == "Hello"
