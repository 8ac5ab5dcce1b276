"""The whole head beside the payload: ``build_head`` against
``build_seo_payload`` and ``SEOHead.render_html()`` against
``payload.render_html()``, side by side in one run, on the post page with a
site head of 4 icons, 3 verification tags and 2 feeds and a page head of 3
images, article meta and 5 tags; and ``build_head`` with the linked JSON-LD
graph (an Organization identity) against ``build_head`` without it.

A head keeps its text once rendered (``hash()`` and ``etag()`` use it too),
so a second ``render_html()`` only copies it; the third pair times a fresh
head's first render (made of the built payload, then rendered) against the
payload's render.

A ``SiteHead`` keeps its own elements once rendered, with the
``public_base_url`` they were resolved against, and every later head made with
it copies them. The bench makes one ``SiteHead`` and uses it for every head,
as a site does (one per site, for all its pages): only the first head of the
run writes the site's elements. The page's elements are written for every
head.

    python bench/head.py            # the figures and the two ratios
    python bench/head.py --check    # exit status 1 when a ratio is above its limit
"""

from __future__ import annotations

import argparse
import sys
from typing import Any

import pages as inputs

import zelko
from bench import median_seconds
from zelko.head import head_of

LIMIT = 1.5
# Per pair, where it is not LIMIT; None: reported only.
LIMITS: dict[str, float | None] = {
    "build_head with the graph / without": 1.3,
    "SEOHead.render_html with the graph / without": None,
}


def extras(**more: Any) -> tuple[zelko.SiteHead, zelko.PageHead]:
    site = zelko.SiteHead(
        **more,
        icons=[
            zelko.Icon("/favicon.ico", sizes="32x32"),
            zelko.Icon("/icon-192.png", sizes="192x192", type="image/png"),
            zelko.Icon("/apple-touch-icon.png", rel="apple-touch-icon"),
            zelko.Icon("/safari-pinned-tab.svg", rel="mask-icon", color="#5bbad5"),
        ],
        verification={"google": "a1b2c3", "bing": "d4e5f6", "yandex": "g7h8i9"},
        feeds=[
            zelko.Feed("/feed.xml", title="Blog"),
            zelko.Feed("/atom.xml", type="application/atom+xml"),
        ],
    )
    page = zelko.PageHead(
        images=[
            zelko.SEOImage(
                f"/static/blog/{n}.jpg?w=1200", width=1200, height=630, alt=f"Figure {n}"
            )
            for n in (1, 2, 3)
        ],
        article=zelko.ArticleMeta(
            published_time="2024-05-01T08:00:00Z",
            modified_time="2024-05-02T10:30:00Z",
            authors=["Ada Lovelace"],
            section="Engineering",
            tags=["seo", "metadata", "etag", "json-ld", "python"],
        ),
    )
    return site, page


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--check", action="store_true")
    args = parser.parse_args(argv)
    config = inputs.site_config()
    post = next(page for page in inputs.pages() if page.name == "post")
    site, page = extras()
    linked, _ = extras(
        jsonld_graph=True,
        identity=zelko.Organization(
            "Example Media",
            logo="/static/logo.png",
            same_as=["https://social.example/example"],
        ),
    )
    payload = zelko.build_seo_payload(post.entity, post.route, config)
    head = zelko.build_head(post.entity, post.route, config, site=site, page=page)
    linked_head = zelko.build_head(post.entity, post.route, config, site=linked, page=page)
    pairs = [
        (
            "build_head / build_seo_payload",
            lambda: zelko.build_head(post.entity, post.route, config, site=site, page=page),
            lambda: zelko.build_seo_payload(post.entity, post.route, config),
        ),
        ("SEOHead.render_html / payload.render_html", head.render_html, payload.render_html),
        (
            "first render: head_of(payload).render_html / payload.render_html",
            lambda: head_of(payload, config, site=site, page=page).render_html(),
            payload.render_html,
        ),
        (
            "build_head with the graph / without",
            lambda: zelko.build_head(post.entity, post.route, config, site=linked, page=page),
            lambda: zelko.build_head(post.entity, post.route, config, site=site, page=page),
        ),
        # The graph is written when the head is rendered: reported, no limit.
        ("SEOHead.render_html with the graph / without", linked_head.render_html, head.render_html),
    ]
    met = True
    for label, ours, base in pairs:
        limit = LIMITS.get(label, LIMIT)
        # Interleaved, so that the machine's state weighs on both alike.
        times = [
            (median_seconds(ours, 1, 0.1), median_seconds(base, 1, 0.1)) for _ in range(args.rounds)
        ]
        ratios = sorted(a / b for a, b in times)
        ratio = ratios[len(ratios) // 2]
        fastest = min(a for a, _ in times) * 1e6, min(b for _, b in times) * 1e6
        print(
            f"{label}: {fastest[0]:.2f} us / {fastest[1]:.2f} us,"
            f" median ratio {ratio:.2f} (limit {limit or 'none'})"
        )
        met = met and (limit is None or ratio <= limit)
    print(
        f"bytes: head {len(head.render_html())}, payload {len(payload.render_html())},"
        f" head with the graph {len(linked_head.render_html())}"
    )
    return 0 if met or not args.check else 1


if __name__ == "__main__":
    sys.exit(main())
