"""Python schema generators that replace the engine's JSON-LD by type.

An ``SEOConfig`` whose ``schema_registry`` attribute holds a
:class:`SchemaRegistry` asks it, after every build, whether it has a
generator for the payload's Schema.org type: the ``"@type"`` of the JSON-LD
when it is a single top-level object. When it has, the generator's result
replaces the payload's JSON-LD as a whole; a generator that returns ``None``
keeps the engine's node. A payload whose JSON-LD is an array (an entity with
breadcrumbs gives its node plus a ``BreadcrumbList``) is never looked into, so
no generator runs for it.

This class is also ``zelko.SchemaRegistry``. The native
``_zelko_native.SchemaRegistry`` is a read-only handle on the engine's own
registry; Python generators belong here.
"""

from __future__ import annotations

from collections.abc import Callable
from typing import Any, TypeVar, overload

from _zelko_native import SEOConfig, SEOEntity

__all__ = ["SchemaGenerator", "SchemaRegistry"]

#: A generator receives the entity and configuration of the build and the
#: payload's resolved canonical URL, title, description and Open Graph image
#: URL (``None`` when the page has none). It returns a JSON-serializable value
#: (normally a ``dict``) or ``None`` to keep the engine's node.
SchemaGenerator = Callable[[SEOEntity, SEOConfig, str, str, str, str | None], Any]

GeneratorT = TypeVar("GeneratorT", bound=SchemaGenerator)


def _check_schema_type(schema_type: object) -> str:
    if not isinstance(schema_type, str):
        raise TypeError(f"schema type must be a str, not {type(schema_type).__name__}")
    if not schema_type.strip():
        raise ValueError("schema type must be a non-empty string")
    return schema_type


class SchemaRegistry:
    """Schema.org type names mapped to Python generators.

    Registering a type again replaces its generator. Every method is safe to
    call from several threads: each touches the table in one dictionary
    operation, which the interpreter performs atomically, so the registry
    needs no lock of its own (and a process forked while another thread uses
    it inherits no lock held by a thread that does not exist in the child)::

        schemas = SchemaRegistry()

        @schemas.register("Article")
        def article(entity, config, canonical, title, description, image):
            return {"@context": "https://schema.org", "@type": "Article",
                    "headline": title, "url": canonical}
    """

    __slots__ = ("_generators",)

    def __init__(self) -> None:
        self._generators: dict[str, SchemaGenerator] = {}

    @overload
    def register(self, schema_type: str) -> Callable[[GeneratorT], GeneratorT]: ...

    @overload
    def register(self, schema_type: str, generator: GeneratorT) -> GeneratorT: ...

    def register(
        self, schema_type: str, generator: GeneratorT | None = None
    ) -> GeneratorT | Callable[[GeneratorT], GeneratorT]:
        """Registers ``generator`` for ``schema_type`` and returns it unchanged.

        Called with the type alone, returns a decorator that does the same.
        Raises ``TypeError`` for a type that is not a ``str`` or a generator
        that is not callable, and ``ValueError`` for a blank type name.
        """
        type_name = _check_schema_type(schema_type)

        def add(fn: GeneratorT) -> GeneratorT:
            if not callable(fn):
                raise TypeError(
                    f"schema generator for {type_name!r} must be callable, not {type(fn).__name__}"
                )
            self._generators[type_name] = fn
            return fn

        if generator is None:
            return add
        return add(generator)

    def unregister(self, schema_type: str) -> None:
        """Removes the generator of ``schema_type``; ``KeyError`` if it has none."""
        del self._generators[schema_type]

    def has(self, schema_type: str) -> bool:
        """Tells whether a generator is registered for exactly ``schema_type``."""
        return schema_type in self._generators

    def generate(
        self,
        schema_type: str,
        entity: SEOEntity,
        config: SEOConfig,
        canonical: str,
        title: str,
        description: str,
        image: str | None,
    ) -> Any:
        """Calls the generator of ``schema_type`` and returns its result.

        Raises ``KeyError`` when no generator is registered for the type.
        """
        generator = self._generators.get(schema_type)
        if generator is None:
            raise KeyError(schema_type)
        return generator(entity, config, canonical, title, description, image)

    def list_types(self) -> list[str]:
        """Returns the registered type names in ascending order."""
        # A copy first: sorting iterates, and another thread may add a type.
        return sorted(self._generators.copy())

    def __len__(self) -> int:
        return len(self._generators)

    def __repr__(self) -> str:
        return f"SchemaRegistry({self.list_types()!r})"
