"""The site rules: the faults between pages, which no single page shows.

While the pages are checked one by one, each leaves a few numbers in a
:class:`SiteIndex` (digests of its title and description, its state, its
hreflang alternates and internal links as digests of routes), never the
page itself, so a site of any size is held in a few dozen bytes a page.
Once every page is in, each rule of ``SITE_RULES`` runs over the index.

Adding a rule: a row of ``SITE_RULES`` (its name, default severity and the
function that yields its failures), and, when it needs something the pages
do not leave yet, a row of ``FACTS`` (how a page's facts turn into numbers).
The ``[site]`` table of a contract knows every row by its name. A rule on
JSON-LD nodes whose ``@id`` is described differently on two pages, say, is
``Fact("jsonld_ids", 2, ...)`` (per node with an ``@id``: the digest of the
id and the digest of the node's canonical JSON) and ``SiteRule("jsonld_id",
ERROR, ...)``, which groups the pairs of ``index.column("jsonld_ids")`` by id
and reports the ids with more than one description. Texts for messages are
not kept: the few pages a finding names are read again
(``SiteIndex.reread_all``).
"""

from __future__ import annotations

import bisect
import os
import re
from array import array
from collections.abc import Callable, Collection, Iterable, Iterator, Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any, Protocol
from urllib.parse import urljoin

from .._files import InputError, _describe
from .findings import ERROR, SEVERITIES, WARNING, CheckFinding
from .page import GONE, REDIRECTS, PageFacts

# --- The facts a page leaves behind --------------------------------------------

# Bits of the "state" fact; the status sits above them.
PRESENT, NOINDEX, CANONICAL_ELSEWHERE = 1, 2, 4
_STATUS_SHIFT = 8

# Schemes a link may carry that never lead to a page ("mailto:", "tel:", ...).
_SCHEME = re.compile(r"[A-Za-z][A-Za-z0-9+.-]*:")
# A link to a file of another kind (an image, a PDF) is not a page.
_NOT_A_PAGE = re.compile(r"\.(?!html?$)[A-Za-z0-9]{1,8}$")


# URL parsers drop tabs and line breaks anywhere in an href, as browsers do.
_URL_BLANKS = str.maketrans("", "", "\t\n\r")
# Characters a message never shows as they are: controls (C0, DEL, C1), the
# line and paragraph separators, lone surrogates.
_UNPRINTABLE = re.compile("[\x00-\x1f\x7f-\x9f\u2028\u2029\ud800-\udfff]")


def printable(text: str) -> str:
    """A page's text as a one-line report may show it: escapes for controls."""
    return _UNPRINTABLE.sub(lambda match: ascii(match.group())[1:-1], text)


def _clean_href(href: str) -> str:
    href = href.strip()
    return href.translate(_URL_BLANKS) if "\n" in href or "\t" in href or "\r" in href else href


def digest(text: str | None) -> int:
    """A 64-bit digest of a text, 0 for none. Python's own string hash:
    fast, cached on the string, and keyed per process, so a hostile page
    cannot aim at a collision."""
    return 0 if text is None else (hash(text) or 1)


def _joined(base: str, href: str) -> str:
    """``href`` read against ``base``; as it is when it is no URL ("//[x")."""
    try:
        return urljoin(base, href)
    except ValueError:
        return href


class SiteFacts(Protocol):
    """What the index reads of a page: its ``PageFacts``, or the fewer facts
    of a page that passed its checks (``checker.QuickPage``)."""

    @property
    def status(self) -> int: ...
    @property
    def location(self) -> str | None: ...
    @property
    def failure(self) -> str | None: ...
    @property
    def title(self) -> str | None: ...
    @property
    def description(self) -> str | None: ...
    @property
    def canonical(self) -> str | None: ...
    @property
    def robots(self) -> frozenset[str]: ...
    @property
    def hreflang(self) -> tuple[tuple[str, str], ...]: ...
    @property
    def links(self) -> Sequence[str]: ...


@dataclass(frozen=True)
class Fact:
    """A column of the index. ``width`` 0: one number a page; ``width`` n:
    any number of n-tuples a page (``read`` returns them flattened);
    ``width`` -1: a text that few pages have, kept in a dictionary."""

    name: str
    width: int
    read: Callable[[SiteFacts, SiteIndex], Any]


def _state(facts: SiteFacts, index: SiteIndex) -> int:
    status, robots = facts.status, facts.robots
    state = status << _STATUS_SHIFT
    if status == 200:
        state |= PRESENT
    if robots and ("noindex" in robots or "none" in robots):  # as PageFacts.noindex
        state |= NOINDEX
    if index.current_canonical is not None:
        state |= CANONICAL_ELSEWHERE
    return state


def _title_digest(facts: SiteFacts, index: SiteIndex) -> int:
    title = facts.title
    return 0 if title is None else (hash(title) or 1)  # as digest()


def _description_digest(facts: SiteFacts, index: SiteIndex) -> int:
    description = facts.description
    return 0 if description is None else (hash(description) or 1)


def _alternates(facts: SiteFacts, index: SiteIndex) -> list[int]:
    if not facts.hreflang:
        return []
    flat: list[int] = []
    for language, href in facts.hreflang:
        route = index.route_of(href)
        flat += (index.language_number(language), 0 if route is None else digest(route))
    return flat


def _links(facts: SiteFacts, index: SiteIndex) -> list[int]:
    links = facts.links
    if not links:
        return []
    keys = set()
    for href in links if len(links) == 1 else set(links):  # the same link comes often
        # Most links are a plain path on the site: taken as they are.
        if href[:1] == "/" and href[1:2] != "/" and href.isprintable() and href[-1] != " ":
            route = href
        else:
            found = index.route_of(href)
            if found is None:
                continue
            route = found
        if "#" in route or "?" in route:
            route = route.split("#", 1)[0].split("?", 1)[0]
        keys.add(hash(route) or 1)  # digest(route)
    return list(keys)


FACTS: tuple[Fact, ...] = (
    Fact("state", 0, _state),
    Fact("title", 0, _title_digest),
    Fact("description", 0, _description_digest),
    Fact("canonical", -1, lambda facts, index: index.current_canonical),
    Fact(
        "location", -1, lambda facts, index: facts.location if facts.status in REDIRECTS else None
    ),
    Fact("alternates", 2, _alternates),
    Fact("links", 1, _links),
)

# The rows of FACTS by kind, as _add_default writes them.
_DEFAULT_SCALARS = ("state", "title", "description")
_DEFAULT_TEXTS = ("canonical", "location")
_DEFAULT_TUPLES = ("alternates", "links")
assert [(fact.name, fact.width) for fact in FACTS] == [
    *((name, 0) for name in _DEFAULT_SCALARS),
    *((name, -1) for name in _DEFAULT_TEXTS),
    ("alternates", 2),
    ("links", 1),
], "a new row of FACTS needs its place in SiteIndex._add_default"


class SiteIndex:
    """The pages of a site as the site rules see them: one row of numbers a
    page, in the order they were added, found again by route digest.

    ``prefixes`` are the URLs the site is reached at (its production origin,
    the base URL of the copy under check): a link or canonical starting with
    one is on the site. ``reread`` reads pages again, given their routes
    (for the texts of messages); ``is_missing`` tells whether a route that is not in the index
    is missing (``None``: unknown routes were not fetched, nothing can be
    said of them).
    """

    def __init__(
        self,
        page_url: Callable[[str], str],
        prefixes: Iterable[str],
        reread: Callable[[Sequence[str]], list[PageFacts]],
        is_missing: Callable[[str], bool] | None,
        facts: Sequence[Fact] = FACTS,
    ) -> None:
        self.page_url = page_url
        self.prefixes = tuple(dict.fromkeys(prefix.rstrip("/") for prefix in prefixes))
        self.reread_routes = reread
        self.is_missing = is_missing
        self.facts = tuple(facts)
        self.languages: list[str] = []
        self._language_numbers: dict[str, int] = {}
        self._route_text = bytearray()
        self._route_ends = array("Q")  # 8 bytes: a site's routes may pass 4 GB
        self._keys = array("q")
        self._numbers = {fact.name: array("q") for fact in self.facts if fact.width == 0}
        self._tuples = {
            fact.name: (array("q"), array("I")) for fact in self.facts if fact.width > 0
        }
        self._texts: dict[str, dict[int, str]] = {
            fact.name: {} for fact in self.facts if fact.width < 0
        }
        self._widths = {fact.name: fact.width for fact in self.facts}
        # Each kind of fact with what adding a page does with it, looked up once.
        self._scalar_facts = [
            (self._numbers[fact.name].append, fact.read) for fact in self.facts if fact.width == 0
        ]
        self._tuple_facts = [
            (*self._tuples[fact.name], fact.width, fact.read)
            for fact in self.facts
            if fact.width > 0
        ]
        self._text_facts = [
            (self._texts[fact.name], fact.read) for fact in self.facts if fact.width < 0
        ]
        self.current_canonical: str | None = None
        # The table as this module gives it is written by _add_default.
        self._default_facts = facts is FACTS
        if self._default_facts:
            self._default_scalars = tuple(self._numbers[name] for name in _DEFAULT_SCALARS)
            self._default_texts = tuple(self._texts[name] for name in _DEFAULT_TEXTS)
            self._default_tuples = tuple(self._tuples[name] for name in _DEFAULT_TUPLES)
        # Route digest -> page, an open-addressing table made once every page
        # is in (12 bytes a slot, two slots a page; a dictionary takes ten
        # times that).
        self._slot_keys = array("q")
        self._slot_pages = array("Q")
        self._current_url = ""
        self._indexable: array[int] | None = None

    # --- Filling ---------------------------------------------------------------

    def add(self, route: str, facts: SiteFacts) -> None:
        """Keeps a page's facts (checked pages only: a failed fetch is none)."""
        if facts.failure is not None:
            return
        number = len(self._keys)
        self._current_url = url = self.page_url(route)
        canonical = facts.canonical
        # Most canonicals name the page itself, as its URL.
        self.current_canonical = (
            None if canonical is None or canonical == url else self._canonical_elsewhere(canonical)
        )
        self._route_text += route.encode("utf-8", "surrogatepass")
        self._route_ends.append(len(self._route_text))
        self._keys.append(hash(route) or 1)  # digest(route)
        self._indexable = None
        if self._slot_keys:
            self._slot_keys = array("q")  # made again on the next lookup
        if self._default_facts:
            self._add_default(number, facts)
            return
        for append, read in self._scalar_facts:
            append(read(facts, self))
        for values, ends, width, read in self._tuple_facts:
            values.extend(read(facts, self))
            ends.append(len(values) // width)
        for texts, read in self._text_facts:
            text = read(facts, self)
            if text is not None:
                texts[number] = text

    def _add_default(self, number: int, facts: SiteFacts) -> None:
        """The rows of FACTS for one page, written in one go: a site has many
        pages, and reading each row's fact through the table costs more than
        the rest of adding a page. The numbers are the ones the rows give
        (the tests hold the two ways to the same index)."""
        state, title, description = self._default_scalars
        status, robots = facts.status, facts.robots
        state.append(  # as _state
            status << _STATUS_SHIFT
            | (PRESENT if status == 200 else 0)
            | (NOINDEX if robots and ("noindex" in robots or "none" in robots) else 0)
            | (0 if self.current_canonical is None else CANONICAL_ELSEWHERE)
        )
        text = facts.title
        title.append(0 if text is None else (hash(text) or 1))
        text = facts.description
        description.append(0 if text is None else (hash(text) or 1))
        canonical, location = self._default_texts
        if self.current_canonical is not None:
            canonical[number] = self.current_canonical
        if facts.status in REDIRECTS and facts.location is not None:
            location[number] = facts.location
        (alternates, alternate_ends), (links, link_ends) = self._default_tuples
        if facts.hreflang:
            alternates.extend(_alternates(facts, self))
        alternate_ends.append(len(alternates) // 2)
        if facts.links:
            links.extend(_links(facts, self))
        link_ends.append(len(links))

    def _canonical_elsewhere(self, href: str | None) -> str | None:
        """The canonical URL of the page being added when it names another URL."""
        if href is None:
            return None
        url = href if href.startswith(("https://", "http://")) else _joined(self._current_url, href)
        return None if url == self._current_url else url

    def language_number(self, language: str) -> int:
        number = self._language_numbers.get(language)
        if number is None:
            number = self._language_numbers[language] = len(self.languages)
            self.languages.append(language)
        return number

    def route_of(self, href: str, base: str | None = None) -> str | None:
        """The route (path and query) an href leads to on the site, or ``None``;
        a relative one is read against ``base`` (the page being added)."""
        href = _clean_href(href)
        route: str | None = href
        if not href.startswith("/") or href.startswith("//"):
            if not href.startswith(("https://", "http://")):
                if href.startswith("#") or _SCHEME.match(href):
                    return None
                href = _joined(base or self._current_url, href)
            route = self._on_site(href)
        return None if route is None else route.split("#", 1)[0] or "/"

    def route_of_url(self, url: str) -> str | None:
        return self._on_site(url.strip()) if url.startswith(("https://", "http://")) else None

    def _on_site(self, url: str) -> str | None:
        for prefix in self.prefixes:
            if url.startswith(prefix):
                rest = url[len(prefix) :]
                if not rest or rest[0] in "/?#":
                    rest = rest.split("#", 1)[0]
                    return rest if rest.startswith("/") else "/" + rest
        return None

    # --- Reading ---------------------------------------------------------------

    def __len__(self) -> int:
        return len(self._keys)

    def route(self, number: int) -> str:
        start = self._route_ends[number - 1] if number else 0
        return self._route_text[start : self._route_ends[number]].decode("utf-8", "surrogatepass")

    def key(self, number: int) -> int:
        return self._keys[number]

    def number(self, name: str) -> array[int]:
        return self._numbers[name]

    def tuples(self, name: str, number: int) -> list[tuple[int, ...]]:
        values, ends = self._tuples[name]
        width = self._widths[name]
        start = ends[number - 1] if number else 0
        flat = values[start * width : ends[number] * width]
        return [tuple(flat[at : at + width]) for at in range(0, len(flat), width)]

    def column(self, name: str) -> tuple[array[int], array[int]]:
        """A fact's values, flattened, and where each page's end."""
        return self._tuples[name]

    def texts(self, name: str) -> Mapping[int, str]:
        return self._texts[name]

    def _make_table(self) -> None:
        size = 1 << max(4, (2 * len(self._keys)).bit_length())
        slot_keys, slot_pages = array("q", bytes(8 * size)), array("Q", bytes(8 * size))
        mask = size - 1
        for number, key in enumerate(self._keys):
            slot = key & mask
            while slot_keys[slot] and slot_keys[slot] != key:
                slot = (slot + 1) & mask
            if not slot_keys[slot]:  # of two pages of one route, the first
                slot_keys[slot], slot_pages[slot] = key, number
        self._slot_keys, self._slot_pages = slot_keys, slot_pages

    def find(self, key: int) -> int | None:
        """The page whose route has this digest, or ``None``."""
        slot_keys = self._slot_keys
        if not slot_keys:
            self._make_table()
            slot_keys = self._slot_keys
        mask = len(slot_keys) - 1
        slot = key & mask
        while True:
            found = slot_keys[slot]
            if found == key:
                return self._slot_pages[slot]
            if not found:
                return None
            slot = (slot + 1) & mask

    def find_each(self, keys: Iterable[int]) -> Iterator[int | None]:
        """``find`` of each key, in order (one probe loop for them all)."""
        if not self._slot_keys:
            self._make_table()
        slot_keys, slot_pages = self._slot_keys, self._slot_pages
        mask = len(slot_keys) - 1
        for key in keys:
            slot = key & mask
            while (found := slot_keys[slot]) and found != key:
                slot = (slot + 1) & mask
            yield slot_pages[slot] if found else None

    def indexable_pages(self) -> Sequence[int]:
        """The pages that are indexable (see ``indexable``), in order; found
        once for the rules that ask."""
        if self._indexable is None:
            wanted, states = PRESENT | NOINDEX | CANONICAL_ELSEWHERE, self._numbers["state"]
            self._indexable = array(
                "Q", [number for number, state in enumerate(states) if state & wanted == PRESENT]
            )
        return self._indexable

    def find_route(self, route: str) -> int | None:
        """The page of a route; a route with a query falls back to its path."""
        found = self.find(digest(route))
        if found is None and "?" in route:
            found = self.find(digest(route.split("?", 1)[0]))
        return found

    def state(self, number: int) -> int:
        return self._numbers["state"][number]

    def status(self, number: int) -> int:
        return self.state(number) >> _STATUS_SHIFT

    def present(self, number: int) -> bool:
        return bool(self.state(number) & PRESENT)

    def indexable(self, number: int) -> bool:
        """200, no noindex, and no canonical naming another URL."""
        return self.state(number) & (PRESENT | NOINDEX | CANONICAL_ELSEWHERE) == PRESENT

    def reread(self, number: int) -> PageFacts:
        return self.reread_routes([self.route(number)])[0]

    def reread_all(self, numbers: Sequence[int]) -> list[PageFacts]:
        """Several pages read again at once (a running site: fetched at once)."""
        return self.reread_routes([self.route(number) for number in numbers]) if numbers else []

    def missing(self, route: str) -> bool:
        """Whether a route that is not in the index is known to be missing."""
        return self.is_missing is not None and self.is_missing(route)

    def describe(self, number: int) -> str | None:
        """What is wrong with a page as a target, or ``None`` when nothing."""
        status = self.status(number)
        if status in REDIRECTS:
            location = self.texts("location").get(number)
            return f"redirects ({status}) to {location or 'nowhere'}"
        if status in GONE:
            return f"is not found ({status})"
        if status != 200:
            return f"answers with status {status}"
        if self.state(number) & NOINDEX:
            return "is noindex"
        return None


# --- The rules ----------------------------------------------------------------------


@dataclass(frozen=True)
class SiteFailure:
    route: str
    related: tuple[str, ...]
    message: str
    actual: object = None


@dataclass
class SiteInputs:
    """What the rules read besides the pages: the URLs the sitemap lists
    (``None``: no sitemap was read) and the site's robots.txt, parsed."""

    sitemap: Collection[str] | None = None
    robots: Any = None
    _listed: tuple[list[str], array[int]] | None = field(default=None, repr=False)

    def listed(self, index: SiteIndex) -> tuple[list[str], array[int]]:
        """The sitemap's URLs on the site, in order, and the page of each
        (-1 for none), found once for every rule that reads them."""
        if self._listed is None:
            urls, numbers = [], array("q")
            for url in sorted(self.sitemap or ()):
                route = index.route_of_url(url)
                if route is not None:
                    number = index.find_route(route)
                    urls.append(url)
                    numbers.append(-1 if number is None else number)
            self._listed = (urls, numbers)
        return self._listed


SiteRun = Callable[[SiteIndex, SiteInputs], Iterator[SiteFailure]]


@dataclass(frozen=True)
class SiteRule:
    name: str
    severity: str
    run: SiteRun
    needs_sitemap: bool = False


# A message names at most this many pages (``related`` holds them all) and
# shows at most this much of a page's text (``actual`` holds it whole).
MAX_NAMED = 50
MAX_SHOWN = 200


def named(routes: Sequence[str]) -> str:
    shown = ", ".join(routes[:MAX_NAMED])
    more = len(routes) - MAX_NAMED
    return f"{shown} and {more:,} more" if more > 0 else shown


def _duplicates(fact: str, label: str) -> SiteRun:
    def run(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
        digests = index.number(fact)
        # Two passes over a byte a bucket (at most 2: "shared"), then only the
        # pages of shared buckets are grouped: a few bytes a page, not a set
        # of every digest.
        size = 8 * len(index) + 1
        counts = bytearray(size)
        pages = index.indexable_pages()
        for digest_ in map(digests.__getitem__, pages):
            if digest_:
                bucket = digest_ % size
                if counts[bucket] < 2:
                    counts[bucket] += 1
        groups: dict[int, list[int]] = {}
        for number, digest_ in zip(pages, map(digests.__getitem__, pages), strict=True):
            if digest_ and counts[digest_ % size] == 2:
                groups.setdefault(digest_, []).append(number)
        del counts
        shared = [group for group in groups.values() if len(group) > 1]
        firsts = index.reread_all([min(group) for group in shared])
        for group, first in zip(shared, firsts, strict=True):
            routes = sorted(index.route(number) for number in group)
            text = getattr(first, fact)
            shown = text if text is None or len(text) <= MAX_SHOWN else text[:MAX_SHOWN] + "…"
            yield SiteFailure(
                routes[0],
                tuple(routes[1:]),
                f"{len(routes)} indexable pages share the {label} {shown!r}: {named(routes)}",
                text,
            )

    return run


def _canonical_target(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    for number, canonical in sorted(index.texts("canonical").items()):
        route = index.route(number)
        target_route = index.route_of_url(canonical)
        if target_route is None:
            continue  # another site's page: not ours to tell
        target = index.find_route(target_route)
        if target is None:
            if index.missing(target_route):
                message = f"the canonical of {route} names {canonical}, which is missing"
                yield SiteFailure(route, (target_route,), message, canonical)
            continue
        problem = index.describe(target)
        chained = index.texts("canonical").get(target)
        if problem is None and chained is not None:
            problem = f"names another canonical itself ({chained})"
        if problem is not None:
            shown = index.route(target)
            message = f"the canonical of {route} names {shown}, which {problem}"
            yield SiteFailure(route, (shown,), message, canonical)


def _hreflang(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    ends = index.column("alternates")[1]
    start = 0
    for number, end in enumerate(ends):
        if end != start and index.present(number):
            yield from _page_alternates(index, number)
        start = end


def _page_alternates(index: SiteIndex, number: int) -> Iterator[SiteFailure]:
    route, own = index.route(number), index.key(number)
    base = index.page_url(route)
    alternates = index.tuples("alternates", number)
    hrefs: dict[int, str] | None = None

    def href(key: int, language: int) -> str:
        nonlocal hrefs
        if hrefs is None:
            facts = index.reread(number)
            hrefs = {}
            for tag, value in facts.hreflang:
                found = index.route_of(value, base)
                hrefs.setdefault(0 if found is None else digest(found), value)
                hrefs.setdefault(-1 - index.language_number(tag), value)
        return hrefs.get(key) or hrefs.get(-1 - language) or "?"

    seen: dict[str, int] = {}
    for language, _ in alternates:
        tag = index.languages[language].strip().lower()
        seen[tag] = seen.get(tag, 0) + 1
    for tag, count in seen.items():
        if count > 1:
            yield SiteFailure(route, (), f"{route} lists the language {tag!r} {count} times", tag)
    if all(key != own for _, key in alternates):
        message = f"the hreflang alternates of {route} do not include the page itself"
        yield SiteFailure(route, (), message, [index.languages[lang] for lang, _ in alternates])
    checked = {own}
    for language, key in alternates:
        tag = index.languages[language]
        if key in checked and key != 0:
            continue  # one finding per target, however many languages name it
        checked.add(key)
        if key == 0:
            if tag.strip().lower() == "x-default":
                shown = href(key, language)
                message = f"the x-default of {route} points off the site, at {shown}"
                yield SiteFailure(route, (), message, shown)
            continue
        target = index.find(key)
        if target is None:
            shown = href(key, language)
            target_route = index.route_of(shown, base) or shown
            if index.missing(target_route):
                message = f"{route} lists {shown} ({tag}) as an alternate, which is missing"
                yield SiteFailure(route, (target_route,), message, shown)
            continue
        other = index.route(target)
        problem = index.describe(target) if not index.present(target) else None
        if problem is not None:
            message = f"{route} lists {other} ({tag}) as an alternate, which {problem}"
            yield SiteFailure(route, (other,), message, other)
        elif all(back != own for _, back in index.tuples("alternates", target)):
            message = (
                f"{route} lists {other} ({tag}) as an alternate, "
                f"but {other} does not list {route} back"
            )
            yield SiteFailure(route, (other,), message, other)


def _sitemap_pages(index: SiteIndex, inputs: SiteInputs) -> Iterator[tuple[str, int | None]]:
    """Each URL of the sitemap on the site, with its page when there is one."""
    urls, numbers = inputs.listed(index)
    for url, number in zip(urls, numbers, strict=True):
        yield url, None if number < 0 else number


def _sitemap_noindex(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    for url, number in _sitemap_pages(index, inputs):
        if number is not None and index.state(number) & NOINDEX:
            route = index.route(number)
            yield SiteFailure(route, (), f"the sitemap lists {url}, but {route} is noindex", url)


def _sitemap_not_canonical(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    canonicals = index.texts("canonical")
    for url, number in _sitemap_pages(index, inputs):
        if number is None or number not in canonicals:
            continue
        route, canonical = index.route(number), canonicals[number]
        target = index.route_of_url(canonical)
        message = f"the sitemap lists {url}, but {route} names {canonical} as its canonical"
        yield SiteFailure(route, () if target is None else (target,), message, canonical)


ROBOTS_AGENTS = ("*", "Googlebot")


def _sitemap_blocked(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    if inputs.robots is None:
        return
    for url, number in _sitemap_pages(index, inputs):
        blocked = [agent for agent in ROBOTS_AGENTS if not inputs.robots.can_fetch(url, agent)]
        if blocked:
            shown = index.route_of_url(url) if number is None else index.route(number)
            agents = " and ".join(f"User-agent: {agent}" for agent in blocked)
            message = f"the sitemap lists {url}, but robots.txt disallows it for {agents}"
            yield SiteFailure(shown or url, (), message, blocked)


def _not_in_sitemap(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    listed = bytearray(len(index))
    for _, number in _sitemap_pages(index, inputs):
        if number is not None:
            listed[number] = 1
    for number in index.indexable_pages():
        if not listed[number]:
            route = index.route(number)
            message = f"{route} is indexable and its own canonical, but no sitemap lists it"
            yield SiteFailure(route, (), message, None)


def _broken_link(index: SiteIndex, inputs: SiteInputs) -> Iterator[SiteFailure]:
    values, ends = index.column("links")
    # Per target that is gone or missing, the pages linking to it (a link's
    # page: the first whose links end past it).
    sources: dict[int, list[int]] = {}
    states, unknown_missing = index.number("state"), index.is_missing is not None
    for position, target in enumerate(index.find_each(values)):
        if target is None:
            if not unknown_missing:
                continue
        elif states[target] & PRESENT or index.status(target) not in GONE:
            continue
        # A page's link keys are distinct: each page comes once per target.
        sources.setdefault(values[position], []).append(bisect.bisect_right(ends, position))
    for key, linking in sources.items():
        target = index.find(key)
        if target is not None:
            route, problem = index.route(target), f"not found ({index.status(target)})"
        else:
            found = _link_route(index, linking[0], key)
            if found is None or not index.missing(found):
                continue
            route, problem = found, "missing"
        routes = sorted(index.route(number) for number in linking)
        message = f"{route} is {problem}, but {len(routes)} pages link to it: {named(routes)}"
        if len(routes) == 1:
            message = f"{route} is {problem}, but {routes[0]} links to it"
        yield SiteFailure(route, tuple(routes), message, route)


def _link_route(index: SiteIndex, number: int, key: int) -> str | None:
    """The route of the link of a page whose digest is ``key``."""
    base = index.page_url(index.route(number))
    for href in index.reread(number).links:
        route = index.route_of(href, base)
        if route is not None and digest(route.split("?", 1)[0]) == key:
            return route.split("?", 1)[0]
    return None


SITE_RULES: tuple[SiteRule, ...] = (
    SiteRule("duplicate_title", WARNING, _duplicates("title", "title")),
    SiteRule("duplicate_description", WARNING, _duplicates("description", "description")),
    SiteRule("canonical_target", ERROR, _canonical_target),
    SiteRule("hreflang", ERROR, _hreflang),
    SiteRule("sitemap_noindex", ERROR, _sitemap_noindex, needs_sitemap=True),
    SiteRule("sitemap_not_canonical", WARNING, _sitemap_not_canonical, needs_sitemap=True),
    SiteRule("sitemap_blocked", ERROR, _sitemap_blocked, needs_sitemap=True),
    SiteRule("not_in_sitemap", WARNING, _not_in_sitemap, needs_sitemap=True),
    SiteRule("broken_link", ERROR, _broken_link),
)
RULES_BY_NAME = {rule.name: rule for rule in SITE_RULES}


def site_findings(
    index: SiteIndex, settings: Mapping[str, str | None], inputs: SiteInputs
) -> list[CheckFinding]:
    """The findings of every rule that is on, rule by rule."""
    findings = []
    for rule in SITE_RULES:
        severity = settings.get(rule.name, rule.severity)
        if severity is None or (rule.needs_sitemap and inputs.sitemap is None):
            continue
        # Pages fetched at once arrive in any order: findings come by route.
        failures = sorted(
            rule.run(index, inputs), key=lambda failure: (failure.route, failure.message)
        )
        for failure in failures:
            findings.append(
                CheckFinding(
                    printable(failure.route),
                    f"site.{rule.name}",
                    severity,
                    printable(failure.message),
                    failure.actual,
                    tuple(printable(route) for route in failure.related),
                )
            )
    return findings


# --- Settings: the [site] table of a contract -------------------------------------

SiteSettings = Mapping[str, str | None]  # rule name -> severity, None when off


def default_settings() -> dict[str, str | None]:
    return {rule.name: rule.severity for rule in SITE_RULES}


def read_site_settings(document: object, source: str, path: str) -> dict[str, str | None]:
    """A ``[site]`` table: per rule, ``false`` (off), ``true`` (on, at its
    own severity) or a severity. An unknown rule or severity is refused."""
    if not isinstance(document, dict):
        raise InputError(source, path, f"expected a table, got {_describe(document)}")
    settings = default_settings()
    for name, value in document.items():
        where = f"{path}.{name}"
        rule = RULES_BY_NAME.get(name)
        if rule is None:
            known = ", ".join(RULES_BY_NAME)
            raise InputError(source, where, f"unknown site rule (known: {known})")
        if isinstance(value, bool):
            settings[name] = rule.severity if value else None
        elif isinstance(value, str) and value in SEVERITIES:
            settings[name] = value
        else:
            raise InputError(
                source,
                where,
                f"expected true, false or one of {', '.join(SEVERITIES)}, got {_describe(value)}",
            )
    return settings


def settings_document(settings: SiteSettings) -> dict[str, str | bool]:
    """The settings as a contract writes them: each rule's severity, or false."""
    return {rule.name: settings.get(rule.name, rule.severity) or False for rule in SITE_RULES}


def uses_sitemap(settings: SiteSettings) -> bool:
    return any(rule.needs_sitemap and settings.get(rule.name, rule.severity) for rule in SITE_RULES)


def any_on(settings: SiteSettings) -> bool:
    return any(settings.get(rule.name, rule.severity) for rule in SITE_RULES)


# --- robots.txt ----------------------------------------------------------------

# As much of a robots.txt as search engines read; the rest is ignored.
MAX_ROBOTS_BYTES = 500 * 1024


def parse_robots(data: bytes) -> Any:
    """A robots.txt read by Protego (the rules as search engines apply them:
    the longest matching path wins, ``*`` and ``$`` patterns)."""
    try:
        from protego import Protego
    except ImportError:
        from .page import EXTRA_HINT

        raise ModuleNotFoundError(EXTRA_HINT) from None
    text = data[:MAX_ROBOTS_BYTES].decode("utf-8", errors="replace")
    return Protego.parse(text)


def read_robots_file(path: str) -> Any:
    """The robots.txt of a directory of built pages, or ``None`` without one."""
    try:
        with open(path, "rb") as handle:
            return parse_robots(handle.read(MAX_ROBOTS_BYTES))
    except FileNotFoundError:
        return None
    except OSError as error:
        raise InputError(path, "", f"cannot read: {error.strerror or error}") from None


def file_is_missing(
    root: str, route_file: Callable[[str, str], str | None]
) -> Callable[[str], bool]:
    """For a directory of built pages: a route is missing when neither a page
    (``/a`` as ``a.html``, ``/a/`` as ``a/index.html``) nor any other file
    (an image, a directory holding an index) is there."""

    def missing(route: str) -> bool:
        path = route.split("?", 1)[0]
        if route_file(root, path) is not None:
            return False
        relative = path.lstrip("/")
        if "\0" in relative or ".." in relative.split("/"):
            return True
        local = os.path.join(root, relative)
        return not (os.path.isfile(local) or os.path.isfile(os.path.join(local, "index.html")))

    return missing


def mapping_is_missing(route: str) -> bool:
    """For pages given as a mapping: a route that is not there is missing,
    unless it names a file of another kind (``/logo.png``)."""
    return _NOT_A_PAGE.search(route.split("?", 1)[0]) is None


__all__ = [
    "FACTS",
    "SITE_RULES",
    "Fact",
    "SiteIndex",
    "SiteInputs",
    "SiteRule",
    "file_is_missing",
    "mapping_is_missing",
    "parse_robots",
    "read_robots_file",
    "read_site_settings",
    "settings_document",
    "site_findings",
]
