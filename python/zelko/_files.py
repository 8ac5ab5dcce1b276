"""Reading site configurations, pages and contracts from files.

Every key of a file maps one to one onto a constructor parameter of the
native class it describes; nested tables (objects) describe nested objects.
A file that cannot be read, does not parse, has an unknown key or a value of
the wrong kind raises :class:`InputError`, which names the file and the
field (``entity.breadcrumbs[1].url``), so that the command line can report
it on a single line.
"""

from __future__ import annotations

import datetime
import difflib
import json
import math
import os
import sys
from collections.abc import Callable, Iterable, Mapping
from dataclasses import dataclass
from functools import cache, partial
from typing import Any

from _zelko_native import (
    Organization,
    PageHead,
    Person,
    Robots,
    RobotsExtra,
    SEOConfig,
    SEOContractConfig,
    SEOEntity,
    SEOExpectation,
    SEOOverrides,
    SiteHead,
    URLPolicy,
    _input_fields,
    _is_rich_result_type,
)

from ._dates import iso_date_problem

if sys.version_info >= (3, 11):
    import tomllib
else:  # pragma: no cover - exercised on Python 3.10 only
    import tomli as tomllib

__all__ = [
    "InputError",
    "Page",
    "RobotsTable",
    "Site",
    "is_unicode",
    "load_contract_config",
    "load_page",
    "load_site",
    "read_document",
]


class InputError(ValueError):
    """A file (or mapping) that cannot be turned into zelko objects.

    ``source`` is the file as the user named it, ``field`` the dotted path of
    the offending key (empty when the whole file is at fault).
    """

    def __init__(self, source: str, field: str, message: str) -> None:
        super().__init__(source, field, message)
        self.source = source
        self.field = field
        self.message = message

    def __str__(self) -> str:
        parts = [part for part in (self.source, self.field) if part]
        return ": ".join([*parts, self.message])


@dataclass(frozen=True)
class RobotsTable:
    """A site file's ``[robots]`` table: rule groups and sitemap locations."""

    groups: tuple[dict[str, Any], ...] = ()
    sitemaps: tuple[str, ...] = ()


@dataclass(frozen=True)
class Site:
    """A site configuration file: the configuration and its URL policy."""

    source: str
    config: SEOConfig
    url_policy: URLPolicy
    emit_warnings: bool
    robots: RobotsTable = RobotsTable()
    # The [head] table: what every page's head holds beside the payload.
    head: SiteHead | None = None


@dataclass(frozen=True)
class Page:
    """One page file: the entity, the route it is served at, its overrides."""

    source: str
    route: str
    entity: SEOEntity
    overrides: SEOOverrides | None
    # Language tag -> route or URL, in file order; empty when not given.
    alternates: tuple[tuple[str, str], ...] = ()
    # The "head" object: what this page's head holds beside the payload.
    head: PageHead | None = None


# --- Field kinds -------------------------------------------------------------
#
# A kind checks one decoded value and turns it into the constructor argument.
# It raises InputError naming ``path`` when the value does not fit.

Convert = Callable[[object, str, str], Any]


def _describe(value: object) -> str:
    """Names a decoded value's kind in the words of JSON and TOML."""
    if value is None:
        return "null"
    if isinstance(value, bool):
        return "a boolean"
    if isinstance(value, int):
        return "an integer"
    if isinstance(value, float):
        return "a float"
    if isinstance(value, str):
        return "a string"
    if isinstance(value, list):
        return "an array"
    if isinstance(value, dict):
        return "a table"
    if isinstance(value, (datetime.date, datetime.time)):
        return "a date or time (quote it to make it a string)"
    return f"an instance of {type(value).__name__}"


def _text(value: object, source: str, path: str) -> str:
    if not isinstance(value, str):
        raise InputError(source, path, f"expected a string, got {_describe(value)}")
    return value


def _flag(value: object, source: str, path: str) -> bool:
    if not isinstance(value, bool):
        raise InputError(source, path, f"expected a boolean, got {_describe(value)}")
    return value


def _integer(low: int, high: int) -> Convert:
    def convert(value: object, source: str, path: str) -> int:
        if isinstance(value, bool) or not isinstance(value, int):
            raise InputError(source, path, f"expected an integer, got {_describe(value)}")
        if not low <= value <= high:
            raise InputError(source, path, f"must be between {low} and {high}, got {value}")
        return value

    return convert


_int32 = _integer(-(2**31), 2**31 - 1)
_uint32 = _integer(0, 2**32 - 1)
_uint64 = _integer(0, 2**64 - 1)


def _text_list(value: object, source: str, path: str) -> list[str]:
    if not isinstance(value, list):
        raise InputError(source, path, f"expected an array of strings, got {_describe(value)}")
    return [_text(item, source, f"{path}[{index}]") for index, item in enumerate(value)]


def _text_map(value: object, source: str, path: str) -> list[tuple[str, str]]:
    if not isinstance(value, dict):
        raise InputError(source, path, f"expected a table, got {_describe(value)}")
    return [(key, _text(item, source, f"{path}.{key}")) for key, item in value.items()]


# The engine reads structured data no deeper than this many nested arrays and
# objects.
_JSON_NESTING_LIMIT = 128


def _structured_data(value: object, source: str, path: str) -> object:
    """Refuses what the engine could not read as JSON: the page would lose its
    structured data without a word. Decoded JSON has no NaN (the reader
    refuses it), but a huge number decodes to infinity and a ``\\ud800``
    escape to a lone surrogate."""
    pending: list[tuple[object, str, int]] = [(value, path, 0)]
    while pending:
        item, where, depth = pending.pop()
        if isinstance(item, float) and not math.isfinite(item):
            raise InputError(source, where, "not a finite number")
        if isinstance(item, str) and not is_unicode(item):
            raise InputError(source, where, "a string with a lone surrogate")
        if isinstance(item, (list, dict)) and depth == _JSON_NESTING_LIMIT:
            raise InputError(source, path, f"nested deeper than {_JSON_NESTING_LIMIT} levels")
        if isinstance(item, list):
            pending.extend(
                (element, f"{where}[{index}]", depth + 1) for index, element in enumerate(item)
            )
        elif isinstance(item, dict):
            for key, member in item.items():
                if not is_unicode(key):
                    raise InputError(source, where, "a key with a lone surrogate")
                pending.append((member, f"{where}.{key}", depth + 1))
    return value


def is_unicode(text: str) -> bool:
    """Whether ``text`` can be written as UTF-8 (no lone surrogate)."""
    try:
        text.encode("utf-8")
    except UnicodeEncodeError:
        return False
    return True


def _nested(make: Callable[[], _Shape]) -> Convert:
    def convert(value: object, source: str, path: str) -> Any:
        return make().build(value, source, path)

    return convert


def _nested_list(make: Callable[[], _Shape]) -> Convert:
    def convert(value: object, source: str, path: str) -> list[Any]:
        if not isinstance(value, list):
            raise InputError(source, path, f"expected an array of tables, got {_describe(value)}")
        shape = make()
        return [shape.build(item, source, f"{path}[{index}]") for index, item in enumerate(value)]

    return convert


def _nested_map(make: Callable[[], _Shape]) -> Convert:
    def convert(value: object, source: str, path: str) -> list[tuple[str, Any]]:
        if not isinstance(value, dict):
            raise InputError(source, path, f"expected a table, got {_describe(value)}")
        shape = make()
        return [(key, shape.build(item, source, f"{path}.{key}")) for key, item in value.items()]

    return convert


# --- Shapes ------------------------------------------------------------------
#
# Each shape is made once and shared (``cache``): a run over thousands of
# pages converts them all with the same tables.


@dataclass(frozen=True)
class _Shape:
    """The keys a table may have and the object they make.

    ``positional`` keys are required and passed positionally, in order; all
    other keys are optional keyword arguments. A JSON null counts as absent.
    """

    make: Callable[..., Any]
    positional: tuple[str, ...]
    fields: Mapping[str, Convert]

    def build(self, value: object, source: str, path: str) -> Any:
        if not isinstance(value, dict):
            raise InputError(source, path, f"expected a table, got {_describe(value)}")
        arguments: dict[str, Any] = {}
        for key, item in value.items():
            convert = self.fields.get(key)
            if convert is None:
                raise InputError(source, _join(path, key), _unknown_field(key, self.fields))
            if item is not None:
                arguments[key] = convert(item, source, _join(path, key))
        for key in self.positional:
            if key not in arguments:
                raise InputError(source, _join(path, key), "required field is missing")
        positional = [arguments.pop(key) for key in self.positional]
        try:
            return self.make(*positional, **arguments)
        except (ValueError, TypeError, OverflowError) as error:
            raise _attribute(error, self, source, path) from None


def _unknown_field(key: object, fields: Mapping[str, Convert]) -> str:
    expected = ", ".join(sorted(fields))
    close = difflib.get_close_matches(str(key), fields, n=1)
    guess = f"; did you mean {close[0]!r}?" if close else ""
    return f"unknown field{guess} (expected one of: {expected})"


def _join(path: str, key: str) -> str:
    return f"{path}.{key}" if path else key


class _FieldRefusal(ValueError):
    """A refusal by one of this module's own makers, naming its field as the
    engine's errors do."""

    def __init__(self, field: str, message: str) -> None:
        super().__init__(f"{field} {message}")
        self.field = field


def _attribute(error: Exception, shape: _Shape, source: str, path: str) -> InputError:
    """Names the field that a refusing constructor complained about.

    The engine's errors carry that field as ``error.field``. It becomes the
    field of the error; a message that opens with the field's name
    ("canonical_host must be a non-empty string") does not repeat it.
    """
    message = str(error)
    field: str | None = getattr(error, "field", None)
    if field == "trailing_slash":  # checked when the configuration is made
        return InputError(source, _join(path, "url_policy.trailing_slash"), message)
    # A field within a list of records ("images[1].url") by its list's name.
    if field is not None and field.split("[", 1)[0].split(".", 1)[0] in shape.fields:
        return InputError(source, _join(path, field), message.removeprefix(field + " "))
    return InputError(source, path, message)


# The input classes' shapes come from their field tables: a field's kind
# says how its value is read; a nested record is read by its own shape.
_KINDS: dict[str, Convert] = {
    "text": _text,
    "url": _text,
    "choice": _text,  # the class checks the word
    "flag": _flag,
    "time": _text,  # the class checks the date
    "text list": _text_list,
    "text map": _text_map,
    "json": _structured_data,
}


def _iso_datetime(value: object, source: str, path: str) -> str:
    text = _text(value, source, path)
    problem = iso_date_problem(text)
    if problem is not None:
        raise InputError(source, path, problem)
    return text


_NESTED_KINDS: dict[str, Callable[[Callable[[], _Shape]], Convert]] = {
    "record": _nested,
    "record list": _nested_list,
    "record map": _nested_map,
}


def _theme_colors(value: object, source: str, path: str) -> Any:
    """A colour, or an array of tables {color, media}."""
    if isinstance(value, str):
        return value
    if not isinstance(value, list):
        raise InputError(
            source, path, f"expected a string or an array of tables, got {_describe(value)}"
        )
    colors = []
    for index, item in enumerate(value):
        where = f"{path}[{index}]"
        if not isinstance(item, dict) or set(item) - {"color", "media"} or "color" not in item:
            raise InputError(source, where, "expected a table with color and, optionally, media")
        media = item.get("media")
        colors.append(
            (
                _text(item["color"], source, where + ".color"),
                None if media is None else _text(media, source, where + ".media"),
            )
        )
    return colors


def _crawler_robots(value: object, source: str, path: str) -> Any:
    """One table of a crawler's robots: the Robots keys and the RobotsExtra
    keys side by side."""
    if not isinstance(value, dict):
        raise InputError(source, path, f"expected a table, got {_describe(value)}")
    robots_keys = {key for key, *_ in _input_fields(Robots)}
    robots = {key: item for key, item in value.items() if key in robots_keys}
    extra = {key: item for key, item in value.items() if key not in robots_keys}
    return (
        _shape_of(Robots).build(robots, source, path),
        _shape_of(RobotsExtra).build(extra, source, path),
    )


# The identity table's "type" and the class it makes.
_IDENTITIES: dict[str, type] = {"organization": Organization, "person": Person}


def _identity(value: object, source: str, path: str) -> Any:
    """A table of an Organization or a Person, told apart by its "type"."""
    if not isinstance(value, dict):
        raise InputError(source, path, f"expected a table, got {_describe(value)}")
    kind = value.get("type")
    cls = _IDENTITIES.get(kind.lower()) if isinstance(kind, str) else None
    if cls is None:
        raise InputError(source, _join(path, "type"), 'expected "organization" or "person"')
    fields = {key: item for key, item in value.items() if key != "type"}
    return _shape_of(cls).build(fields, source, path)


# Fields whose value is more than its kind says.
_FIELD_CHECKS: dict[tuple[type, str], Convert] = {
    (SEOEntity, "published_at"): _iso_datetime,
    (SEOEntity, "updated_at"): _iso_datetime,
    (SiteHead, "theme_color"): _theme_colors,
    (SiteHead, "identity"): _identity,
    (PageHead, "googlebot"): _crawler_robots,
    (PageHead, "bingbot"): _crawler_robots,
}


@cache
def _shape_of(cls: type) -> _Shape:
    if cls is SEOExpectation:
        return _expectation_shape()
    return _record_shape(cls)


# An expectation's `schema` table (`[defaults.schema]`) spells its schema_*
# fields as one table: required, types, valid, rich_results.
_SCHEMA_TABLE_KEYS = ("required", "types", "valid", "rich_results")


def _expectation_shape() -> _Shape:
    flat = _record_shape(SEOExpectation)
    table = _Shape(dict, (), {key: flat.fields[f"schema_{key}"] for key in _SCHEMA_TABLE_KEYS})

    def make(**arguments: Any) -> SEOExpectation:
        schema = arguments.pop("schema", None) or {}
        for key, value in schema.items():
            if f"schema_{key}" in arguments:
                raise _FieldRefusal(f"schema_{key}", "is given twice: also in the schema table")
            arguments[f"schema_{key}"] = value
        for name in arguments.get("schema_rich_results") or ():
            if not _is_rich_result_type(name):
                raise _FieldRefusal("schema_rich_results", f"{name!r} is not a rich-result type")
        return SEOExpectation(**arguments)

    return _Shape(make, flat.positional, {**flat.fields, "schema": table.build})


def _record_shape(cls: type) -> _Shape:
    fields: dict[str, Convert] = {}
    positional: list[str] = []
    for key, kind, required, _description, nested, bounds in _input_fields(cls):
        if required:
            positional.append(key)
        if (cls, key) in _FIELD_CHECKS:
            fields[key] = _FIELD_CHECKS[cls, key]
        elif nested is not None:  # a record, a list or a map of records
            shape = partial(_shape_of, nested)
            fields[key] = _NESTED_KINDS[kind](shape)
        elif kind == "integer":
            assert bounds is not None
            fields[key] = _integer(*bounds)
        else:
            fields[key] = _KINDS[kind]
    return _Shape(cls, tuple(positional), fields)


def _url_policy() -> _Shape:
    return _shape_of(URLPolicy)


def _entity() -> _Shape:
    return _shape_of(SEOEntity)


def _overrides() -> _Shape:
    return _shape_of(SEOOverrides)


def _config() -> _Shape:
    return _shape_of(SEOConfig)


@cache
def _page() -> _Shape:
    return _Shape(
        _make_page,
        ("route", "entity"),
        {
            "route": _text,
            "entity": _nested(_entity),
            "overrides": _nested(_overrides),
            "alternates": _text_map,
            "head": _nested(partial(_shape_of, PageHead)),
        },
    )


def _make_page(
    route: str,
    entity: SEOEntity,
    *,
    overrides: SEOOverrides | None = None,
    alternates: list[tuple[str, str]] | None = None,
    head: PageHead | None = None,
) -> tuple[str, SEOEntity, SEOOverrides | None, tuple[tuple[str, str], ...], PageHead | None]:
    if not route.strip():
        raise _FieldRefusal("route", "must be a non-empty path or URL")
    return route, entity, overrides, tuple(alternates or ()), head


def _robots_group(
    user_agents: list[str],
    *,
    allow: list[str] | None = None,
    disallow: list[str] | None = None,
    crawl_delay: float | None = None,
) -> dict[str, Any]:
    group: dict[str, Any] = {
        "user_agents": user_agents,
        "allow": allow or [],
        "disallow": disallow or [],
    }
    if crawl_delay is not None:
        group["crawl_delay"] = crawl_delay
    return group


def _number(value: object, source: str, path: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise InputError(source, path, f"expected a number, got {_describe(value)}")
    return value


@cache
def _robots_group_shape() -> _Shape:
    return _Shape(
        _robots_group,
        ("user_agents",),
        {
            "user_agents": _text_list,
            "allow": _text_list,
            "disallow": _text_list,
            "crawl_delay": _number,
        },
    )


def _make_robots_table(
    *, group: list[dict[str, Any]] | None = None, sitemaps: list[str] | None = None
) -> RobotsTable:
    return RobotsTable(tuple(group or ()), tuple(sitemaps or ()))


@cache
def _robots_table() -> _Shape:
    return _Shape(
        _make_robots_table,
        (),
        {"group": _nested_list(_robots_group_shape), "sitemaps": _text_list},
    )


def _contract_config() -> _Shape:
    return _shape_of(SEOContractConfig)


# --- Documents ---------------------------------------------------------------


def _refuse_constant(name: str) -> float:
    raise ValueError(f"{name} is not valid JSON")


def _unique_keys(pairs: list[tuple[str, Any]]) -> dict[str, Any]:
    result: dict[str, Any] = {}
    for key, value in pairs:
        if key in result:
            raise ValueError(f"duplicate key {key!r}")
        result[key] = value
    return result


def _parse_json(text: str, source: str) -> object:
    try:
        return json.loads(text, parse_constant=_refuse_constant, object_pairs_hook=_unique_keys)
    except ValueError as error:
        raise InputError(source, "", f"invalid JSON: {error}") from None
    except RecursionError:
        raise InputError(source, "", "invalid JSON: nested too deeply") from None


def _parse_toml(text: str, source: str) -> object:
    try:
        document = tomllib.loads(text)
    except tomllib.TOMLDecodeError as error:
        raise InputError(source, "", f"invalid TOML: {error}") from None
    except RecursionError:
        raise InputError(source, "", "invalid TOML: nested too deeply") from None
    return document


def read_document(path: str | os.PathLike[str], *, formats: Iterable[str]) -> object:
    """Reads and decodes a JSON or TOML file, chosen by its extension."""
    source = os.fspath(path)
    suffix = os.path.splitext(source)[1].lower()
    allowed = tuple(formats)
    if suffix not in allowed:
        names = " or ".join(allowed)
        raise InputError(source, "", f"unsupported file type (expected {names})")
    try:
        with open(source, encoding="utf-8") as handle:
            text = handle.read()
    except UnicodeDecodeError as error:
        raise InputError(source, "", f"not UTF-8 text: {error.reason}") from None
    except (OSError, ValueError) as error:  # ValueError: a NUL in the name
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(source, "", f"cannot read: {reason or error}") from None
    if suffix == ".toml":
        return _parse_toml(text, source)
    return _parse_json(text, source)


def load_site(path: str | os.PathLike[str]) -> Site:
    """Makes the site configuration of a ``.toml`` or ``.json`` file."""
    source = os.fspath(path)
    document = read_document(path, formats=(".toml", ".json"))
    robots_table = None
    head_table = None
    if isinstance(document, dict) and ("robots" in document or "head" in document):
        document = dict(document)
        robots_table = document.pop("robots", None)
        head_table = document.pop("head", None)
    config: SEOConfig = _config().build(document, source, "")
    # The configuration keeps its policy to itself; URL commands need it too.
    assert isinstance(document, dict)
    robots: RobotsTable = (
        RobotsTable()
        if robots_table is None
        else _robots_table().build(robots_table, source, "robots")
    )
    policy_table = document.get("url_policy")
    policy: URLPolicy = (
        URLPolicy()
        if policy_table is None
        else _url_policy().build(policy_table, source, "url_policy")
    )
    head: SiteHead | None = (
        None if head_table is None else _shape_of(SiteHead).build(head_table, source, "head")
    )
    return Site(source, config, policy, document.get("emit_warnings") is True, robots, head)


def load_page(path: str | os.PathLike[str]) -> Page:
    """Makes the entity, route and overrides of a ``.json`` page file."""
    source = os.fspath(path)
    document = read_document(path, formats=(".json",))
    route, entity, overrides, alternates, head = _page().build(document, source, "")
    return Page(source, route, entity, overrides, alternates, head)


def load_contract_config(path: str | os.PathLike[str]) -> SEOContractConfig:
    """Makes the contract configuration of a ``.toml`` or ``.json`` file."""
    document = read_document(path, formats=(".toml", ".json"))
    return contract_config_of(document, os.fspath(path))


def contract_config_of(document: object, source: str) -> SEOContractConfig:
    """The contract configuration of a contract document read from ``source``."""
    _read_head_tables(document, source)
    config: SEOContractConfig = _contract_config().build(document, source, "")
    return config


def _read_head_tables(document: object, source: str) -> None:
    """Turns each expectation's ``head`` table (``[defaults.head]``, as the
    contract JSON has it) into the ``head_required`` field it stands for."""
    if not isinstance(document, dict):
        return
    expectations = [("defaults", document.get("defaults"))]
    rules = document.get("rules")
    if isinstance(rules, list):
        expectations += [
            (f"rules[{index}].expect", rule.get("expect"))
            for index, rule in enumerate(rules)
            if isinstance(rule, dict)
        ]
    exceptions = document.get("exceptions")
    if isinstance(exceptions, dict):
        expectations += [(f"exceptions.{route}", table) for route, table in exceptions.items()]
    for path, table in expectations:
        if not isinstance(table, dict) or "head" not in table:
            continue
        head = table.pop("head")
        where = f"{path}.head"
        if not isinstance(head, dict):
            raise InputError(source, where, f"expected a table, got {_describe(head)}")
        for key in head:
            if key != "required":
                raise InputError(source, f"{where}.{key}", "unknown field (expected: required)")
        if "head_required" in table:
            raise InputError(source, where, "head_required is given too: give one of them")
        if "required" in head:
            table["head_required"] = head["required"]
