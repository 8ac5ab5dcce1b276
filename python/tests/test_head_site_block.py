"""A SiteHead keeps its rendered elements for the next page of the site: a
head made with a reused SiteHead is byte for byte the head made with a fresh
one, across pages and across configurations with other base URLs; copies
start afresh and a failure is never kept."""

from __future__ import annotations

import copy
import pickle
import threading
from collections.abc import Callable
from typing import Any

import pytest
from test_head import page_head, site_head

import zelko
from native_helpers import OG_IMAGE, make_config, make_post
from zelko.head import head_of

OTHER_BASE = "http://127.0.0.1:8000/site/"

SITES: dict[str, Callable[[], zelko.SiteHead]] = {
    "empty": zelko.SiteHead,
    "icons, manifest, colours, feeds": site_head,
    "every site field": lambda: site_head(
        verification={"google": "g", "other": {"seznam-wmt": 's"<&'}},
        app_links={"ios_url": "app://x", "web_url": "/app?a=1&b=2"},
        twitter_site_id="42",
        meta=[("format-detection", "telephone=no"), ("x-note", "</head>")],
    ),
    "linked graph": lambda: site_head(
        jsonld_graph=True, identity=zelko.Organization("Shop", logo="/logo.png")
    ),
}

PAGES: list[tuple[zelko.SEOEntity, str, zelko.PageHead | None, dict[str, str] | None]] = [
    (make_post(), "/blog/hello", page_head(), {"de": "/de/blog/hello"}),
    (zelko.SEOEntity("product", title="Beans"), "/shop/beans?x=1", None, None),
    (zelko.SEOEntity("home", title="Home"), "/", zelko.PageHead(keywords=["a", "b"]), None),
]


def config_at(base: str) -> zelko.SEOConfig:
    return zelko.SEOConfig("example.com", base, default_og_image=zelko.SEOImage(OG_IMAGE))


def configs() -> list[zelko.SEOConfig]:
    # Back and forth between two bases, so that each follows the other.
    first = make_config()
    second = config_at(OTHER_BASE)
    return [first, second, first, second]


def head(config: zelko.SEOConfig, site: zelko.SiteHead, index: int) -> zelko.SEOHead:
    entity, route, page, alternates = PAGES[index]
    return zelko.build_head(entity, route, config, site=site, page=page, alternates=alternates)


@pytest.mark.parametrize("make_site", SITES.values(), ids=SITES.keys())
def test_a_reused_site_head_renders_what_a_fresh_one_does(
    make_site: Callable[[], zelko.SiteHead],
) -> None:
    shared = make_site()
    bases = configs()
    for config in bases:
        for index in range(len(PAGES)):
            reused = head(config, shared, index)
            fresh = head(config, make_site(), index)
            assert reused.render_html() == fresh.render_html()
            assert reused.etag() == fresh.etag()
            if shared.manifest is not None:
                # The second configuration gets its own base, never the first's.
                origin = "https://example.com" if config is bases[0] else "http://127.0.0.1:8000"
                manifest = f'<link rel="manifest" href="{origin}/site.webmanifest">'
                assert manifest in reused.render_html()


COPIES: dict[str, Callable[[zelko.SiteHead], zelko.SiteHead]] = {
    "copy": copy.copy,
    "deepcopy": copy.deepcopy,
    "pickle": lambda site: pickle.loads(pickle.dumps(site)),
}


@pytest.mark.parametrize("make_copy", COPIES.values(), ids=COPIES.keys())
def test_copies_and_changed_rebuilds_start_without_the_kept_elements(
    make_copy: Callable[[zelko.SiteHead], zelko.SiteHead],
) -> None:
    config = make_config()
    shared = site_head()
    expected = head(config, shared, 0).render_html()
    assert head(config, make_copy(shared), 0).render_html() == expected
    # The same fields but one, made from the kept object's own state.
    restore, (name, fields) = shared.__reduce__()
    changed: dict[str, Any] = {**fields, "manifest": "/other.webmanifest"}
    rebuilt = restore(name, changed)
    html = head(config, make_copy(rebuilt), 0).render_html()
    assert html == head(config, zelko.SiteHead(**changed), 0).render_html()
    assert "/other.webmanifest" in html and "/site.webmanifest" not in html


def test_a_base_that_does_not_resolve_fails_every_time_and_is_not_kept() -> None:
    good = make_config()
    bad = config_at("not a url")
    payload = zelko.build_seo_payload(make_post(), "/blog/hello", good)
    site = site_head()
    expected = head_of(payload, good, site=zelko.SiteHead(**site.__reduce__()[1][1]))
    for _ in range(2):
        with pytest.raises(zelko.ConfigurationError, match="invalid public_base_url"):
            head_of(payload, bad, site=site).render_html()
        # The kept elements of the good base do not answer for the bad one.
        assert head_of(payload, good, site=site).render_html() == expected.render_html()


def test_threads_sharing_a_site_head_each_get_their_configurations_head() -> None:
    site = site_head()
    bases = configs()[:2]
    expected = [head(config, site_head(), 0).render_html() for config in bases]
    results: list[bool] = []

    def render(offset: int) -> None:
        results.extend(
            head(bases[(offset + n) % 2], site, 0).render_html() == expected[(offset + n) % 2]
            for n in range(40)
        )

    threads = [threading.Thread(target=render, args=(offset,)) for offset in range(4)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    assert results == [True] * 160
