"""What is read from a page, from its HTML and headers or from a payload."""

from __future__ import annotations

import functools
import json
from collections.abc import Iterable, Iterator, Mapping
from dataclasses import dataclass, field
from typing import Any

from _zelko_native import _page_html

from .graph import json_objects
from .head import payload_extras

Headers = Mapping[str, str] | Iterable[tuple[str, str]]

EXTRA_HINT = 'zelko check needs the "check" extra: pip install "zelko[check]"'

REDIRECTS = frozenset({301, 302, 303, 307, 308})
GONE = frozenset({404, 410})


@dataclass(frozen=True)
class PageFacts:
    """A page as the checks see it. ``None`` means the element is absent."""

    status: int
    location: str | None = None  # where a redirect points
    title: str | None = None
    description: str | None = None
    canonical: str | None = None
    robots: frozenset[str] = frozenset()  # directives of the meta tag and the header
    open_graph: Mapping[str, str] = field(default_factory=dict)
    twitter: Mapping[str, str] = field(default_factory=dict)
    jsonld_nodes: tuple[Mapping[str, Any], ...] = ()
    jsonld_scripts: int = 0  # scripts that parse
    jsonld_errors: tuple[str, ...] = ()
    hreflang: tuple[tuple[str, str], ...] = ()
    # Why there is no response at all (status 0), or why a page that came
    # (status 200) could not be read.
    failure: str | None = None
    # How many elements of each extra the head holds ("icon", "og:image", ...).
    head: Mapping[str, int] = field(default_factory=dict)
    # <a href> values, each once in the order first found; read only when asked for
    links: tuple[str, ...] = ()

    @functools.cached_property
    def jsonld_objects(self) -> list[Mapping[str, Any]]:
        """Every object of the JSON-LD nodes, walked once for the checks
        that look at all of them."""
        return json_objects(self.jsonld_nodes)

    @property
    def present(self) -> bool:
        return self.status == 200

    @property
    def noindex(self) -> bool:
        return "noindex" in self.robots or "none" in self.robots


def missing_page(status: int = 404, failure: str | None = None) -> PageFacts:
    return PageFacts(status=status, failure=failure)


def page_facts(
    html: str | bytes, status: int = 200, headers: Headers | None = None, *, links: bool = False
) -> PageFacts:
    """Reads a page's head: the parts a contract speaks about; with
    ``links``, the targets of its ``<a href>`` links too."""
    robots = set(robots_directives(header_values(headers, "x-robots-tag")))
    location = next(iter(header_values(headers, "location")), None)
    if status != 200:
        return PageFacts(status=status, location=location, robots=frozenset(robots))
    # The engine parses the page (lexbor's HTML5 parser, as selectolax uses
    # it) and walks the tree once: metadata comes from the head, where search
    # engines take it from (a canonical link in the body is ignored); the
    # title, when the head has none, and JSON-LD, which may stand anywhere,
    # from the whole document.
    return read_facts(_page_html(html, links), status, location, robots)


# What the engine reads from a page's HTML (``_page_html``), by position:
# the head's facts (title to extra counts), the JSON-LD texts, the links,
# why the page was not read, and the JSON-LD summary when it was asked for.
PageRead = tuple[Any, ...]
(
    TITLE,
    DESCRIPTION,
    CANONICAL,
    ROBOTS,
    OPEN_GRAPH,
    TWITTER,
    HREFLANG,
    HEAD,
    JSONLD,
    LINKS,
    UNREAD,
    JSONLD_SUMMARY,
) = range(12)


def read_facts(
    read: PageRead, status: int = 200, location: str | None = None, robots: set[str] | None = None
) -> PageFacts:
    """The facts of a page the engine read."""
    if read[UNREAD] is not None:
        return PageFacts(status=status, location=location, failure=read[UNREAD])
    reader = _HeadReader(set() if robots is None else robots)
    reader.take(*read[: HEAD + 1])
    for text in read[JSONLD]:
        reader.read_jsonld(text)
    reader.links = tuple(read[LINKS])
    return reader.facts(status, location)


def title_text(text: str) -> str:
    # White space stripped and collapsed.
    return " ".join(text.split())


class _HeadReader:
    """Collects the facts element by element; the first title, description
    and canonical count, as they do for search engines."""

    def __init__(self, robots: set[str]) -> None:
        self.robots = robots
        self.title: str | None = None
        self.description: str | None = None
        self.canonical: str | None = None
        self.open_graph: dict[str, str] = {}
        self.twitter: dict[str, str] = {}
        self.nodes: list[Mapping[str, Any]] = []
        self.scripts = 0
        self.errors: list[str] = []
        self.hreflang: list[tuple[str, str]] = []
        self.head: dict[str, int] = {}
        self.links: tuple[str, ...] = ()

    def take(
        self,
        title: str | None,
        description: str | None,
        canonical: str | None,
        robots: list[str],
        open_graph: dict[str, str],
        twitter: dict[str, str],
        hreflang: tuple[tuple[str, str], ...],
        head: dict[str, int],
    ) -> None:
        """The facts the engine read from the head."""
        self.title = None if title is None else title_text(title)
        self.description, self.canonical = description, canonical
        self.robots.update(robots_directives(robots))
        self.open_graph, self.twitter, self.head = open_graph, twitter, head
        self.hreflang = list(hreflang)

    def read_jsonld(self, text: str) -> None:
        number = self.scripts + len(self.errors) + 1
        try:
            value = json.loads(text)
        except ValueError as error:
            self.errors.append(f"JSON-LD script {number} does not parse: {error}")
            return
        except RecursionError:
            self.errors.append(f"JSON-LD script {number} does not parse: nested too deeply")
            return
        self.scripts += 1
        self.nodes.extend(jsonld_nodes(value))

    def facts(self, status: int, location: str | None) -> PageFacts:
        return PageFacts(
            status=status,
            location=location,
            title=self.title,
            description=self.description,
            canonical=self.canonical,
            robots=frozenset(self.robots),
            open_graph=self.open_graph,
            twitter=self.twitter,
            jsonld_nodes=tuple(self.nodes),
            jsonld_scripts=self.scripts,
            jsonld_errors=tuple(self.errors),
            hreflang=tuple(self.hreflang),
            head=self.head,
            links=self.links,
        )


def jsonld_nodes(value: object) -> Iterator[Mapping[str, Any]]:
    """The nodes of a JSON-LD value: a top-level object, the elements of a
    top-level array, the members of a ``@graph`` (the object holding a graph
    counts only when it has a type of its own). Nothing deeper is a node, so
    a hostile script nested a thousand arrays deep costs one step."""
    for item in value if isinstance(value, list) else [value]:
        if not isinstance(item, dict):
            continue
        graph = item.get("@graph")
        if isinstance(graph, list):
            if "@type" in item:
                yield item
            yield from (member for member in graph if isinstance(member, dict))
        else:
            yield item


def node_types(node: Mapping[str, Any]) -> list[str]:
    kind = node.get("@type")
    if isinstance(kind, str):
        return [kind]
    if isinstance(kind, list):
        return [item for item in kind if isinstance(item, str)]
    return []


def robots_directives(values: Iterable[str]) -> Iterator[str]:
    """Directives of robots meta contents or X-Robots-Tag headers, lower case;
    a user-agent prefix ("googlebot: noindex") is dropped."""
    for value in values:
        for part in value.split(","):
            directive = part.strip().lower()
            agent, colon, rest = directive.partition(":")
            if colon and " " not in agent and agent not in _VALUED_DIRECTIVES:
                directive = rest.strip()
            if directive:
                yield directive


_VALUED_DIRECTIVES = frozenset(
    {"max-snippet", "max-image-preview", "max-video-preview", "unavailable_after"}
)


def header_values(headers: Headers | None, name: str) -> list[str]:
    if headers is None:
        return []
    pairs = headers.items() if isinstance(headers, Mapping) else headers
    return [value for key, value in pairs if key.lower() == name]


def payload_facts(payload: Mapping[str, Any]) -> PageFacts:
    """A payload's facts: the page it describes, as its rendered head shows it
    (empty texts are left out of the head, so they count as absent)."""
    open_graph = payload.get("og") or {}
    twitter = payload.get("twitter") or {}
    schema = payload.get("schema_jsonld")
    nodes = () if schema is None else tuple(jsonld_nodes(schema))
    return PageFacts(
        status=200,
        title=payload.get("title") or None,
        description=payload.get("description") or None,
        canonical=payload.get("canonical") or None,
        robots=frozenset(robots_directives([payload.get("robots") or ""])),
        open_graph={f"og:{key}": str(value) for key, value in open_graph.items() if value},
        twitter={f"twitter:{key}": str(value) for key, value in twitter.items() if value},
        jsonld_nodes=nodes,
        jsonld_scripts=0 if schema is None else 1,
        head=payload_extras(payload),
    )


def payload_mapping(payload: object) -> Mapping[str, Any]:
    """The value form of an ``SEOPayload``, or a mapping of the same shape."""
    to_dict = getattr(payload, "to_dict", None)
    if callable(to_dict):
        value = to_dict()
        if isinstance(value, Mapping):
            return value
    if isinstance(payload, Mapping):
        return payload
    raise TypeError(f"payload must be an SEOPayload or a mapping, not {type(payload).__name__}")
