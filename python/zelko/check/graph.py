"""Linked-data checks of JSON-LD: a reference to a node that nothing on the
page describes (ZELKO320), and a node described one way on a page and
another way on another (ZELKO321).

A node is described by an object holding its ``@id`` and anything else; an
object holding its ``@id`` alone refers to it. Only references to ids that
name a node rather than a document (with a fragment, ``#...``, or a blank
node, ``_:...``) can dangle: ``{"@id": "https://site/page"}`` names the page
itself, which exists whether or not a node describes it.

Values come from hostile pages: walks are iterative, bounded in depth and in
the number of objects looked at.
"""

from __future__ import annotations

import json
from collections.abc import Iterable, Mapping
from dataclasses import dataclass, field
from typing import Any

from .findings import ERROR, WARNING, CheckFinding

DANGLING_REFERENCE = "ZELKO320"
CONFLICTING_DESCRIPTION = "ZELKO321"

# Deeper objects and objects past this many are not looked at.
MAX_DEPTH = 64
MAX_OBJECTS = 100_000


def json_objects(value: object) -> list[Mapping[str, Any]]:
    """Every object of a JSON value, outermost first, within the bounds."""
    found: list[Mapping[str, Any]] = []
    _collect(value, 0, found)
    return found


# What JSON values hold besides containers: passed over without the slower
# abstract checks a Mapping needs.
_SCALARS = frozenset({str, int, float, bool, type(None)})


def _collect(item: object, depth: int, found: list[Mapping[str, Any]]) -> None:
    if depth > MAX_DEPTH or len(found) >= MAX_OBJECTS:
        return
    children: Iterable[object]
    if type(item) is dict or isinstance(item, Mapping):
        found.append(item)
        children = item.values()
    elif isinstance(item, (list, tuple)):
        children = item
    else:
        return
    for child in children:
        if type(child) not in _SCALARS:
            _collect(child, depth + 1, found)


def _node_id(item: Mapping[str, Any]) -> str | None:
    node_id = item.get("@id")
    return node_id if isinstance(node_id, str) else None


def _describes(item: Mapping[str, Any]) -> bool:
    return any(key not in ("@id", "@context") for key in item)


def _names_a_node(node_id: str) -> bool:
    return "#" in node_id or node_id.startswith("_:")


def dangling_references(value: object) -> list[str]:
    """The ids referred to in `value` (JSON-LD nodes, a list of them or a
    graph) that no object of it describes, in order of first reference."""
    return _dangling(json_objects(value))


def _dangling(objects: Iterable[Mapping[str, Any]]) -> list[str]:
    described: set[str] = set()
    referenced: dict[str, None] = {}
    for item in objects:
        node_id = _node_id(item)
        if node_id is None:
            continue
        if _describes(item):
            described.add(node_id)
        elif _names_a_node(node_id):
            referenced.setdefault(node_id)
    return [node_id for node_id in referenced if node_id not in described]


def dangling_findings(route: str, objects: Iterable[Mapping[str, Any]]) -> list[CheckFinding]:
    """A ZELKO320 error per dangling reference of a page's JSON-LD, given
    its objects (``json_objects`` of its nodes)."""
    return [
        CheckFinding(
            route,
            "jsonld",
            ERROR,
            f"{DANGLING_REFERENCE}: @id {node_id!r} is referred to but no node of the page"
            " describes it",
            node_id,
        )
        for node_id in _dangling(objects)
    ]


def descriptions(objects: Iterable[Mapping[str, Any]]) -> dict[str, bytes]:
    """A digest of each described node among a page's JSON-LD objects by its
    id (the first description of an id on the page)."""
    digests: dict[str, bytes] = {}
    for item in objects:
        node_id = _node_id(item)
        if node_id is None or node_id in digests or not _describes(item):
            continue
        described = {key: member for key, member in item.items() if key != "@context"}
        text = json.dumps(described, sort_keys=True, ensure_ascii=False, separators=(",", ":"))
        import hashlib  # here, not at import: hashlib loads OpenSSL, which import zelko avoids

        digests[node_id] = hashlib.sha256(text.encode("utf-8", "surrogatepass")).digest()[:16]
    return digests


@dataclass
class _Seen:
    """The descriptions of one id: each distinct one with the first page
    (by position) that gives it."""

    first: dict[bytes, tuple[int, str]] = field(default_factory=dict)

    def add(self, digest: bytes, index: int, route: str) -> None:
        known = self.first.get(digest)
        if known is None or index < known[0]:
            self.first[digest] = (index, route)


class SiteGraph:
    """The ids described across the pages of a site: pages may come in any
    order (their position says which is first); only a digest per id and
    description is kept."""

    def __init__(self) -> None:
        self._ids: dict[str, _Seen] = {}

    def add(self, index: int, route: str, nodes: object) -> None:
        self.add_objects(index, route, json_objects(nodes))

    def add_objects(self, index: int, route: str, objects: Iterable[Mapping[str, Any]]) -> None:
        """As ``add``, given the page's objects (``json_objects`` of its nodes)."""
        for node_id, digest in descriptions(objects).items():
            self._ids.setdefault(node_id, _Seen()).add(digest, index, route)

    def findings(self) -> list[CheckFinding]:
        """A ZELKO321 warning per id described differently on two pages,
        naming the first page of each of its first two descriptions; the
        finding belongs to the later of them. In id order."""
        found = []
        for node_id in sorted(self._ids):
            pages = sorted(self._ids[node_id].first.values())
            if len(pages) < 2:
                continue
            (_, first), (_, second) = pages[0], pages[1]
            more = len(pages) - 2
            also = f" (and {more} more description{'s' if more != 1 else ''})" if more else ""
            found.append(
                CheckFinding(
                    second,
                    "jsonld",
                    WARNING,
                    f"{CONFLICTING_DESCRIPTION}: @id {node_id!r} is described differently on"
                    f" {first} and {second}{also}",
                    node_id,
                )
            )
        return found


def conflicting_descriptions(pages: Iterable[tuple[str, object]]) -> list[CheckFinding]:
    """ZELKO321 over (route, JSON-LD nodes) pairs, in their order."""
    site = SiteGraph()
    for index, (route, nodes) in enumerate(pages):
        site.add(index, route, nodes)
    return site.findings()
