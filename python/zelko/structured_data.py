"""Structured data checked against the schema.org vocabulary built into the
engine, and against the properties search engines need for rich results.

``check_structured_data`` reads a payload's JSON-LD in place (no copy, no
JSON text in between), JSON text, or Python values (a node, a list of nodes,
an ``@graph`` document). Findings are :class:`SEOIssue` objects, rule ids
ZELKO301 to ZELKO312, with ``details["path"]`` naming the node and property
(``$[0].offers.price``).
"""

from __future__ import annotations

from collections.abc import Sequence

from _zelko_native import (
    SEOIssue,
    SEOPayload,
    _check_structured_data,
    _is_rich_result_type,
    _schema_vocabulary,
)

from .head import SEOHead

__all__ = ["check_structured_data", "rich_result_types", "vocabulary_release"]


def vocabulary_release() -> str:
    """The schema.org release the built-in vocabulary comes from ("30.0")."""
    return _schema_vocabulary()[0]


def rich_result_types() -> list[str]:
    """The types the rich-result table has requirements for, sorted.

    Their schema.org subtypes (``BlogPosting``, ``Restaurant``) are accepted
    wherever a rich-result type is.
    """
    return list(_schema_vocabulary()[1])


def rich_result_names(value: object, where: str) -> list[str]:
    """``value`` read as a sequence of rich-result type names.

    TypeError for a lone string or a non-string item, ValueError naming
    ``where`` for a name the table does not know.
    """
    if value is None:
        return []
    if isinstance(value, (str, bytes)) or not isinstance(value, Sequence):
        raise TypeError(f"{where} must be a sequence of type names, not {type(value).__name__}")
    names = list(value)
    for name in names:
        if not isinstance(name, str):
            raise TypeError(f"{where} must hold str, not {type(name).__name__}")
        if not _is_rich_result_type(name):
            known = ", ".join(rich_result_types())
            raise ValueError(f"{where}: {name!r} is not a rich-result type (known: {known})")
    return names


def check_structured_data(
    value: object, *, rich_results: Sequence[str] | None = None
) -> list[SEOIssue]:
    """The structured data findings of ``value``.

    ``value``: an :class:`SEOPayload` or :class:`SEOHead` (its JSON-LD), JSON
    text, or Python values. ``rich_results``: type names the page must be
    eligible for; each without an eligible node gives a ZELKO312 error.
    """
    if rich_results is None and type(value) is SEOPayload:
        return _check_structured_data(value, ())  # the common case, first
    names = rich_result_names(rich_results, "rich_results")
    if isinstance(value, SEOHead):
        value = value.payload
    if isinstance(value, (bytes, bytearray)):
        raise TypeError("structured data must be str, not bytes: decode it first")
    # Python values go through json.dumps and the engine's JSON reader.
    return _check_structured_data(value, names)
