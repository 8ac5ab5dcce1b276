"""Structured data against the schema.org vocabulary: every kind of input,
the rich_results argument, the engine's own output, `zelko validate
--structured-data` and the contract's schema.valid and schema.rich_results."""

from __future__ import annotations

import json
from pathlib import Path
from typing import Any

import pytest

import zelko
from zelko.cli import main
from zelko.structured_data import rich_result_types, vocabulary_release

CONFIG = zelko.SEOConfig(
    "www.example.com",
    "https://www.example.com",
    site_name="Example",
    title_template="{title} | Example",
    default_og_image=zelko.SEOImage("https://www.example.com/og.png", width=1200, height=630),
    publisher_name="Example Ltd",
    publisher_logo="https://www.example.com/logo.png",
    locale="en_US",
    twitter_site="@example",
    search_url_template="https://www.example.com/search?q={search_term_string}",
)

# Every input the entity has, filled.
FILLED: dict[str, Any] = {
    "slug": "x",
    "title": "Title",
    "excerpt": "An excerpt that describes the page well.",
    "body_html": "<p>Body</p>",
    "status": "published",
    "featured_image": zelko.SEOImage("https://www.example.com/f.png", width=800, height=600),
    "published_at": "2024-05-01",
    "updated_at": "2024-05-02T10:00:00Z",
    "author_name": "Ada",
    "breadcrumbs": [zelko.Breadcrumb("Home", "/"), zelko.Breadcrumb("Section", "/s")],
    "sku": "SKU1",
    "price": "19.99",
    "price_currency": "USD",
    "availability": "InStock",
    "same_as": ["https://social.example/x"],
    "address": "1 Main St",
    "faq_items": [zelko.FAQItem("Q?", "A.")],
}

# The engine's own JSON-LD that breaks a rule, kept as it is (README, "What
# the vocabulary check says about zelko's own JSON-LD").
CREATIVE_WORK_ONLY = [
    ("ZELKO303", "$[0].author"),
    ("ZELKO303", "$[0].dateModified"),
    ("ZELKO303", "$[0].datePublished"),
    ("ZELKO303", "$[0].publisher"),
]
OWN_OUTPUT: dict[str, list[tuple[str, str]]] = {
    "home": [],
    "post": [("ZELKO311", "$[0].headline")],
    "page": [],
    "video": [("ZELKO311", "$[0].contentUrl"), ("ZELKO311", "$[0].duration")],
    "taxonomy": [],
    "search": [],
    "other": [],
    "product": CREATIVE_WORK_ONLY,
    "organization": CREATIVE_WORK_ONLY,
    "local_business": [
        *CREATIVE_WORK_ONLY,
        ("ZELKO311", "$[0].telephone"),
        ("ZELKO311", "$[0].geo"),
        ("ZELKO311", "$[0].openingHoursSpecification"),
        ("ZELKO311", "$[0].priceRange"),
    ],
    "faq": [],
}


def found(issues: list[zelko.SEOIssue]) -> list[tuple[str, str]]:
    return [(issue.rule_id, issue.details["path"]) for issue in issues]


def built(entity_type: str) -> zelko.SEOPayload:
    entity = zelko.SEOEntity(entity_type, **FILLED)
    return zelko.build_seo_payload(entity, "/x", CONFIG)


@pytest.mark.parametrize("entity_type", OWN_OUTPUT)
def test_the_engines_own_output_breaks_only_the_listed_rules(entity_type: str) -> None:
    assert found(zelko.check_structured_data(built(entity_type))) == OWN_OUTPUT[entity_type]


BROKEN = {"@type": "Offer", "price": "12", "availability": "in stock", "validFrom": "soon"}
BROKEN_FOUND = [("ZELKO304", "$.availability"), ("ZELKO306", "$.validFrom")]


@pytest.mark.parametrize(
    "make",
    [
        pytest.param(lambda: BROKEN, id="python values"),
        pytest.param(lambda: json.dumps(BROKEN), id="json text"),
        pytest.param(
            lambda: zelko.build_seo_payload(
                zelko.SEOEntity("page", title="T"),
                "/",
                CONFIG,
                zelko.SEOOverrides(schema_jsonld=BROKEN),
            ),
            id="payload",
        ),
        pytest.param(
            lambda: zelko.build_head(
                zelko.SEOEntity("page", title="T"),
                "/",
                CONFIG,
                zelko.SEOOverrides(schema_jsonld=BROKEN),
            ),
            id="head",
        ),
    ],
)
def test_every_kind_of_input_is_checked(make: Any) -> None:
    issues = zelko.check_structured_data(make())
    assert found(issues) == BROKEN_FOUND
    assert [issue.severity for issue in issues] == ["warning", "error"]
    assert all(issue.url is None for issue in issues)


@pytest.mark.parametrize(
    ("value", "error", "text"),
    [
        ("{not json", ValueError, "not JSON"),
        (b"{}", TypeError, "bytes"),
        ({"a": float("nan")}, ValueError, "expected value"),
    ],
)
def test_bad_input_is_refused(value: object, error: type[Exception], text: str) -> None:
    with pytest.raises(error, match=text):
        zelko.check_structured_data(value)


@pytest.mark.parametrize(
    ("rich_results", "error", "text"),
    [
        ("Product", TypeError, "sequence of type names"),
        ([1], TypeError, "must hold str"),
        (["Person"], ValueError, "'Person' is not a rich-result type"),
    ],
)
def test_a_bad_rich_results_argument_is_refused(
    rich_results: object, error: type[Exception], text: str
) -> None:
    with pytest.raises(error, match=text):
        zelko.check_structured_data({}, rich_results=rich_results)  # type: ignore[arg-type]


ELIGIBLE_PRODUCT = {
    "@context": "https://schema.org",
    "@graph": [
        {
            "@type": "Product",
            "name": "Shoe",
            "offers": {"@id": "#o"},
            "image": "https://a.example/s.png",
            "description": "A shoe.",
        },
        {
            "@id": "#o",
            "@type": "Offer",
            "price": 10,
            "priceCurrency": "EUR",
            "availability": "InStock",
        },
    ],
}


@pytest.mark.parametrize(
    ("document", "wanted", "missing"),
    [
        (ELIGIBLE_PRODUCT, ["Product"], []),
        (ELIGIBLE_PRODUCT, ["Product", "FAQPage"], ["FAQPage"]),
        ({"@type": "Product", "name": "Shoe"}, ["Product"], ["Product"]),
        ([{"@type": "BlogPosting"}], ["Article", "BlogPosting"], []),
        ([{"@type": "Article"}], ["BlogPosting"], ["BlogPosting"]),
        (None, ["Organization"], ["Organization"]),
    ],
)
def test_rich_results_need_an_eligible_node(
    document: object, wanted: list[str], missing: list[str]
) -> None:
    issues = zelko.check_structured_data(document, rich_results=wanted)
    assert [i.details["rich_result"] for i in issues if i.rule_id == "ZELKO312"] == missing


def test_the_vocabulary_and_rich_result_types_are_listed() -> None:
    assert int(vocabulary_release().split(".")[0]) >= 29
    assert {"Article", "Product", "BreadcrumbList", "FAQPage", "Event"} <= set(rich_result_types())
    assert "check_structured_data" not in zelko.__all__


# --- zelko validate --structured-data ----------------------------------------


def test_validate_reports_structured_data_only_when_asked(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    site = tmp_path / "site.toml"
    site.write_text('canonical_host = "example.com"\npublic_base_url = "https://example.com"\n')
    page = tmp_path / "page.json"
    page.write_text(
        json.dumps(
            {
                "route": "/p",
                "entity": {"entity_type": "page", "title": "T", "excerpt": "An excerpt."},
                "overrides": {"schema_jsonld": {"@type": "WebPage", "nmae": "x"}},
            }
        )
    )
    plain = main(["validate", "--config", str(site), "--format", "json", str(page)])
    without = json.loads(capsys.readouterr().out)
    code = main(
        ["validate", "--config", str(site), "--format", "json", "--structured-data", str(page)]
    )
    with_data = json.loads(capsys.readouterr().out)
    extra = [f for f in with_data["findings"] if f not in without["findings"]]
    assert [(f["rule_id"], f["details"]["path"]) for f in extra] == [("ZELKO302", "$.nmae")]
    assert extra[0]["url"] == "https://example.com/p"
    assert (plain, code) == (0, 1)


# --- contracts: schema.valid and schema.rich_results -------------------------


def contract_with(schema: dict[str, Any], **layers: Any) -> str:
    document: dict[str, Any] = json.loads(
        zelko.build_seo_contract(zelko.SEOContractConfig("www.example.com")).to_json()
    )
    document["defaults"] = {"schema": schema}
    document.update(layers)
    return json.dumps(document)


def page_with(jsonld: object) -> str:
    script = f'<script type="application/ld+json">{json.dumps(jsonld)}</script>'
    return f"<!doctype html><html><head><title>T</title>{script}</head></html>"


PRODUCT_TYPO = [{"@type": "Product", "name": "Shoe", "offers": {"@type": "Offer", "prise": 1}}]


@pytest.mark.parametrize(
    ("schema", "jsonld", "expected"),
    [
        ({"valid": True}, ELIGIBLE_PRODUCT, []),
        (
            {"valid": True},
            PRODUCT_TYPO,
            [
                ("schema.valid", "error", "$[0].offers.prise"),
                ("schema.valid", "error", "$[0].offers.price"),
                ("schema.valid", "error", "$[0].offers.priceCurrency"),
                ("schema.valid", "warning", "$[0].offers.availability"),
                ("schema.valid", "warning", "$[0].image"),
                ("schema.valid", "warning", "$[0].description"),
            ],
        ),
        ({"valid": False}, PRODUCT_TYPO, []),
        ({"rich_results": ["Product"]}, ELIGIBLE_PRODUCT, []),
        ({"rich_results": ["Product"]}, PRODUCT_TYPO, [("schema.rich_results", "error", "$")]),
        ({"rich_results": ["FAQPage"]}, [], [("schema.rich_results", "error", "$")]),
    ],
)
def test_the_contract_checks_the_pages_structured_data(
    schema: dict[str, Any], jsonld: object, expected: list[tuple[str, str, str]]
) -> None:
    findings = zelko.check_page(contract_with(schema), "/p", page_with(jsonld))
    assert [(f.field, f.severity, f.actual) for f in findings] == expected


def test_a_rule_and_an_exception_set_their_own_schema_expectation() -> None:
    rules = [{"match": "/shop/*", "expect": {"schema": {"rich_results": ["Product"]}}}]
    exceptions = {"/shop/gift": {"schema": {"valid": True}}}
    document = contract_with({}, rules=rules, exceptions=exceptions)
    faq = page_with([{"@type": "FAQPage", "mainEntity": []}])
    assert [f.field for f in zelko.check_page(document, "/blog/a", faq)] == []
    assert [f.field for f in zelko.check_page(document, "/shop/a", faq)] == ["schema.rich_results"]
    assert [f.field for f in zelko.check_page(document, "/shop/gift", faq)] == ["schema.valid"]


def test_a_payload_is_checked_against_the_contract() -> None:
    payload = built("product")
    findings = zelko.check_payload(contract_with({"valid": True}), "/x", payload)
    assert [f.actual for f in findings] == [path for _, path in CREATIVE_WORK_ONLY]


@pytest.mark.parametrize(
    ("schema", "field", "message"),
    [
        ({"valid": "yes"}, "defaults.schema.valid", "expected"),
        ({"rich_results": "Product"}, "defaults.schema.rich_results", "expected"),
        ({"rich_results": ["Person"]}, "defaults.schema.rich_results", "not a rich-result type"),
    ],
)
def test_a_bad_schema_expectation_is_refused(
    schema: dict[str, Any], field: str, message: str
) -> None:
    with pytest.raises(zelko.InputError) as refused:
        zelko.check_page(contract_with(schema), "/p", page_with([]))
    assert refused.value.field == field
    assert message in refused.value.message


CONTRACT_TOML = """\
canonical_host = "www.example.com"

[defaults.schema]
valid = true

[[rules]]
match = "/shop/*"
expect = { schema = { types = ["Product"], rich_results = ["Product"] } }

[exceptions."/shop/gift".schema]
valid = false
"""


def test_a_contract_file_sets_the_schema_table(tmp_path: Path) -> None:
    path = tmp_path / "contract.toml"
    path.write_text(CONTRACT_TOML, encoding="utf-8")
    document = json.loads(zelko.build_seo_contract(_config(path)).to_json())
    assert document["defaults"] == {"schema": {"valid": True}}
    assert document["rules"][0]["expect"] == {
        "schema": {"types": ["Product"], "rich_results": ["Product"]}
    }
    assert document["exceptions"] == {"/shop/gift": {"schema": {"valid": False}}}
    typo = page_with([{"@type": "Thing", "nmae": "x"}])
    assert [f.field for f in zelko.check_page(path, "/about", typo)] == ["schema.valid"]
    # A later layer replaces the schema table as a whole.
    assert [f.field for f in zelko.check_page(path, "/shop/a", typo)] == [
        "schema.types",
        "schema.rich_results",
    ]
    assert zelko.check_page(path, "/shop/gift", typo) == []


def _config(path: Path) -> zelko.SEOContractConfig:
    from zelko._files import load_contract_config

    return load_contract_config(path)


@pytest.mark.parametrize(
    ("defaults", "field", "message"),
    [
        ('[defaults.schema]\nvalid = "yes"\n', "defaults.schema.valid", "expected"),
        ("[defaults.schema]\nsize = 1\n", "defaults.schema.size", "unknown field"),
        (
            '[defaults.schema]\nrich_results = ["Person"]\n',
            "defaults.schema_rich_results",
            "not a rich-result type",
        ),
        (
            "[defaults]\nschema_valid = true\n[defaults.schema]\nvalid = false\n",
            "defaults.schema_valid",
            "given twice",
        ),
    ],
)
def test_a_bad_schema_table_is_refused(
    tmp_path: Path, defaults: str, field: str, message: str
) -> None:
    path = tmp_path / "contract.toml"
    path.write_text('canonical_host = "www.example.com"\n' + defaults, encoding="utf-8")
    with pytest.raises(zelko.InputError) as refused:
        _config(path)
    assert refused.value.field == field
    assert message in refused.value.message
