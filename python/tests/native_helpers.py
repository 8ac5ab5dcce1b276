"""Inputs shared by the tests of the payload, result and function bindings."""

from __future__ import annotations

from typing import Any

import _zelko_native as native

BASE_URL = "https://example.com"
OG_IMAGE = "https://example.com/og.png"


def make_config(**kwargs: Any) -> native.SEOConfig:
    kwargs.setdefault("default_og_image", native.SEOImage(OG_IMAGE))
    return native.SEOConfig("example.com", BASE_URL, **kwargs)


def make_post(**kwargs: Any) -> native.SEOEntity:
    kwargs.setdefault("title", "Hello")
    kwargs.setdefault("excerpt", "A short post about bindings.")
    return native.SEOEntity("post", **kwargs)


def build(
    entity: native.SEOEntity | None = None,
    route: str = "/blog/hello",
    config: native.SEOConfig | None = None,
    overrides: native.SEOOverrides | None = None,
) -> native.SEOPayload:
    return native.build_seo_payload(
        entity if entity is not None else make_post(),
        route,
        config if config is not None else make_config(),
        overrides,
    )


def with_schema(schema: Any, **entity_kwargs: Any) -> native.SEOPayload:
    """A payload whose schema is the override `schema`, as given."""
    return build(make_post(**entity_kwargs), overrides=native.SEOOverrides(schema_jsonld=schema))


def nested_object(levels: int) -> dict[str, Any]:
    """{"a": {"a": ... {"a": 1}}} with `levels` objects."""
    value: dict[str, Any] = {"a": 1}
    for _ in range(levels - 1):
        value = {"a": value}
    return value


class Hooks:
    """A hook registry with one post_process callable."""

    def __init__(self, hook: Any) -> None:
        self.hook = hook
        self.calls: list[tuple[Any, ...]] = []

    def run(self, phase: str, payload: dict[str, Any], entity: Any, config: Any) -> Any:
        self.calls.append((phase, payload, entity, config))
        return self.hook(payload, entity, config)


class Registry:
    """A schema registry answering has() from a dict of generators."""

    def __init__(self, generators: dict[str, Any]) -> None:
        self.generators = generators
        self.asked: list[Any] = []
        self.generated: list[tuple[Any, ...]] = []

    def has(self, schema_type: Any) -> bool:
        self.asked.append(schema_type)
        return schema_type in self.generators

    def generate(self, schema_type: str, *args: Any) -> Any:
        self.generated.append((schema_type, *args))
        return self.generators[schema_type](*args)
