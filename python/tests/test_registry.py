"""zelko.registry.SchemaRegistry on its own and inside a build."""

from __future__ import annotations

from typing import Any, ClassVar

import pytest

import _zelko_native
import zelko
from zelko.registry import SchemaRegistry

OG_IMAGE = "https://example.com/og.png"


def make_config(**kwargs: Any) -> zelko.SEOConfig:
    return zelko.SEOConfig(
        "example.com",
        "https://example.com",
        default_og_image=zelko.SEOImage(OG_IMAGE),
        **kwargs,
    )


def make_post(**kwargs: Any) -> zelko.SEOEntity:
    return zelko.SEOEntity("post", title="Hello", excerpt="A short post.", **kwargs)


def article(
    entity: zelko.SEOEntity,
    config: zelko.SEOConfig,
    canonical: str,
    title: str,
    description: str,
    image: str | None,
) -> dict[str, Any]:
    return {"@type": "Article", "headline": title, "url": canonical}


# --- The registry alone ------------------------------------------------------


def test_register_returns_the_generator_both_as_call_and_as_decorator() -> None:
    registry = SchemaRegistry()
    assert registry.register("Article", article) is article

    @registry.register("FAQPage")
    def faq(*args: Any) -> None:
        return None

    assert registry.has("FAQPage") is True
    assert registry.list_types() == ["Article", "FAQPage"]


def test_has_answers_with_a_real_bool_for_exact_names_only() -> None:
    registry = SchemaRegistry()
    registry.register("Article", article)

    assert registry.has("Article") is True
    assert registry.has("article") is False
    assert registry.has("Article ") is False
    assert registry.has("Product") is False


def test_list_types_is_sorted_by_code_point() -> None:
    registry = SchemaRegistry()
    for name in ("WebPage", "article", "Article", "BreadcrumbList"):
        registry.register(name, article)

    assert registry.list_types() == ["Article", "BreadcrumbList", "WebPage", "article"]
    assert len(registry) == 4


def test_generate_calls_the_generator_with_the_build_values() -> None:
    registry = SchemaRegistry()
    calls: list[tuple[Any, ...]] = []

    @registry.register("Article")
    def record(*args: Any) -> dict[str, str]:
        calls.append(args)
        return {"@type": "Article"}

    entity, config = make_post(), make_config()
    result = registry.generate("Article", entity, config, "https://example.com/x", "T", "D", None)

    assert result == {"@type": "Article"}
    assert calls == [(entity, config, "https://example.com/x", "T", "D", None)]


def test_registering_a_type_again_replaces_its_generator() -> None:
    registry = SchemaRegistry()
    registry.register("Article", lambda *args: "first")
    registry.register("Article", lambda *args: "second")

    assert registry.list_types() == ["Article"]
    assert registry.generate("Article", make_post(), make_config(), "", "", "", None) == "second"


def test_generate_for_an_unregistered_type_raises_key_error() -> None:
    with pytest.raises(KeyError, match="Product"):
        SchemaRegistry().generate("Product", make_post(), make_config(), "", "", "", None)


def test_unregister_removes_a_type() -> None:
    registry = SchemaRegistry()
    registry.register("Article", article)
    registry.unregister("Article")

    assert registry.has("Article") is False
    with pytest.raises(KeyError):
        registry.unregister("Article")


@pytest.mark.parametrize(
    ("schema_type", "generator", "error", "message"),
    [
        (None, article, TypeError, "schema type must be a str, not NoneType"),
        (7, article, TypeError, "schema type must be a str, not int"),
        ("", article, ValueError, "schema type must be a non-empty string"),
        (" \t", article, ValueError, "schema type must be a non-empty string"),
        (
            "Article",
            {"@type": "Article"},
            TypeError,
            "schema generator for 'Article' must be callable, not dict",
        ),
    ],
    ids=["none-type", "int-type", "empty-type", "blank-type", "not-callable"],
)
def test_register_refuses_bad_types_and_generators(
    schema_type: Any, generator: Any, error: type[Exception], message: str
) -> None:
    registry = SchemaRegistry()
    with pytest.raises(error) as raised:
        registry.register(schema_type, generator)
    assert str(raised.value) == message
    assert registry.list_types() == []


def test_the_decorator_form_refuses_a_non_callable_too() -> None:
    registry = SchemaRegistry()
    with pytest.raises(TypeError, match="must be callable, not str"):
        registry.register("Article")("nope")
    assert registry.list_types() == []


def test_the_package_registry_is_the_python_one() -> None:
    assert zelko.SchemaRegistry is zelko.registry.SchemaRegistry
    assert hasattr(zelko.SchemaRegistry(), "register")
    assert _zelko_native.SchemaRegistry is not zelko.SchemaRegistry
    assert _zelko_native.SchemaRegistry().list_types() == []


# --- Inside a build ----------------------------------------------------------


def test_registry_replaces_the_article_node_as_a_whole() -> None:
    registry = SchemaRegistry()
    registry.register("Article", article)

    payload = zelko.build_seo_payload(
        make_post(), "/blog/hello", make_config(schema_registry=registry)
    )

    assert payload.schema_jsonld == {
        "@type": "Article",
        "headline": "Hello",
        "url": "https://example.com/blog/hello",
    }
    assert list(payload.schema_jsonld) == ["@type", "headline", "url"]


def test_generator_receives_copies_and_the_resolved_fields() -> None:
    registry = SchemaRegistry()
    received: list[tuple[Any, ...]] = []

    @registry.register("Article")
    def record(entity: Any, config: Any, *rest: Any) -> None:
        received.append(
            (entity.entity_type, entity.title, config.hooks, config.schema_registry, *rest)
        )

    entity = make_post()
    config = make_config(schema_registry=registry, title_template="{title} | Site")
    payload = zelko.build_seo_payload(entity, "/blog/hello", config)

    assert received == [
        (
            "post",
            "Hello",
            None,
            None,
            "https://example.com/blog/hello",
            "Hello | Site",
            "A short post.",
            OG_IMAGE,
        )
    ]
    # The generator returned None, so the engine's own node stays.
    assert isinstance(payload.schema_jsonld, dict)
    assert payload.schema_jsonld["@type"] == "Article"


def test_generator_returning_a_list_becomes_the_schema() -> None:
    registry = SchemaRegistry()
    registry.register("Article", lambda *args: [{"@type": "Article"}, {"@type": "Person"}])

    payload = zelko.build_seo_payload(
        make_post(), "/blog/hello", make_config(schema_registry=registry)
    )

    assert payload.schema_jsonld == [{"@type": "Article"}, {"@type": "Person"}]


def test_registry_is_not_asked_about_an_array_schema() -> None:
    class Spy(SchemaRegistry):
        asked: ClassVar[list[str]] = []

        def has(self, schema_type: str) -> bool:
            self.asked.append(schema_type)
            return super().has(schema_type)

    registry = Spy()
    registry.register("Article", article)
    entity = make_post(breadcrumbs=[zelko.Breadcrumb("Home", "/")])

    payload = zelko.build_seo_payload(entity, "/blog/hello", make_config(schema_registry=registry))

    assert Spy.asked == []
    assert isinstance(payload.schema_jsonld, list)
    assert [node["@type"] for node in payload.schema_jsonld] == ["Article", "BreadcrumbList"]


def test_unregistered_type_keeps_the_engine_schema() -> None:
    registry = SchemaRegistry()
    registry.register("Product", article)
    config = make_config(schema_registry=registry)

    with_registry = zelko.build_seo_payload(make_post(), "/blog/hello", config)
    without = zelko.build_seo_payload(make_post(), "/blog/hello", make_config())

    assert with_registry == without


def test_a_generator_error_fails_the_build_unchanged() -> None:
    registry = SchemaRegistry()

    @registry.register("Article")
    def broken(*args: Any) -> None:
        raise LookupError("no article today")

    with pytest.raises(LookupError, match="no article today"):
        zelko.build_seo_payload(make_post(), "/blog/hello", make_config(schema_registry=registry))


def test_registry_and_hooks_together_keep_an_extra_key() -> None:
    registry = SchemaRegistry()
    registry.register("Article", article)
    hooks = zelko.HookRegistry()
    seen_schema: list[Any] = []

    @hooks.register("post_process")
    def brand(payload: dict[str, Any], entity: Any, config: Any) -> dict[str, Any]:
        seen_schema.append(payload["schema_jsonld"])
        return {**payload, "title": payload["title"].upper(), "x_brand": "kestrel"}

    config = make_config(schema_registry=registry, hooks=hooks)
    payload = zelko.build_seo_payload(make_post(), "/blog/hello", config)

    assert seen_schema == [
        {"@type": "Article", "headline": "Hello", "url": "https://example.com/blog/hello"}
    ]
    assert payload.title == "HELLO"
    assert payload["x_brand"] == "kestrel"
    assert payload.schema_jsonld == seen_schema[0]
    assert '"x_brand": "kestrel"' in payload.to_json()
