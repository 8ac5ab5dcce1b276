"""The linked JSON-LD graph of the whole head: read by a JSON-LD processor
(PyLD), every entity type gives the graph written out by hand below, with no
anonymous node but the value nodes, no dangling reference, stable @ids, and
the payload, its hash and its ETag untouched."""

from __future__ import annotations

import copy
import json
import re
from typing import Any

import pytest
from pyld import jsonld

import zelko
from _zelko_native import _head

BASE = "https://www.example.com"
PAGE = f"{BASE}/hello"
SEARCH = f"{BASE}/search?q={{search_term_string}}"

# The vocabulary's context, served to the processor from here: the tests
# reach no network. Every term is a schema.org property or type.
SCHEMA_CONTEXT = {"@context": {"@vocab": "https://schema.org/"}}


def local_loader(url: str, options: Any = None) -> dict[str, Any]:
    if url.rstrip("/") not in ("https://schema.org", "http://schema.org"):
        raise AssertionError(f"the graph names a context that is not schema.org: {url}")
    return {
        "contentType": "application/ld+json",
        "contextUrl": None,
        "documentUrl": url,
        "document": SCHEMA_CONTEXT,
    }


OPTIONS = {"documentLoader": local_loader}

# Nodes that describe a value of another node and need no @id of their own.
VALUE_TYPES = {"ListItem", "Offer", "Answer", "SearchAction", "EntryPoint", "PostalAddress"}


def config(**kwargs: Any) -> zelko.SEOConfig:
    fields: dict[str, Any] = {
        "site_name": "Example",
        "publisher_name": "Example Ltd",
        "publisher_logo": "/logo.png",
        "locale": "en_US",
        "search_url_template": SEARCH,
    }
    fields.update(kwargs)
    return zelko.SEOConfig("www.example.com", BASE + "/", **fields)


IDENTITY = zelko.Organization(
    "Example Ltd",
    url="/about",
    logo="/logo.png",
    same_as=["https://social.example/ex"],
    legal_name="Example Limited",
    email="hi@example.com",
    telephone="+1 555 0100",
    address="1 Main St, Springfield",
)


def site(**kwargs: Any) -> zelko.SiteHead:
    return zelko.SiteHead(**{"identity": IDENTITY, "jsonld_graph": True, **kwargs})


def entity(kind: str, **kwargs: Any) -> zelko.SEOEntity:
    """An entity of `kind` with every input filled."""
    fields: dict[str, Any] = {
        "title": "Hello",
        "excerpt": "About hello",
        "author_name": "Ann Lee",
        "published_at": "2024-05-01",
        "updated_at": "2024-05-02",
        "featured_image": zelko.SEOImage("/img/hello.jpg", width=1200, height=630, alt="A hello"),
        "breadcrumbs": [zelko.Breadcrumb("Home", "/"), zelko.Breadcrumb("Hello", "/hello")],
        "sku": "SKU-1",
        "price": "19.99",
        "price_currency": "EUR",
        "availability": "InStock",
        "same_as": ["https://social.example/hello"],
        "address": "2 Side St",
        "faq_items": [zelko.FAQItem("Q1?", "A1."), zelko.FAQItem("Q2?", "A2.")],
    }
    fields.update(kwargs)
    return zelko.SEOEntity(kind, **fields)


# --- The expected graphs, by hand --------------------------------------------


def ref(id_: str) -> dict[str, str]:
    return {"@id": id_}


WEBSITE = {
    "@id": f"{BASE}/#website",
    "@type": "WebSite",
    "url": f"{BASE}/",
    "name": "Example",
    "inLanguage": "en-US",
    "publisher": ref(f"{BASE}/#organization"),
    "potentialAction": {
        "@type": "SearchAction",
        "query-input": "required name=search_term_string",
        "target": {"@type": "EntryPoint", "urlTemplate": SEARCH},
    },
}
ORGANIZATION = {
    "@id": f"{BASE}/#organization",
    "@type": "Organization",
    "name": "Example Ltd",
    "url": f"{BASE}/about",
    "logo": {
        "@id": f"{BASE}/#logo",
        "@type": "ImageObject",
        "url": f"{BASE}/logo.png",
        "contentUrl": f"{BASE}/logo.png",
    },
    "image": ref(f"{BASE}/#logo"),
    "sameAs": ["https://social.example/ex"],
    "legalName": "Example Limited",
    "email": "hi@example.com",
    "telephone": "+1 555 0100",
    "address": {"@type": "PostalAddress", "streetAddress": "1 Main St, Springfield"},
}
AUTHOR = {"@id": f"{BASE}/#author/Ann%20Lee", "@type": "Person", "name": "Ann Lee"}
DATES = {"datePublished": "2024-05-01", "dateModified": "2024-05-02"}


def page_nodes(page: str, page_type: str = "WebPage", **more: Any) -> list[dict[str, Any]]:
    """The web page, its breadcrumb list and its image."""
    web_page = {
        "@id": f"{page}#webpage",
        "@type": page_type,
        "url": page,
        "name": "Hello",
        "description": "About hello",
        "isPartOf": ref(f"{BASE}/#website"),
        "inLanguage": "en-US",
        "breadcrumb": ref(f"{page}#breadcrumb"),
        "primaryImageOfPage": ref(f"{page}#primaryimage"),
        "image": ref(f"{page}#primaryimage"),
        **more,
    }
    breadcrumbs = {
        "@id": f"{page}#breadcrumb",
        "@type": "BreadcrumbList",
        "itemListElement": [
            {"@type": "ListItem", "position": 1, "name": "Home", "item": f"{BASE}/"},
            {"@type": "ListItem", "position": 2, "name": "Hello", "item": PAGE},
        ],
    }
    image = {
        "@id": f"{page}#primaryimage",
        "@type": "ImageObject",
        "url": f"{BASE}/img/hello.jpg",
        "contentUrl": f"{BASE}/img/hello.jpg",
        "width": 1200,
        "height": 630,
        "caption": "A hello",
    }
    return [web_page, breadcrumbs, image]


def primary(fragment: str, kind: str, **more: Any) -> dict[str, Any]:
    return {
        "@id": PAGE + fragment,
        "@type": kind,
        "mainEntityOfPage": ref(f"{PAGE}#webpage"),
        "description": "About hello",
        "image": ref(f"{PAGE}#primaryimage"),
        **more,
    }


def creative_work(fragment: str, kind: str, **more: Any) -> dict[str, Any]:
    return primary(
        fragment,
        kind,
        **DATES,
        inLanguage="en-US",
        author=ref(AUTHOR["@id"]),
        publisher=ref(f"{BASE}/#organization"),
        **more,
    )


def business(fragment: str, kind: str, **more: Any) -> dict[str, Any]:
    return primary(
        fragment, kind, name="Hello", url=PAGE, sameAs=["https://social.example/hello"], **more
    )


SITE = [WEBSITE, ORGANIZATION]
QUESTIONS = [
    {
        "@id": f"{PAGE}#question-{n}",
        "@type": "Question",
        "name": f"Q{n}?",
        "acceptedAnswer": {"@type": "Answer", "text": f"A{n}."},
    }
    for n in (1, 2)
]

# (entity type, route, the nodes of its graph)
EXPECTED = [
    (
        "post",
        "/hello",
        [*SITE, *page_nodes(PAGE), creative_work("#article", "Article", headline="Hello"), AUTHOR],
    ),
    ("page", "/hello", [*SITE, *page_nodes(PAGE, **DATES)]),
    (
        "product",
        "/hello",
        [
            *SITE,
            *page_nodes(PAGE, **DATES),
            primary(
                "#product",
                "Product",
                name="Hello",
                url=PAGE,
                sku="SKU-1",
                offers={
                    "@type": "Offer",
                    "url": PAGE,
                    "price": "19.99",
                    "priceCurrency": "EUR",
                    "availability": "https://schema.org/InStock",
                },
            ),
        ],
    ),
    (
        "organization",
        "/hello",
        [
            *SITE,
            *page_nodes(PAGE, **DATES, about=ref(f"{PAGE}#organization")),
            business("#organization", "Organization"),
        ],
    ),
    (
        "local_business",
        "/hello",
        [
            *SITE,
            *page_nodes(PAGE, **DATES, about=ref(f"{PAGE}#localbusiness")),
            business(
                "#localbusiness",
                "LocalBusiness",
                address={"@type": "PostalAddress", "streetAddress": "2 Side St"},
            ),
        ],
    ),
    ("faq", "/hello", [*SITE, *page_nodes(PAGE, "FAQPage", **DATES, mainEntity=QUESTIONS)]),
    (
        "video",
        "/hello",
        [
            *SITE,
            *page_nodes(PAGE),
            creative_work(
                "#video",
                "VideoObject",
                name="Hello",
                thumbnailUrl=f"{BASE}/img/hello.jpg",
                uploadDate="2024-05-01",
            ),
            AUTHOR,
        ],
    ),
    ("taxonomy", "/hello", [*SITE, *page_nodes(PAGE, "CollectionPage", **DATES)]),
    ("search", "/hello", [*SITE, *page_nodes(PAGE, "SearchResultsPage", **DATES)]),
    (
        "home",
        "/",
        [*SITE, *page_nodes(f"{BASE}/", **DATES, about=ref(f"{BASE}/#organization"))],
    ),
]


def canonical_quads(document: dict[str, Any]) -> str:
    """The graph as canonical N-Quads: equal for equal graphs, whatever the
    nesting, the order and the blank node labels."""
    quads: str = jsonld.normalize(
        document, {**OPTIONS, "algorithm": "URDNA2015", "format": "application/n-quads"}
    )
    return quads


def flattened(document: dict[str, Any]) -> list[dict[str, Any]]:
    result = jsonld.flatten(document, None, OPTIONS)
    nodes: list[dict[str, Any]] = result if isinstance(result, list) else result["@graph"]
    return nodes


def graph_of(kind: str, route: str, **kwargs: Any) -> dict[str, Any]:
    head = zelko.build_head(entity(kind), route, config(), site=site(), **kwargs)
    graph = head.jsonld_graph()
    assert graph is not None
    return graph


IDS = [kind for kind, _, _ in EXPECTED]


@pytest.mark.parametrize(("kind", "route", "nodes"), EXPECTED, ids=IDS)
def test_every_entity_type_gives_its_graph(kind: str, route: str, nodes: list[Any]) -> None:
    graph = graph_of(kind, route)
    assert graph["@context"] == "https://schema.org"
    expected = {"@context": "https://schema.org", "@graph": nodes}
    assert canonical_quads(graph) == canonical_quads(expected)


def dangling(nodes: list[dict[str, Any]]) -> set[str]:
    """References to named nodes that no node of the flattened graph describes."""
    described = {node["@id"] for node in nodes if len(node) > 1}
    referenced = {
        value["@id"]
        for node in nodes
        for key, values in node.items()
        if not key.startswith("@")
        for value in values
        if isinstance(value, dict) and "@id" in value
    }
    return {id_ for id_ in referenced - described if not id_.startswith("_:")}


@pytest.mark.parametrize(("kind", "route"), [(kind, route) for kind, route, _ in EXPECTED], ids=IDS)
def test_graphs_have_no_anonymous_entity_and_no_dangling_reference(kind: str, route: str) -> None:
    nodes = flattened(graph_of(kind, route))
    anonymous = {
        node["@type"][0].rsplit("/", 1)[-1] for node in nodes if node["@id"].startswith("_:")
    }
    assert anonymous <= VALUE_TYPES
    assert dangling(nodes) == set()
    # Every described node is named by a URL of the site, nothing else.
    assert all(node["@id"].startswith(("_:", BASE + "/")) for node in nodes)


def test_the_payload_its_hash_and_etag_stay_and_the_head_covers_the_graph() -> None:
    post, cfg = entity("post"), config()
    plain = zelko.build_head(post, "/hello", cfg, site=site(jsonld_graph=False))
    linked = zelko.build_head(post, "/hello", cfg, site=site())
    payload = zelko.build_seo_payload(post, "/hello", cfg)
    for head in (plain, linked):
        assert head.payload.to_json() == payload.to_json()
        assert head.payload.hash() == payload.hash()
    assert plain.jsonld_graph() is None
    html = linked.render_html()
    scripts = re.findall(r'<script type="application/ld\+json">(.*?)</script>', html, re.S)
    assert len(scripts) == 1
    assert json.loads(scripts[0]) == linked.jsonld_graph()
    # Everything but the script is the plain head's.
    assert re.sub(r"<script.*?</script>", "", html, flags=re.S) == re.sub(
        r"<script.*?</script>", "", plain.render_html(), flags=re.S
    )
    assert linked.etag() != plain.etag()
    other_identity = zelko.build_head(
        post, "/hello", cfg, site=site(identity=zelko.Person("Ann Lee"))
    )
    assert other_identity.etag() != linked.etag()


def test_ids_are_the_same_from_every_entry_point_and_run() -> None:
    post, cfg = entity("post"), config()
    first = zelko.build_head(post, "/hello", cfg, site=site()).jsonld_graph()
    again = zelko.build_head(copy.deepcopy(post), "/hello", cfg, site=site()).jsonld_graph()
    payload = zelko.build_seo_payload(post, "/hello", cfg)
    direct = _head(payload, cfg, site=site(), entity=post).jsonld_graph()
    assert first == again == direct


def ids(graph: dict[str, Any]) -> list[str]:
    return [node.get("@id", "") for node in graph["@graph"]]


# (overrides or registry setting, what the user's nodes do to the graph)
USER_NODES = [
    (
        "a node with one of zelko's ids replaces it in place",
        {
            "@context": "https://schema.org",
            "@id": f"{BASE}/#organization",
            "@type": "NGO",
            "name": "X",
        },
        lambda graph: (
            graph["@graph"][1] == {"@id": f"{BASE}/#organization", "@type": "NGO", "name": "X"}
        ),
    ),
    (
        "a node with a new id is appended",
        {"@context": "https://schema.org", "@id": f"{PAGE}#event", "@type": "Event", "name": "E"},
        lambda graph: (
            graph["@graph"][-1] == {"@id": f"{PAGE}#event", "@type": "Event", "name": "E"}
        ),
    ),
    (
        "a node without an id is appended, its context kept when it is not schema.org",
        {"@context": {"@vocab": "https://example.org/v#"}, "@type": "Thing"},
        lambda graph: graph["@graph"][-1]["@context"] == {"@vocab": "https://example.org/v#"},
    ),
    (
        "the nodes of a whole graph join one by one",
        {"@context": "https://schema.org", "@graph": [{"@id": f"{PAGE}#a", "@type": "Thing"}]},
        lambda graph: ids(graph)[-1] == f"{PAGE}#a",
    ),
]


@pytest.mark.parametrize(("what", "node", "holds"), USER_NODES, ids=[u[0] for u in USER_NODES])
def test_user_nodes_join_the_graph(what: str, node: Any, holds: Any) -> None:
    post, cfg = entity("post"), config()
    own = ids(graph_of("post", "/hello"))
    overrides = zelko.SEOOverrides(schema_jsonld=node)
    graph = zelko.build_head(
        post, "/hello", cfg, zelko.SEOOverrides(schema_jsonld=node), site=site()
    ).jsonld_graph()
    assert graph is not None and holds(graph)
    # zelko's own nodes are all still there, in their order.
    assert [i for i in ids(graph) if i in own] == [i for i in own if i in ids(graph)]
    assert overrides.schema_jsonld == node  # the override is not changed


def test_a_schema_generators_nodes_join_and_the_generated_ones_do_not_repeat() -> None:
    registry = zelko.SchemaRegistry()

    @registry.register("Article")
    def article(*args: Any) -> dict[str, Any]:
        return {
            "@context": "https://schema.org",
            "@type": "Article",
            "@id": f"{PAGE}#article",
            "headline": "From the generator",
        }

    cfg = config()
    cfg.schema_registry = registry
    graph = zelko.build_head(
        entity("post", breadcrumbs=None), "/hello", cfg, site=site()
    ).jsonld_graph()
    assert graph is not None
    articles = [n for n in graph["@graph"] if n.get("@id") == f"{PAGE}#article"]
    assert articles == [
        {"@type": "Article", "@id": f"{PAGE}#article", "headline": "From the generator"}
    ]
    # Without a generator the payload's own nodes are not appended a second time.
    plain = graph_of("post", "/hello")
    assert len(ids(plain)) == len(set(ids(plain)))
    assert not any("@context" in node for node in plain["@graph"])


# (what, site head, entity type, route, configuration, overrides, a check)
EDGES = [
    (
        "no identity: the publisher stands for the organisation",
        zelko.SiteHead(jsonld_graph=True),
        "post",
        "/hello",
        {},
        None,
        lambda g: (
            g["@graph"][1]["name"] == "Example Ltd"
            and g["@graph"][1]["@id"] == f"{BASE}/#organization"
        ),
    ),
    (
        "no identity and no publisher: no organisation at all",
        zelko.SiteHead(jsonld_graph=True),
        "post",
        "/hello",
        {"publisher_name": None},
        None,
        lambda g: "publisher" not in g["@graph"][0] and "publisher" not in g["@graph"][2],
    ),
    (
        "a person as identity who wrote the post is its author",
        site(identity=zelko.Person("Ann Lee", image="/ann.jpg", job_title="Editor")),
        "post",
        "/hello",
        {},
        None,
        lambda g: (
            {n["@id"] for n in g["@graph"] if n.get("@type") == "Person"} == {f"{BASE}/#person"}
            and g["@graph"][3]["author"] == {"@id": f"{BASE}/#person"}
        ),
    ),
    (
        "an organisation page at the root is the identity, described once",
        site(),
        "organization",
        "/",
        {},
        None,
        lambda g: (
            ids(g).count(f"{BASE}/#organization") == 1
            and g["@graph"][2]["about"] == {"@id": f"{BASE}/#organization"}
        ),
    ),
    (
        "omit_schema keeps the page but not the primary entity",
        site(),
        "post",
        "/hello",
        {},
        zelko.SEOOverrides(omit_schema=True),
        lambda g: f"{PAGE}#article" not in ids(g) and f"{PAGE}#webpage" in ids(g),
    ),
    (
        "a type without a builder gets a node of its own, named by its type",
        site(),
        "post",
        "/hello",
        {"schema_type_map": [("post", "Event")]},
        None,
        lambda g: g["@graph"][3]["@id"] == f"{PAGE}#event" and g["@graph"][3]["@type"] == "Event",
    ),
    (
        "a fragment in the canonical URL is not part of the page's ids",
        site(),
        "page",
        "/hello",
        {},
        zelko.SEOOverrides(canonical_url=f"{PAGE}#top"),
        lambda g: f"{PAGE}#webpage" in ids(g),
    ),
]


@pytest.mark.parametrize(
    ("what", "site_head", "kind", "route", "settings", "overrides", "holds"),
    EDGES,
    ids=[edge[0] for edge in EDGES],
)
def test_graph_edges(
    what: str,
    site_head: zelko.SiteHead,
    kind: str,
    route: str,
    settings: dict[str, Any],
    overrides: zelko.SEOOverrides | None,
    holds: Any,
) -> None:
    head = zelko.build_head(entity(kind), route, config(**settings), overrides, site=site_head)
    graph = head.jsonld_graph()
    assert graph is not None and holds(graph)
    assert dangling(flattened(graph)) == set()


def test_the_head_needs_the_entity_for_a_graph() -> None:
    payload = zelko.build_seo_payload(entity("post"), "/hello", config())
    with pytest.raises(TypeError, match="needs the entity"):
        _head(payload, config(), site=site())


# (identity arguments, the error)
BAD_IDENTITIES = [
    (lambda: zelko.Organization("X", logo="logo.png"), zelko.ConfigurationError),
    (lambda: zelko.Organization("X\x00"), zelko.ConfigurationError),
    (lambda: zelko.Person("X", url="javascript:alert(1)"), zelko.ConfigurationError),
    (lambda: zelko.SiteHead(identity="Example Ltd"), TypeError),
    (lambda: zelko.SiteHead(identity={"name": "X"}), TypeError),
]


@pytest.mark.parametrize(("make", "error"), BAD_IDENTITIES)
def test_bad_identities_are_refused(make: Any, error: type[Exception]) -> None:
    with pytest.raises(error):
        make()


def test_identities_round_trip() -> None:
    import pickle

    for identity in (IDENTITY, zelko.Person("Ann", url="https://ann.example/", same_as=["a"])):
        head = zelko.SiteHead(identity=identity, jsonld_graph=True)
        again = pickle.loads(pickle.dumps(head))
        assert repr(again) == repr(head)
        assert again.identity.name == identity.name


def test_hostile_identity_text_stays_inside_the_script() -> None:
    hostile = '</script><script>alert("x")</script>\u00e9'
    head = zelko.build_head(
        entity("post", title=hostile), "/hello", config(), site=site(identity=zelko.Person(hostile))
    )
    html = head.render_html()
    assert html.count("</script>") == 1
    graph = head.jsonld_graph()
    assert graph is not None
    assert graph["@graph"][1]["name"] == hostile
    assert graph["@graph"][3]["headline"] == hostile


def test_a_hook_that_changes_the_title_leaves_the_engines_nodes_its_own() -> None:
    hooks = zelko.HookRegistry()

    @hooks.register("post_process")
    def retitle(payload: dict[str, Any], entity: zelko.SEOEntity, cfg: zelko.SEOConfig) -> None:
        payload["title"] = "Retitled"

    cfg = config()
    cfg.hooks = hooks
    graph = zelko.build_head(entity("post"), "/hello", cfg, site=site()).jsonld_graph()
    assert graph is not None
    # The payload's own article and breadcrumbs are not taken for a user's.
    assert [n.get("@type") for n in graph["@graph"]].count("Article") == 1
    assert [n.get("@type") for n in graph["@graph"]].count("BreadcrumbList") == 1
    assert not any("@context" in node for node in graph["@graph"])
    assert graph["@graph"][3]["headline"] == "Retitled"


# (what the line holds, its "overrides" object)
BATCH_LINES = [
    ("the engine's nodes only", None),
    ("a caller's node joins", {"schema_jsonld": {"@type": "Event", "name": "Launch"}}),
    ("a caller's node replaces one of zelko's", {"schema_jsonld": {"@id": f"{BASE}/#website"}}),
]


@pytest.mark.parametrize(("what", "overrides"), BATCH_LINES, ids=[row[0] for row in BATCH_LINES])
def test_batch_records_carry_the_same_graph_as_build_head(what: str, overrides: Any) -> None:
    from zelko.batch import build_many

    line: dict[str, Any] = {"route": "/hello", "entity": {"entity_type": "post", "title": "Hi"}}
    if overrides is not None:
        line["overrides"] = overrides
    cfg = config()
    (record,) = build_many([json.dumps(line)], cfg, site=site())
    expected = zelko.build_head(
        zelko.SEOEntity("post", title="Hi"),
        "/hello",
        cfg,
        zelko.SEOOverrides(**overrides) if overrides is not None else None,
        site=site(),
    )
    assert record["head"] == expected.render_html()
    assert '"@graph"' in record["head"]
