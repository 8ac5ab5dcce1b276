"""Site configurations, entities and overrides from files or Python values.

The same schema as the command line's site and page files, with the same
messages: every key is a constructor parameter of the class it describes and
nested tables describe nested objects. From Python, the values may also take
the forms a web application has at hand: dates and datetimes for
``published_at``/``updated_at``, ``Decimal`` or ``int`` prices, tuples for
lists, tuples or mappings for breadcrumbs, FAQ items and images, and the
native objects themselves (``Breadcrumb``, ``SEOImage``, ``Robots``, ...).

Every refusal raises :class:`InputError` (a ``ValueError``) naming the source
and the field, for example ``settings.ZELKO: url_policy.trailing_slash: ...``.
"""

from __future__ import annotations

import datetime
import decimal
import os
from collections.abc import Callable, Mapping
from functools import cache
from typing import Any

from _zelko_native import (
    PageHead,
    SEOConfig,
    SEOEntity,
    SEOOverrides,
    SiteHead,
    URLPolicy,
    _input_fields,
)

from . import _files
from ._files import InputError

__all__ = [
    "InputError",
    "entity_from_mapping",
    "load_config",
    "load_site_head",
    "overrides_from_mapping",
    "page_head_from_mapping",
    "site_head_from_mapping",
]

ConfigSource = str | os.PathLike[str] | Mapping[str, Any]

# SEOConfig.to_dict() writes the policy's trailing slash capitalized.
_TRAILING_SLASH_NAMES = {"Always": "always", "Never": "never", "Preserve": "preserve"}


def load_config(source: ConfigSource, *, name: str = "config") -> SEOConfig:
    """Makes the site configuration of a ``.toml``/``.json`` file or a mapping.

    A mapping has the keys of a site file; ``SEOConfig.to_dict()`` output is
    accepted too. Errors name the file, or for a mapping ``name``.
    """
    if isinstance(source, Mapping):
        config: SEOConfig = _files._config().build(_plain_config(source, name), name, "")
        return config
    if not isinstance(source, (str, os.PathLike)):
        raise InputError(name, "", f"expected a file path or a mapping, got {_type_name(source)}")
    return _files.load_site(source).config


def entity_from_mapping(mapping: Mapping[str, Any], *, name: str = "entity") -> SEOEntity:
    """Makes an ``SEOEntity`` from the ``entity`` table of a page file."""
    entity: SEOEntity = _files._entity().build(_plain_entity(mapping, name), name, "")
    return entity


def overrides_from_mapping(mapping: Mapping[str, Any], *, name: str = "overrides") -> SEOOverrides:
    """Makes ``SEOOverrides`` from the ``overrides`` table of a page file."""
    overrides: SEOOverrides = _files._overrides().build(_plain_overrides(mapping, name), name, "")
    return overrides


def load_site_head(source: ConfigSource, *, name: str = "config") -> SiteHead | None:
    """Makes the site head of a site file's ``[head]`` table, or of a
    mapping's ``head`` (the same table, or a ``SiteHead``); ``None`` when
    there is none. Errors name the file, or for a mapping ``name``."""
    if isinstance(source, Mapping):
        head = source.get("head")
        return None if head is None else site_head_from_mapping(head, name=name, field="head")
    if not isinstance(source, (str, os.PathLike)):
        raise InputError(name, "", f"expected a file path or a mapping, got {_type_name(source)}")
    return _files.load_site(source).head


def site_head_from_mapping(
    mapping: Mapping[str, Any] | SiteHead, *, name: str = "head", field: str = ""
) -> SiteHead:
    """Makes a ``SiteHead`` from the ``[head]`` table of a site file (a
    ``SiteHead`` is taken as it is). Errors name ``name`` and the field below
    ``field``."""
    if isinstance(mapping, SiteHead):
        return mapping
    plain = _members(_table(mapping, name, field), name, field, _plain_fields(SiteHead))
    head: SiteHead = _files._shape_of(SiteHead).build(plain, name, field)
    return head


def page_head_from_mapping(
    mapping: Mapping[str, Any] | PageHead, *, name: str = "head", field: str = ""
) -> PageHead:
    """Makes a ``PageHead`` from the ``"head"`` object of a page file (a
    ``PageHead`` is taken as it is); times may also be aware datetimes."""
    if isinstance(mapping, PageHead):
        return mapping
    plain = _members(_table(mapping, name, field), name, field, _plain_fields(PageHead))
    head: PageHead = _files._shape_of(PageHead).build(plain, name, field)
    return head


# --- From Python values to the decoded-file forms the shapes read ------------
#
# Each function below returns what a JSON or TOML reader would have produced
# for the same data (dicts, lists, strings, numbers); anything it does not
# recognise is passed on unchanged, so the shapes report it with the usual
# message and field path.

Plain = Callable[[object, str, str], object]


def _type_name(value: object) -> str:
    return type(value).__name__


def _table(value: object, source: str, path: str) -> object:
    if not isinstance(value, Mapping):
        return value
    for key in value:
        if not isinstance(key, str):
            raise InputError(source, path, f"keys must be strings, got {_type_name(key)}")
    return dict(value)


def _table_of(native: type) -> Plain:
    """A nested object given as a mapping, a tuple in field order or an
    instance of ``native``."""

    def convert(value: object, source: str, path: str) -> object:
        keys = tuple(key for key, *_ in _input_fields(native))
        if isinstance(value, native):
            value = {key: getattr(value, key) for key in keys if getattr(value, key) is not None}
        elif isinstance(value, tuple):
            if not 0 < len(value) <= len(keys):
                raise InputError(
                    source,
                    path,
                    f"expected a tuple of up to {len(keys)} values ({', '.join(keys)})",
                )
            value = dict(zip(keys, value, strict=False))  # a shorter tuple leaves the rest out
        return _members(_table(value, source, path), source, path, _plain_fields(native))

    return convert


def _members(value: object, source: str, path: str, fields: Mapping[str, Plain]) -> object:
    if not isinstance(value, dict):
        return value
    return {
        key: fields[key](item, source, _join(path, key)) if key in fields else item
        for key, item in value.items()
    }


def _join(path: str, key: str) -> str:
    return f"{path}.{key}" if path else key


def _list(value: object, source: str, path: str) -> object:
    return list(value) if isinstance(value, tuple) else value


def _list_of(item: Plain) -> Plain:
    def convert(value: object, source: str, path: str) -> object:
        if not isinstance(value, (list, tuple)):
            return value
        return [item(element, source, f"{path}[{index}]") for index, element in enumerate(value)]

    return convert


def _timestamp(value: object, source: str, path: str) -> object:
    """A date or datetime as ISO 8601 text; an aware datetime keeps its offset."""
    if isinstance(value, (datetime.date, datetime.datetime)):
        return value.isoformat()
    return value


def _price(value: object, source: str, path: str) -> object:
    """An exact amount as decimal text: a binary float is refused, since it
    rarely holds the price that was meant (0.1 + 0.2)."""
    if isinstance(value, bool):
        return value
    if isinstance(value, int):
        return str(value)
    if isinstance(value, decimal.Decimal):
        if not value.is_finite():
            raise InputError(source, path, f"not a finite number: {value}")
        return format(value, "f")
    if isinstance(value, float):
        raise InputError(source, path, "a float is not exact: pass a Decimal, an int or a string")
    return value


def _schema_type_map(value: object, source: str, path: str) -> object:
    # SEOConfig itself takes (entity type, schema type) pairs.
    if isinstance(value, (list, tuple)) and all(
        isinstance(pair, tuple) and len(pair) == 2 for pair in value
    ):
        return dict(value)
    return _table(value, source, path)


def _trailing_slash(value: object, source: str, path: str) -> object:
    return _TRAILING_SLASH_NAMES.get(value, value) if isinstance(value, str) else value


# What a web application passes that a file would not hold, per field; every
# other field is converted by its kind.
_PYTHON_FORMS: dict[tuple[type, str], Plain] = {
    (SEOEntity, "published_at"): _timestamp,
    (SEOEntity, "updated_at"): _timestamp,
    (SEOEntity, "price"): _price,
    (URLPolicy, "trailing_slash"): _trailing_slash,
}


@cache
def _plain_fields(native: type) -> dict[str, Plain]:
    fields: dict[str, Plain] = {}
    for key, kind, _required, _description, nested, _bounds in _input_fields(native):
        special = _PYTHON_FORMS.get((native, key))
        if special is not None:
            fields[key] = special
        elif nested is not None:  # a record, or a list of records
            table = _table_of(nested)
            fields[key] = table if kind == "record" else _list_of(table)
        elif kind == "text list":
            fields[key] = _list
        elif kind == "time":
            fields[key] = _timestamp
        elif kind == "text map":
            fields[key] = _schema_type_map
    return fields


def _plain_entity(mapping: object, source: str) -> object:
    return _members(_table(mapping, source, ""), source, "", _plain_fields(SEOEntity))


def _plain_overrides(mapping: object, source: str) -> object:
    return _members(_table(mapping, source, ""), source, "", _plain_fields(SEOOverrides))


def _plain_config(mapping: object, source: str) -> object:
    return _members(_table(mapping, source, ""), source, "", _plain_fields(SEOConfig))
