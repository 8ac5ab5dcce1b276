"""The _zelko_native module frame: definition, members, classes, exceptions."""

from __future__ import annotations

import gc
import importlib
import sys

import pytest

import _zelko_native as native

CLASS_NAMES = [
    "Breadcrumb",
    "FAQItem",
    "OGPayload",
    "Robots",
    "SEOAuthor",
    "SEOConfig",
    "SEOContract",
    "SEOContractConfig",
    "SEOContractRule",
    "SEOEntity",
    "SEOExpectation",
    "SEOImage",
    "SEOIssue",
    "SEOOverrides",
    "SEOPayload",
    "SchemaRegistry",
    "TwitterPayload",
    "URLPolicy",
]
FUNCTION_NAMES = [
    "build_seo_contract",
    "build_seo_payload",
    "build_seo_payload_dict",
    "build_seo_payload_with_overrides",
    "clean_query_fn",
    "clean_url_fn",
    "normalize_path_fn",
    "normalize_public_url_fn",
    "validate_payload",
]
EXCEPTION_NAMES = [
    "ZelkoError",
    "InvalidUrlError",
    "ConfigurationError",
    "EntityError",
    "SchemaError",
    "ContractError",
]
ALL_NAMES = CLASS_NAMES + FUNCTION_NAMES + EXCEPTION_NAMES


def test_module_docstring_names_the_engine_bindings() -> None:
    assert native.__doc__ == "Python bindings for the zelko engine core."
    assert native.__name__ == "_zelko_native"


def test_all_lists_classes_then_functions_then_exceptions() -> None:
    assert native.__all__ == ALL_NAMES


def test_all_ends_with_the_exceptions_in_their_table_order() -> None:
    assert native.__all__[-6:] == EXCEPTION_NAMES


def test_every_name_in_all_is_a_module_attribute() -> None:
    for name in native.__all__:
        assert getattr(native, name) is not None


@pytest.mark.parametrize("name", FUNCTION_NAMES)
def test_functions_are_bound_to_the_module(name: str) -> None:
    function = getattr(native, name)
    assert function.__module__ == "_zelko_native"
    assert function.__self__ is native
    assert function.__name__ == name


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_classes_report_builtins_as_their_module(name: str) -> None:
    cls = getattr(native, name)
    assert isinstance(cls, type)
    assert cls.__module__ == "builtins"
    assert cls.__name__ == name
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize("name", CLASS_NAMES)
def test_classes_are_final(name: str) -> None:
    cls = getattr(native, name)
    with pytest.raises(TypeError):
        type("Derived", (cls,), {})


# --- Exceptions ---------------------------------------------------------------


def test_zelko_error_derives_from_value_error_only() -> None:
    assert native.ZelkoError.__bases__ == (ValueError,)
    assert native.ZelkoError.__name__ == "ZelkoError"
    assert native.ZelkoError.__doc__ is None


@pytest.mark.parametrize("name", EXCEPTION_NAMES[1:])
def test_error_subclasses_have_zelko_error_as_their_one_base(name: str) -> None:
    cls = getattr(native, name)
    assert cls.__bases__ == (native.ZelkoError,)
    assert issubclass(cls, ValueError)
    assert cls.__doc__ is None


@pytest.mark.parametrize("name", EXCEPTION_NAMES)
def test_exception_names_and_module(name: str) -> None:
    cls = getattr(native, name)
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__module__ == "_zelko_native"


def test_exception_classes_are_distinct_objects() -> None:
    classes = [getattr(native, name) for name in EXCEPTION_NAMES]
    assert len(set(map(id, classes))) == len(classes)


def test_exceptions_carry_the_bare_message() -> None:
    with pytest.raises(native.EntityError) as caught:
        native.SEOEntity("blog")
    assert caught.value.args == (
        "entity_type must be one of home/post/page/video/taxonomy/search/"
        "other/product/organization/local_business/faq, got 'blog'",
    )
    assert not str(caught.value).startswith("invalid entity: ")


def test_configuration_errors_are_value_errors() -> None:
    with pytest.raises(ValueError) as caught:
        native.SEOConfig("", "")
    assert type(caught.value) is native.ConfigurationError
    assert str(caught.value) == "canonical_host must be a non-empty string"


# --- Multi-phase initialisation and re-import ---------------------------------


@pytest.fixture
def reimported():
    original = sys.modules.pop("_zelko_native")
    try:
        yield importlib.import_module("_zelko_native")
    finally:
        sys.modules["_zelko_native"] = original


def test_reimport_makes_a_new_module_object(reimported) -> None:
    assert reimported is not native
    assert reimported.__all__ == native.__all__
    assert reimported.__all__ is not native.__all__


@pytest.mark.parametrize("name", CLASS_NAMES + EXCEPTION_NAMES)
def test_reimport_shares_classes_and_exceptions(reimported, name: str) -> None:
    assert getattr(reimported, name) is getattr(native, name)


def test_objects_of_a_reimported_module_work_with_the_first(reimported) -> None:
    image = reimported.SEOImage("https://example.com/a.png")
    entity = native.SEOEntity("post", featured_image=image)
    assert entity.to_dict()["featured_image"] == {"url": "https://example.com/a.png"}


# --- Object lifetime ----------------------------------------------------------


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(lambda: native.SEOImage("u", width=1), id="SEOImage"),
        pytest.param(lambda: native.Breadcrumb("a", "/a"), id="Breadcrumb"),
        pytest.param(lambda: native.SEOEntity("post", title="t"), id="SEOEntity"),
        pytest.param(lambda: native.SEOConfig("h", "https://h"), id="SEOConfig"),
        pytest.param(lambda: native.SEOOverrides(schema_jsonld={"a": 1}), id="SEOOverrides"),
        pytest.param(lambda: native.URLPolicy(allowed_query_params=["a"]), id="URLPolicy"),
    ],
)
def test_instances_release_their_reference_to_the_class(make) -> None:
    cls = type(make())
    gc.collect()
    before = sys.getrefcount(cls)
    objects = [make() for _ in range(50)]
    assert sys.getrefcount(cls) == before + 50
    del objects
    gc.collect()
    assert sys.getrefcount(cls) == before
