"""The stages after a build: schema registry, post_process hooks, warnings."""

from __future__ import annotations

import json
import warnings
from typing import Any

import pytest

import _zelko_native as native
from native_helpers import OG_IMAGE, Hooks, Registry, build, make_config, make_post


def article_node(*args: Any) -> dict[str, Any]:
    return {"name": "Generated", "@type": "Article", "extra": [1, 2]}


def build_with(entity: native.SEOEntity | None = None, **config_kwargs: Any) -> native.SEOPayload:
    return build(entity, route="/blog/hello", config=make_config(**config_kwargs))


# --- Schema registry stage ------------------------------------------------------


def test_registry_replaces_the_schema_of_its_type() -> None:
    registry = Registry({"Article": article_node})
    payload = build_with(schema_registry=registry)
    assert payload.schema_jsonld == {"@type": "Article", "extra": [1, 2], "name": "Generated"}
    assert list(payload.schema_jsonld) == ["@type", "extra", "name"]
    assert registry.asked == ["Article"]
    assert type(registry.asked[0]) is str


def test_registry_receives_the_seven_arguments() -> None:
    registry = Registry({"Article": article_node})
    entity = make_post()
    config = make_config(schema_registry=registry)
    payload = native.build_seo_payload(entity, "/blog/hello", config)
    [(schema_type, got_entity, got_config, canonical, title, description, image)] = (
        registry.generated
    )
    assert schema_type == "Article"
    assert isinstance(got_entity, native.SEOEntity) and got_entity is not entity
    assert got_entity.to_dict() == entity.to_dict()
    assert isinstance(got_config, native.SEOConfig) and got_config is not config
    assert got_config.to_dict() == config.to_dict()
    assert got_config.hooks is None and got_config.schema_registry is None
    assert (canonical, title, description) == (
        payload.canonical,
        payload.title,
        payload.description,
    )
    assert image == OG_IMAGE


def test_registry_gets_none_for_a_payload_without_image() -> None:
    registry = Registry({"Article": article_node})
    native.build_seo_payload(
        make_post(),
        "/x",
        native.SEOConfig("example.com", "https://example.com", schema_registry=registry),
    )
    assert registry.generated[0][-1] is None


def test_registry_is_not_asked_about_an_array_schema() -> None:
    registry = Registry({"Article": article_node})
    payload = build_with(
        make_post(breadcrumbs=[native.Breadcrumb("Home", "/")]), schema_registry=registry
    )
    assert registry.asked == []
    assert isinstance(payload.schema_jsonld, list)


@pytest.mark.parametrize(
    "schema",
    [{"name": "no type"}, {"@type": ["Article"]}, {"@type": 1}, "text"],
    ids=["no-type", "list-type", "number-type", "string-schema"],
)
def test_registry_is_not_asked_without_a_text_type(schema: Any) -> None:
    registry = Registry({"Article": article_node})
    overrides = native.SEOOverrides(schema_jsonld=schema)
    payload = build(config=make_config(schema_registry=registry), overrides=overrides)
    assert registry.asked == []
    assert payload.schema_jsonld == schema


def test_registry_is_not_asked_without_schema() -> None:
    registry = Registry({"Article": article_node})
    payload = build_with(schema_registry=registry, auto_generate_schema=False)
    assert registry.asked == []
    assert payload.schema_jsonld is None


def test_unknown_type_keeps_the_engine_schema() -> None:
    registry = Registry({"Product": article_node})
    assert build_with(schema_registry=registry) == build_with()
    assert registry.asked == ["Article"] and registry.generated == []


@pytest.mark.parametrize(
    ("generated", "expected"),
    [
        ([{"@type": "Article"}, {"@type": "Thing"}], [{"@type": "Article"}, {"@type": "Thing"}]),
        ("just text", "just text"),
        ({"b": (1, 2), 3: True}, {"3": True, "b": [1, 2]}),
        ({}, {}),
    ],
    ids=["list", "string", "converted", "empty"],
)
def test_generated_value_replaces_the_schema_whole(generated: Any, expected: Any) -> None:
    payload = build_with(schema_registry=Registry({"Article": lambda *a: generated}))
    assert payload.schema_jsonld == expected


def test_generate_returning_none_keeps_the_engine_schema() -> None:
    payload = build_with(schema_registry=Registry({"Article": lambda *a: None}))
    assert payload == build_with()


class Answer:
    def __init__(self, answer: Any) -> None:
        self.answer = answer
        self.generated = False

    def has(self, schema_type: str) -> Any:
        return self.answer

    def generate(self, *args: Any) -> Any:
        self.generated = True
        return None


@pytest.mark.parametrize("answer", [1, 0, None, "yes", [True]], ids=repr)
def test_has_must_answer_with_a_bool(answer: Any) -> None:
    registry = Answer(answer)
    with pytest.raises(TypeError, match="bool"):
        build_with(schema_registry=registry)
    assert not registry.generated


class NoHas:
    pass


class OnlyHas:
    def has(self, schema_type: str) -> bool:
        return True


class FailingHas:
    def has(self, schema_type: str) -> bool:
        raise LookupError("has failed")


class FailingGenerate(OnlyHas):
    def generate(self, *args: Any) -> Any:
        raise KeyError("generate failed")


@pytest.mark.parametrize(
    ("registry", "error", "text"),
    [
        (NoHas(), AttributeError, "has"),
        (OnlyHas(), AttributeError, "generate"),
        (FailingHas(), LookupError, "has failed"),
        (FailingGenerate(), KeyError, "generate failed"),
        (Registry({"Article": lambda *a: {1, 2}}), TypeError, "set"),
        (Registry({"Article": lambda *a: object()}), TypeError, "object"),
        (Registry({"Article": lambda *a: float("nan")}), ValueError, "^expected value"),
        (Registry({"Article": lambda *a: {"n": float("inf")}}), ValueError, " at line 1 column "),
    ],
    ids=["no-has", "no-generate", "has-raises", "generate-raises", "set", "object", "nan", "inf"],
)
def test_registry_failures_propagate(registry: Any, error: type[Exception], text: str) -> None:
    entity, config = make_post(), make_config(schema_registry=registry)
    before = (entity.to_dict(), config.to_dict())
    with pytest.raises(error, match=text):
        native.build_seo_payload(entity, "/x", config)
    assert (entity.to_dict(), config.to_dict()) == before
    assert config.schema_registry is registry


def test_numpy_style_bool_answer_is_accepted() -> None:
    numpy = pytest.importorskip("numpy")
    payload = build_with(schema_registry=Answer(numpy.bool_(False)))
    assert payload == build_with()


# --- Hook stage -----------------------------------------------------------------


def test_hook_gets_the_view_and_copies() -> None:
    hooks = Hooks(lambda payload, entity, config: None)
    entity = make_post()
    config = make_config(hooks=hooks)
    payload = native.build_seo_payload(entity, "/blog/hello", config)
    [(phase, view, got_entity, got_config)] = hooks.calls
    assert phase == "post_process"
    assert type(view) is dict and view == payload.to_dict()
    assert list(view) == sorted(view)
    assert got_entity is not entity and got_entity.to_dict() == entity.to_dict()
    assert got_config is not config and got_config.to_dict() == config.to_dict()
    assert got_config.hooks is None and got_config.schema_registry is None


def test_hook_changing_the_dict_in_place_changes_the_payload() -> None:
    def retitle(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["title"] = "New title"
        payload["og"]["title"] = "New OG title"

    payload = build_with(hooks=Hooks(retitle))
    assert payload.title == "New title"
    assert payload.og.title == "New OG title"
    assert "<title>New title</title>" in payload.render_html()


def test_hook_returning_a_dict_replaces_the_payload() -> None:
    def replace(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
        fresh = dict(payload, description="Replaced")
        payload["description"] = "ignored in-place change"
        return fresh

    assert build_with(hooks=Hooks(replace)).description == "Replaced"


def test_hook_returning_a_dict_subclass_is_accepted() -> None:
    class Payload(dict):  # type: ignore[type-arg]
        pass

    payload = build_with(hooks=Hooks(lambda p, e, c: Payload(p, robots="noindex,follow")))
    assert payload.robots == "noindex,follow"


def test_hook_extra_key_survives_in_every_form() -> None:
    def add(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["custom"] = {"b": 2, "a": 1}

    payload = build_with(hooks=Hooks(add))
    assert payload["custom"] == {"a": 1, "b": 2}
    assert "custom" in payload.keys()
    assert list(json.loads(payload.to_json()))[-1] == "custom"
    assert payload.hash() != build_with().hash()


def test_hook_removing_schema_removes_it() -> None:
    payload = build_with(hooks=Hooks(lambda p, e, c: p.pop("schema_jsonld") and None))
    assert payload.schema_jsonld is None
    assert "schema_jsonld" not in payload


def test_hook_sees_the_schema_the_registry_produced() -> None:
    seen: list[Any] = []
    hooks = Hooks(lambda payload, entity, config: seen.append(payload["schema_jsonld"]))
    registry = Registry({"Article": article_node})
    payload = build_with(hooks=hooks, schema_registry=registry)
    assert seen == [{"@type": "Article", "extra": [1, 2], "name": "Generated"}]
    assert payload.schema_jsonld == seen[0]
    config_seen = hooks.calls[0][3]
    assert config_seen.hooks is None and config_seen.schema_registry is None


def test_hook_may_build_with_the_copy_without_reentering_the_stages() -> None:
    inner: list[native.SEOPayload] = []

    def nested(payload: dict[str, Any], entity: Any, config: Any) -> None:
        inner.append(native.build_seo_payload(entity, "/other", config))

    hooks = Hooks(nested)
    build_with(hooks=hooks)
    assert len(hooks.calls) == 1
    assert inner[0].canonical == "https://example.com/other"


def test_hook_may_assign_registries_on_its_copy() -> None:
    def assign(payload: dict[str, Any], entity: Any, config: Any) -> None:
        config.hooks = object()
        config.schema_registry = object()

    hooks = Hooks(assign)
    config = make_config(hooks=hooks)
    native.build_seo_payload(make_post(), "/x", config)
    assert config.hooks is hooks
    assert config.schema_registry is None


def missing_robots(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
    return {key: value for key, value in payload.items() if key != "robots"}


def missing_title_and_robots(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
    return {key: value for key, value in payload.items() if key not in ("title", "robots")}


class NoRun:
    pass


@pytest.mark.parametrize(
    ("hooks", "error", "message"),
    [
        (Hooks(missing_robots), native.ZelkoError, "missing field `robots`"),
        (Hooks(missing_title_and_robots), native.ZelkoError, "missing field `title`"),
        (Hooks(lambda p, e, c: [p]), TypeError, "post_process hooks must return a dict"),
        (Hooks(lambda p, e, c: "text"), TypeError, "post_process hooks must return a dict"),
        (Hooks(lambda p, e, c: p.update(bad={1, 2})), TypeError, None),
        (Hooks(lambda p, e, c: p.update(bad=float("nan"))), ValueError, None),
        (Hooks(lambda p, e, c: p.update(title=5)), native.ZelkoError, None),
        (Hooks(lambda p, e, c: p["og"].update(image_width=-1)), native.ZelkoError, None),
        (Hooks(lambda p, e, c: 1 / 0), ZeroDivisionError, None),
        (NoRun(), AttributeError, None),
    ],
    ids=[
        "no-robots",
        "no-title",
        "list",
        "str",
        "set",
        "nan",
        "title-int",
        "negative-width",
        "raises",
        "no-run",
    ],
)
def test_hook_failures(hooks: Any, error: type[Exception], message: str | None) -> None:
    entity, config = make_post(), make_config(hooks=hooks)
    before = (entity.to_dict(), config.to_dict())
    with pytest.raises(error) as caught:
        native.build_seo_payload(entity, "/x", config)
    if error is native.ZelkoError:
        assert type(caught.value) is native.ZelkoError
    if message is not None:
        assert str(caught.value) == message
    assert (entity.to_dict(), config.to_dict()) == before
    assert config.hooks is hooks


def test_hook_failure_also_fails_the_dict_function() -> None:
    config = make_config(hooks=Hooks(lambda p, e, c: []))
    with pytest.raises(TypeError, match="post_process hooks must return a dict"):
        native.build_seo_payload_dict(make_post(), "/x", config)


# --- Warnings stage -------------------------------------------------------------


def noisy_config(**kwargs: Any) -> native.SEOConfig:
    # No Open Graph image and a 61-character title: two findings.
    return native.SEOConfig("example.com", "https://example.com", emit_warnings=True, **kwargs)


def noisy_entity() -> native.SEOEntity:
    return native.SEOEntity("post", title="x" * 61, excerpt="A post.")


EXPECTED_WARNINGS = [
    "[ZELKO102] Title is 61 characters (recommended max 60) (https://example.com/x)",
    "[ZELKO108] OG image is missing; set default_og_image or an entity image "
    "(https://example.com/x)",
]


def test_each_finding_becomes_a_user_warning() -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        payload = native.build_seo_payload(noisy_entity(), "/x", noisy_config())
    assert [str(warning.message) for warning in caught] == EXPECTED_WARNINGS
    assert all(warning.category is UserWarning for warning in caught)
    assert payload.title == "x" * 61


def test_warnings_point_at_the_calling_code() -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        native.build_seo_payload(noisy_entity(), "/x", noisy_config())
    assert caught[0].filename == __file__


def test_a_warning_turned_error_stops_the_build_at_the_first_finding() -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("error")
        with pytest.raises(UserWarning) as raised:
            native.build_seo_payload(noisy_entity(), "/x", noisy_config())
    assert str(raised.value) == EXPECTED_WARNINGS[0]
    assert caught == []


def test_pytest_error_filter_fails_the_build() -> None:
    with pytest.raises(UserWarning, match=r"^\[ZELKO102\] "):
        native.build_seo_payload_dict(noisy_entity(), "/x", noisy_config())


def test_no_warnings_without_emit_warnings() -> None:
    config = native.SEOConfig("example.com", "https://example.com")
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        native.build_seo_payload(noisy_entity(), "/x", config)
    assert caught == []


def test_clean_payload_emits_nothing() -> None:
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        build(config=make_config(emit_warnings=True))
    assert caught == []


def test_warnings_validate_the_payload_after_the_hooks() -> None:
    def untitle(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["title"] = "Untitled"

    config = make_config(emit_warnings=True, hooks=Hooks(untitle))
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        build(config=config)
    assert [str(w.message) for w in caught] == [
        "[ZELKO101] Title is missing or default (https://example.com/blog/hello)"
    ]


def test_robots_finding_warns_with_the_directive() -> None:
    def bogus_robots(payload: dict[str, Any], entity: Any, config: Any) -> None:
        payload["robots"] = "index,bogus"

    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        build(config=make_config(emit_warnings=True, hooks=Hooks(bogus_robots)))
    assert [str(w.message) for w in caught] == [
        "[ZELKO107] Invalid robots directive: 'bogus' (https://example.com/blog/hello)"
    ]
