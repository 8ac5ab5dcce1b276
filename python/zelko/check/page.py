"""What is read from a page, from its HTML and headers or from a payload."""

from __future__ import annotations

import functools
import json
from collections.abc import Iterable, Iterator, Mapping
from dataclasses import dataclass, field
from typing import Any

from .head import count_extras, payload_extras

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
    failure: str | None = None  # why there is no response at all (status 0)
    # How many elements of each extra the head holds ("icon", "og:image", ...).
    head: Mapping[str, int] = field(default_factory=dict)
    links: tuple[str, ...] = ()  # <a href> values, read only when asked for

    @property
    def present(self) -> bool:
        return self.status == 200

    @property
    def noindex(self) -> bool:
        return "noindex" in self.robots or "none" in self.robots


def missing_page(status: int = 404, failure: str | None = None) -> PageFacts:
    return PageFacts(status=status, failure=failure)


def html_parser() -> Any:
    """The HTML5 parser class, imported when first needed: the extra is optional."""
    try:
        from selectolax.lexbor import LexborHTMLParser
    except ImportError:
        raise ModuleNotFoundError(EXTRA_HINT) from None
    return LexborHTMLParser


def page_facts(
    html: str | bytes, status: int = 200, headers: Headers | None = None, *, links: bool = False
) -> PageFacts:
    """Reads a page's head: the parts a contract speaks about; with
    ``links``, the targets of its ``<a href>`` links too."""
    robots = set(robots_directives(header_values(headers, "x-robots-tag")))
    location = next(iter(header_values(headers, "location")), None)
    if status != 200:
        return PageFacts(status=status, location=location, robots=frozenset(robots))
    reader = _HeadReader(robots)
    tree = _parser()(html)
    # Metadata is read from the head, where search engines take it from (a
    # canonical link in the body is ignored); only the title, when the head
    # has none, and JSON-LD, which may stand anywhere, are looked for in the
    # whole document. One pass over the head's children is far cheaper than
    # a search of the whole tree per kind of element.
    head = tree.head
    metas, link_nodes = [], []
    for node in head.iter() if head is not None else ():
        tag = node.tag
        if tag == "meta":
            metas.append(node)
        elif tag == "link":
            link_nodes.append(node)
        elif tag == "title" and reader.title is None:
            reader.title = _title_text(node)
    if reader.title is None:
        for node in tree.tags("title")[:1]:
            reader.title = _title_text(node)
    reader.read_metas(metas)
    reader.read_links(link_nodes)
    reader.head = count_extras(
        (node.attributes for node in metas), (node.attributes for node in link_nodes)
    )
    for node in tree.tags("script"):
        kind = node.attributes.get("type")
        if kind and kind.split(";")[0].strip().lower() == "application/ld+json":
            reader.read_jsonld(node.text(deep=True) or "")
    if links:
        hrefs = [node.attributes.get("href") for node in tree.tags("a")]
        reader.links = tuple(href for href in hrefs if href)
    return reader.facts(status, location)


def _title_text(node: Any) -> str:
    # As document.title has it: white space stripped and collapsed.
    return " ".join((node.text(deep=True) or "").split())


@functools.cache
def _parser() -> Any:
    return html_parser()


Attributes = Mapping[str, str | None]


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

    def read_metas(self, metas: Iterable[Any]) -> None:
        open_graph, twitter = self.open_graph, self.twitter
        for node in metas:
            attributes: Attributes = node.attributes
            content = attributes.get("content")
            key = attributes.get("property") or attributes.get("name")
            if content is None or not key:
                continue
            if key.startswith("og:"):
                open_graph.setdefault(key, content)
            elif key.startswith("twitter:"):
                twitter.setdefault(key, content)
            else:
                name = key.strip().lower()
                if name == "description" and self.description is None:
                    self.description = content
                elif name == "robots":
                    self.robots.update(robots_directives([content]))

    def read_links(self, links: Iterable[Any]) -> None:
        for node in links:
            attributes: Attributes = node.attributes
            href = attributes.get("href")
            if href is None:
                continue
            relations = (attributes.get("rel") or "").lower().split()
            if "canonical" in relations and self.canonical is None:
                self.canonical = href.strip()
            language = attributes.get("hreflang")
            if "alternate" in relations and language is not None:
                self.hreflang.append((language, href.strip()))

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
