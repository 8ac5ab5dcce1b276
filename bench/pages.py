"""The fixed, realistic inputs the benchmark measures.

Five pages of one site: a home page, a blog post (title, a 2 KB HTML body, a
featured image, author, dates and three breadcrumbs), a product with an
offer, an FAQ page with ten items and a search page reached through a
campaign link. Nothing here is random, so every run measures the same work.
"""

from __future__ import annotations

from dataclasses import dataclass

import zelko

SITE = "www.example.com"
BASE_URL = "https://www.example.com"

_PARAGRAPH = (
    "<p>Deterministic metadata means that the same page always produces the same "
    "<strong>title</strong>, description, canonical URL and structured data, byte "
    "for byte. Caches keyed by the payload hash stay warm, diffs between deploys "
    'stay empty, and <a href="/blog/etags">strong ETags</a> finally mean something. '
    "This paragraph is here so that the body has the size of a real article.</p>\n"
)


def post_body_html() -> str:
    """About 2 KB of article HTML, with a script the text pass must skip."""
    body = (
        "<article>\n<h1>Shipping deterministic SEO metadata</h1>\n"
        + _PARAGRAPH * 5
        + "<script>window.analytics && window.analytics.page();</script>\n"
        + "<ul><li>Titles from templates</li><li>Canonical URLs</li>"
        + "<li>JSON-LD for every page type</li></ul>\n</article>\n"
    )
    return body


@dataclass(frozen=True)
class Page:
    name: str
    entity: zelko.SEOEntity
    route: str


def site_config() -> zelko.SEOConfig:
    return zelko.SEOConfig(
        SITE,
        BASE_URL,
        site_name="Example Blog",
        title_template="{title} | Example Blog",
        default_og_image=zelko.SEOImage(f"{BASE_URL}/og.png", width=1200, height=630),
        publisher_name="Example Media",
        publisher_logo="/static/logo.png",
        locale="en_US",
        locale_alternate=["de_DE", "fr_FR"],
        twitter_site="@example",
        search_url_template=f"{BASE_URL}/search?q={{search_term_string}}",
    )


def post_entity() -> zelko.SEOEntity:
    return zelko.SEOEntity(
        "post",
        slug="shipping-deterministic-seo",
        title="Shipping deterministic SEO metadata",
        body_html=post_body_html(),
        status="published",
        featured_image=zelko.SEOImage(
            f"{BASE_URL}/images/deterministic.jpg",
            width=1200,
            height=630,
            alt="A row of identical printed pages",
        ),
        published_at="2024-05-01T09:00:00Z",
        updated_at="2024-05-03T16:30:00Z",
        author_name="Ada Lovelace",
        breadcrumbs=[
            zelko.Breadcrumb("Home", "/"),
            zelko.Breadcrumb("Blog", "/blog"),
            zelko.Breadcrumb("Engineering", "/blog/engineering"),
        ],
    )


def pages() -> list[Page]:
    home = zelko.SEOEntity(
        "home",
        title="Example Blog",
        excerpt="Notes on building fast, predictable web applications.",
    )
    product = zelko.SEOEntity(
        "product",
        title="Deterministic Mug",
        excerpt="A 350 ml stoneware mug that looks the same every time you look at it.",
        featured_image=zelko.SEOImage(f"{BASE_URL}/images/mug.jpg", width=800, height=800),
        sku="MUG-350-DET",
        price="19.90",
        price_currency="EUR",
        availability="https://schema.org/InStock",
    )
    faq = zelko.SEOEntity(
        "faq",
        title="Frequently asked questions",
        excerpt="Answers to the questions readers ask most about the Example Blog.",
        faq_items=[
            zelko.FAQItem(
                f"Question {number}: how does feature {number} behave?",
                f"Feature {number} behaves the same way on every request, "
                "because its output depends only on its inputs.",
            )
            for number in range(1, 11)
        ],
    )
    search = zelko.SEOEntity("search", title="Search results")
    return [
        Page("home", home, "/"),
        Page("post", post_entity(), "/blog/engineering/shipping-deterministic-seo/"),
        Page("product", product, "/shop/mugs/deterministic-mug?utm_source=newsletter&ref=42"),
        Page("faq", faq, "/faq"),
        Page("search", search, "/search?q=mugs&page=2&gclid=abc123"),
    ]


def contract_config() -> zelko.SEOContractConfig:
    title = zelko.SEOExpectation(required=True, min_length=10, max_length=60)
    description = zelko.SEOExpectation(required=True, max_length=160)
    defaults = zelko.SEOExpectation(
        indexable=True,
        canonical="self",
        og_required=True,
        twitter_required=True,
        title=title,
        description=description,
    )
    rules = [
        zelko.SEOContractRule(
            "/blog/*", zelko.SEOExpectation(schema_required=True, schema_types=["Article"])
        ),
        zelko.SEOContractRule(
            "/shop/*",
            zelko.SEOExpectation(schema_required=True, schema_types=["Product"]),
            severity="warning",
        ),
        zelko.SEOContractRule("/search*", zelko.SEOExpectation(indexable=False)),
    ]
    exceptions = [("/", zelko.SEOExpectation(schema_types=["WebSite"]))]
    return zelko.SEOContractConfig(SITE, defaults=defaults, rules=rules, exceptions=exceptions)
