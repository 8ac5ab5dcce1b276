"""Reading a contract document into the expectation of each route.

A contract is read once, checked whole (an unknown key, a value of the wrong
kind, a regular expression that does not compile, a check that cannot apply
where it stands), and flattened: every expectation becomes a mapping from a
dotted field (``title.max_length``) to its value, so that layering the
defaults, the matching rules and the route's exception is a dictionary
update, field by field.
"""

from __future__ import annotations

import functools
import os
import re
from collections.abc import Callable, Mapping
from dataclasses import dataclass, field
from typing import Any

from _zelko_native import SEOContract, _is_rich_result_type

from .._files import InputError, _describe, _parse_json
from ..structured_data import rich_result_types
from .contract_file import contract_text, load_contract_file
from .findings import ERROR, SEVERITIES
from .head import read_requirement
from .site import default_settings, read_site_settings

ContractSource = SEOContract | str | os.PathLike[str]

# The checks on a piece of text (the title, the description, or at the top
# level the canonical URL), in the order findings are reported.
TEXT_CHECKS = ("equals", "not_equals", "contains", "matches", "one_of", "min_length", "max_length")
SECTIONS = ("open_graph", "twitter", "sitemap", "hreflang")
NESTED = ("title", "description")

# Where each check can stand: the page (top level) or a nested title or
# description, whose subject is a text and not a page.
TEXT_FIELDS = frozenset({"required", "forbidden", *TEXT_CHECKS})
PAGE_FIELDS = frozenset(
    {*TEXT_FIELDS, "min_items", "max_items", "indexable", "canonical", "schema", *SECTIONS, *NESTED}
)
PAGE_FIELDS |= {"head"}

# Every flattened field, in the order findings are reported.
FIELD_ORDER: tuple[str, ...] = (
    "required",
    "forbidden",
    "indexable",
    *TEXT_CHECKS,
    "min_items",
    "max_items",
    "canonical",
    "schema",
    *(f"{section}.required" for section in SECTIONS),
    *(
        f"{nested}.{check}"
        for nested in NESTED
        for check in ("required", "forbidden", *TEXT_CHECKS)
    ),
)
FIELD_ORDER += ("head.required",)


@dataclass(frozen=True)
class SchemaExpectation:
    """The ``schema`` object, which a later layer replaces as a whole."""

    required: bool | None
    types: tuple[str, ...] | None
    # The JSON-LD checked against the schema.org vocabulary (ZELKO3xx), and
    # the rich results it must be eligible for.
    valid: bool | None = None
    rich_results: tuple[str, ...] | None = None


@dataclass(frozen=True)
class Setting:
    """A field's value and the severity of the layer that set it."""

    value: Any
    severity: str


Expectation = dict[str, Setting]
Flat = dict[str, Any]


@dataclass(frozen=True)
class Rule:
    pattern: re.Pattern[str]
    expect: Flat
    severity: str


@dataclass(frozen=True)
class Contract:
    """A contract read and checked: the site, and each layer flattened."""

    source: str
    scheme: str
    host: str
    defaults: Flat
    rules: tuple[Rule, ...]
    exceptions: Mapping[str, Flat]
    # The site rules: each one's severity, None when it is off.
    site_rules: Mapping[str, str | None] = field(default_factory=default_settings)
    # Routes matching the same rules share one expectation: merged once.
    _merged: dict[tuple[tuple[int, ...], str | None], Expectation] = field(
        default_factory=dict, compare=False, repr=False
    )

    def page_url(self, route: str) -> str:
        """A route's own URL on the contract's site."""
        return f"{self.scheme}://{self.host}{route}"

    def expectation(self, route: str) -> Expectation:
        """The defaults, then each matching rule in order, then the route's
        exception; a later layer replaces an earlier one field by field."""
        path = route_path(route)
        matching = tuple(
            index for index, rule in enumerate(self.rules) if rule.pattern.fullmatch(path)
        )
        # An exception names a route exactly: with its query when it has one.
        exact = route if route in self.exceptions else path
        key = (matching, exact if exact in self.exceptions else None)
        merged = self._merged.get(key)
        if merged is None:
            merged = {}
            _layer(merged, self.defaults, ERROR)
            for index in matching:
                _layer(merged, self.rules[index].expect, self.rules[index].severity)
            if key[1] is not None:
                _layer(merged, self.exceptions[key[1]], ERROR)
            # In the order findings are reported.
            merged = {name: merged[name] for name in FIELD_ORDER if name in merged}
            self._merged[key] = merged
        return merged

    def uses(self, name: str) -> bool:
        """Whether any layer sets the field."""
        layers = [self.defaults, *(rule.expect for rule in self.rules), *self.exceptions.values()]
        return any(name in layer for layer in layers)


def _layer(merged: Expectation, layer: Flat, severity: str) -> None:
    for name, value in layer.items():
        merged[name] = Setting(value, severity)


def route_path(route: str) -> str:
    """The route without its query (and fragment), which matching ignores."""
    return route.split("#", 1)[0].split("?", 1)[0]


def route_pattern(pattern: str) -> re.Pattern[str]:
    """ "*" is any run of characters but "/", "**" any run at all, the rest literal."""
    parts = re.split(r"(\*\*|\*)", pattern)
    wildcard = {"**": ".*", "*": "[^/]*"}
    return re.compile("".join(wildcard.get(part) or re.escape(part) for part in parts), re.DOTALL)


# --- Loading -----------------------------------------------------------------


def load_contract(contract: ContractSource) -> Contract:
    """An ``SEOContract``, its JSON text, or the path of a contract file
    (JSON, or a TOML contract configuration), read and checked."""
    if isinstance(contract, SEOContract):
        return _read_text(contract.to_json(), "<contract>")
    if isinstance(contract, str) and contract.lstrip().startswith("{"):
        return _read_text(contract, "<contract>")
    if not isinstance(contract, (str, os.PathLike)):
        raise TypeError(
            "contract must be an SEOContract, its JSON text or a path, "
            f"not {type(contract).__name__}"
        )
    source = os.fspath(contract)
    if source.lower().endswith(".toml"):
        return _read_text(contract_text(*load_contract_file(source)), source)
    return _read_text(_file_text(source), source)


def _file_text(source: str) -> str:
    try:
        with open(source, encoding="utf-8") as handle:
            return handle.read()
    except UnicodeDecodeError as error:
        raise InputError(source, "", f"not UTF-8 text: {error.reason}") from None
    except (OSError, ValueError) as error:  # ValueError: a NUL in the name
        reason = error.strerror if isinstance(error, OSError) else None
        raise InputError(source, "", f"cannot read: {reason or error}") from None


@functools.lru_cache(maxsize=16)
def _read_text(text: str, source: str) -> Contract:
    # A test suite checks route after route against one contract: read it once.
    return _read_document(_parse_json(text, source), source)


def _read_document(document: object, source: str) -> Contract:
    top = _table(document, source, "")
    _only(
        top,
        ("contract_version", "generator", "site", "defaults", "rules", "exceptions", "site_rules"),
        source,
        "",
    )
    version = top.get("contract_version")
    if version != "1":
        raise InputError(
            source,
            "contract_version",
            f'expected "1", the version this checker reads, got {version!r}',
        )
    site = _table(top.get("site"), source, "site")
    _only(site, ("canonical_host", "scheme"), source, "site")
    host = _string(site.get("canonical_host"), source, "site.canonical_host")
    scheme = _string(site.get("scheme", "https"), source, "site.scheme")
    defaults = _expectation(top.get("defaults", {}), source, "defaults", PAGE_FIELDS)
    rules = tuple(
        _rule(rule, source, f"rules[{index}]")
        for index, rule in enumerate(_array(top.get("rules", []), source, "rules"))
    )
    exceptions = {
        route: _expectation(expect, source, f"exceptions.{route}", PAGE_FIELDS)
        for route, expect in _table(top.get("exceptions", {}), source, "exceptions").items()
    }
    site_rules = default_settings()
    if "site_rules" in top:
        site_rules = read_site_settings(top["site_rules"], source, "site_rules")
    return Contract(source, scheme, host, defaults, rules, exceptions, site_rules)


def _rule(document: object, source: str, path: str) -> Rule:
    rule = _table(document, source, path)
    _only(rule, ("match", "expect", "severity"), source, path)
    match = _string(rule.get("match"), source, f"{path}.match")
    expect = _expectation(rule.get("expect", {}), source, f"{path}.expect", PAGE_FIELDS)
    severity = ERROR
    if "severity" in rule:
        severity = _severity(rule["severity"], source, f"{path}.severity")
    return Rule(route_pattern(match), expect, severity)


def _severity(value: object, source: str, path: str) -> str:
    text = _string(value, source, path)
    for severity in SEVERITIES:
        if text.lower() == severity.lower():
            return severity
    raise InputError(source, path, f"expected one of {', '.join(SEVERITIES)}, got {text!r}")


def _expectation(
    document: object, source: str, path: str, allowed: frozenset[str], prefix: str = ""
) -> Flat:
    """Flattens one expectation, refusing what cannot apply where it stands."""
    flat: Flat = {}
    subject = "a page" if not prefix else f"the {prefix.rstrip('.')}'s text"
    for key, value in _table(document, source, path).items():
        where = f"{path}.{key}"
        read = _FIELD_READERS.get(key)
        if read is None:
            raise InputError(source, where, "unknown expectation")
        if key not in allowed:
            raise InputError(source, where, f"{key} cannot apply to {subject}")
        if key in NESTED:
            flat.update(_expectation(value, source, where, TEXT_FIELDS, f"{key}."))
        elif key == "head":
            flat.update(_head(value, source, where))
        elif key in SECTIONS:
            section = _table(value, source, where)
            _only(section, ("required",), source, where)
            if "required" in section:
                flat[f"{key}.required"] = _boolean(section["required"], source, f"{where}.required")
        else:
            flat[prefix + key] = read(value, source, where)
    return flat


def _schema(value: object, source: str, path: str) -> SchemaExpectation:
    schema = _table(value, source, path)
    _only(schema, ("required", "types", "valid", "rich_results"), source, path)
    required = schema.get("required")
    types = schema.get("types")
    valid = schema.get("valid")
    rich_results = schema.get("rich_results")
    return SchemaExpectation(
        None if required is None else _boolean(required, source, f"{path}.required"),
        None if types is None else tuple(_strings(types, source, f"{path}.types")),
        None if valid is None else _boolean(valid, source, f"{path}.valid"),
        None if rich_results is None else _rich_results(rich_results, source, path),
    )


def _head(value: object, source: str, path: str) -> Flat:
    """The ``head`` object: the extras the page's head must hold."""
    head = _table(value, source, path)
    _only(head, ("required",), source, path)
    if "required" not in head:
        return {}
    where = f"{path}.required"
    return {
        "head.required": tuple(
            read_requirement(key, source, f"{where}[{index}]")
            for index, key in enumerate(_strings(head["required"], source, where))
        )
    }


def _rich_results(value: object, source: str, path: str) -> tuple[str, ...]:
    names = tuple(_strings(value, source, f"{path}.rich_results"))
    for name in names:
        if not _is_rich_result_type(name):
            known = ", ".join(rich_result_types())
            raise InputError(
                source,
                f"{path}.rich_results",
                f"{name!r} is not a rich-result type (known: {known})",
            )
    return names


def _regex(value: object, source: str, path: str) -> re.Pattern[str]:
    text = _string(value, source, path)
    try:
        return re.compile(text)
    except re.error as error:
        raise InputError(source, path, f"invalid regular expression: {error}") from None


def _count(value: object, source: str, path: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or value < 0:
        raise InputError(source, path, f"expected a count (0 or more), got {_describe(value)}")
    return value


def _boolean(value: object, source: str, path: str) -> bool:
    if not isinstance(value, bool):
        raise InputError(source, path, f"expected a boolean, got {_describe(value)}")
    return value


def _string(value: object, source: str, path: str) -> str:
    if not isinstance(value, str):
        raise InputError(source, path, f"expected a string, got {_describe(value)}")
    return value


def _strings(value: object, source: str, path: str) -> tuple[str, ...]:
    return tuple(
        _string(item, source, f"{path}[{index}]")
        for index, item in enumerate(_array(value, source, path))
    )


def _array(value: object, source: str, path: str) -> list[object]:
    if not isinstance(value, list):
        raise InputError(source, path, f"expected an array, got {_describe(value)}")
    return value


def _table(value: object, source: str, path: str) -> dict[str, object]:
    if not isinstance(value, dict):
        raise InputError(source, path, f"expected an object, got {_describe(value)}")
    return value


def _only(table: Mapping[str, object], keys: tuple[str, ...], source: str, path: str) -> None:
    for key in table:
        if key not in keys:
            raise InputError(source, f"{path}.{key}" if path else key, "unknown field")


def _read_apart(value: object, source: str, path: str) -> object:
    return value  # sections and nested expectations: read by _expectation itself


# How each key of an expectation is read; nested ones are handled apart.
_FIELD_READERS: dict[str, Callable[[object, str, str], Any]] = {
    "required": _boolean,
    "forbidden": _boolean,
    "equals": _string,
    "not_equals": _string,
    "contains": _string,
    "matches": _regex,
    "one_of": _strings,
    "min_length": _count,
    "max_length": _count,
    "min_items": _count,
    "max_items": _count,
    "indexable": _boolean,
    "canonical": _string,
    "schema": _schema,
    **dict.fromkeys(SECTIONS, _read_apart),
    **dict.fromkeys(NESTED, _read_apart),
    "head": _read_apart,
}
