"""Batch lines that carry a head, and batches with a site head: the engine's
reader takes them and agrees with the package's loader, a record has one
"head" (the whole head), and a bad head is the line's error, not the run's."""

from __future__ import annotations

import hashlib
import json
from pathlib import Path
from typing import Any

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import _zelko_native as native
import zelko
from zelko.batch import build_many, build_records, page_record
from zelko.cli import main

CONFIG = zelko.load_config(
    {"canonical_host": "a.example", "public_base_url": "https://a.example", "site_name": "A"}
)
SITE_HEAD = zelko.SiteHead(
    icons=[zelko.Icon("/favicon.ico")],
    verification={"google": "g<&>"},
    feeds=[zelko.Feed("/feed.xml?x=1&y=2")],
)
FULL_HEAD: dict[str, Any] = {
    "images": [
        {"url": "/a.png?w=1", "width": 10, "height": 20, "alt": 'a "quoted" <alt>'},
        {"url": "https://cdn.example/b.png"},
    ],
    "videos": [{"url": "/v.mp4", "type": "video/mp4", "width": 640, "height": 360}],
    "article": {
        "published_time": "2024-05-01T08:00:00Z",
        "modified_time": "2024-05-02",
        "authors": ["Ann", "Bo"],
        "section": "S & T",
        "tags": ["x", "<y>"],
    },
    "keywords": ["k1", "k2"],
    "robots": {"noarchive": True, "unavailable_after": "2030-01-01"},
    "googlebot": {"index": False, "max_snippet": 20, "nosnippet": True},
    "bingbot": {"follow": False},
    "meta": {"author": "Ann"},
    "nothing": None,
}
FULL_HEAD.pop("nothing")


def line(head: object, route: str = "/blog/x") -> str:
    document = {"route": route, "entity": {"entity_type": "post", "title": "T"}, "head": head}
    return json.dumps(document)


def native_record(text: str, site: zelko.SiteHead | None = None) -> str | None:
    record: str | None = native._build_records(CONFIG, [text], 7, site)[0]
    return record


def expected_head(text: str, site: zelko.SiteHead | None = None) -> str:
    document = json.loads(text)
    head = document.get("head")
    page = zelko.inputs.page_head_from_mapping(head) if head else None
    entity = zelko.entity_from_mapping(document["entity"])
    return zelko.build_head(entity, document["route"], CONFIG, site=site, page=page).render_html()


def one_head(record: str) -> str:
    """The record's head, refusing a record that has two."""

    def pairs(items: list[tuple[str, Any]]) -> dict[str, Any]:
        keys = [key for key, _ in items]
        assert len(keys) == len(set(keys)), f"duplicate keys: {keys}"
        return dict(items)

    head: str = json.loads(record, object_pairs_hook=pairs)["head"]
    return head


# (head, whether the engine reads it itself): what it does not take, the
# loader builds or refuses, and the two must agree on what they both take.
TAKEN_CASES = {
    "every field": (FULL_HEAD, True),
    "empty": ({}, True),
    "nulls count as absent": ({"article": None, "keywords": None, "googlebot": None}, True),
    "a crawler with no keys": ({"googlebot": {}}, True),
    "one meta pair": ({"meta": {"author": "Ann"}}, True),
    # The engine's objects forget the order of their keys, which pairs keep.
    "meta pairs in their order": ({"meta": {"z": "1", "a": "2"}}, False),
    "naive time": ({"article": {"published_time": "2024-05-01T08:00:00"}}, False),
    "negative width": ({"videos": [{"url": "/v.mp4", "width": -1}]}, False),
    "script URL": ({"videos": [{"url": "javascript:alert(1)"}]}, False),
    "control character": ({"keywords": ["a\u0001"]}, False),
    "a name the head writes itself": ({"meta": {"description": "x"}}, False),
    "unknown key": ({"favicon": "/f.ico"}, False),
    "unknown crawler key": ({"googlebot": {"noodle": True}}, False),
    "not an object": ("x", False),
}


@pytest.mark.parametrize("site", [None, SITE_HEAD], ids=["no site head", "site head"])
@pytest.mark.parametrize(("head", "taken"), TAKEN_CASES.values(), ids=TAKEN_CASES.keys())
def test_engine_reader_takes_heads_and_agrees_with_the_loader(
    head: object, taken: bool, site: zelko.SiteHead | None
) -> None:
    text = line(head)
    expected = page_record(text, 7, CONFIG, site)
    record = native_record(text, site)
    assert (record is not None) == taken
    assert record is None or record == expected


@pytest.mark.parametrize("site", [None, SITE_HEAD], ids=["no site head", "site head"])
@pytest.mark.parametrize("head", [FULL_HEAD, {"meta": {"z": "1", "a": "2"}}, None])
def test_a_record_holds_one_head_the_whole_head(head: object, site: zelko.SiteHead | None) -> None:
    text = line(head)
    (built,) = build_records([text], CONFIG, site=site)

    whole = one_head(built)
    assert whole == expected_head(text, site)
    # The payload's own ETag stays the record's; a whole head has its own.
    payload = zelko.build_seo_payload(zelko.SEOEntity("post", title="T"), "/blog/x", CONFIG)
    record = json.loads(built)
    assert record["etag"] == payload.etag()
    if head is None and site is None:
        assert whole == payload.render_html() and "head_etag" not in record
    else:
        assert record["head_etag"] == '"' + hashlib.sha256(whole.encode()).hexdigest() + '"'


@pytest.mark.parametrize(
    ("head", "field"),
    [
        ({"article": {"published_time": "2024-05-01T08:00:00"}}, "head.article.published_time"),
        ({"videos": [{"url": "javascript:alert(1)"}]}, "head.videos[0].url"),
        ({"images": [{"url": "javascript:alert(1)"}]}, "head.images[0].url"),
        ({"meta": {"description": "x"}}, "head.meta"),
        ({"googlebot": {"noodle": True}}, "head.googlebot.noodle"),
        # Made, but its URL does not resolve when the head is rendered.
        ({"images": [{"url": "http://[::1"}]}, "head"),
    ],
)
def test_a_bad_head_is_the_error_of_its_line(head: object, field: str) -> None:
    good, bad, after = build_many([line({}), line(head), line({})], CONFIG, jobs=2)
    assert bad["line"] == 2 and bad["error"]["field"] == field
    assert (good["line"], after["line"]) == (1, 3) and "error" not in after


# Generated heads: whatever the engine takes, it builds exactly as the loader.
texts = st.text(alphabet=st.characters(codec="utf-8"), max_size=6)
head_documents = st.fixed_dictionaries(
    {},
    optional={
        "images": st.lists(
            st.fixed_dictionaries(
                {"url": st.sampled_from(["/i.png", "https://x.example/i", "bad url", ""])},
                optional={"width": st.integers(-1, 2**32), "alt": texts},
            ),
            max_size=2,
        ),
        "keywords": st.lists(texts, max_size=3),
        "article": st.fixed_dictionaries(
            {},
            optional={
                "published_time": st.sampled_from(["2024-01-01", "2024-01-01T10:00Z", "x", ""]),
                "tags": st.lists(texts, max_size=2),
                "section": texts,
            },
        ),
        "googlebot": st.dictionaries(
            st.sampled_from(["index", "follow", "noarchive", "max_snippet", "odd"]),
            st.booleans() | st.integers(-3, 3) | st.none(),
            max_size=3,
        ),
        "meta": st.dictionaries(texts, texts, max_size=2),
    },
)


@settings(max_examples=150, deadline=None)
@given(head=head_documents, with_site=st.booleans())
def test_engine_reader_agrees_with_the_loader_on_generated_heads(
    head: dict[str, Any], with_site: bool
) -> None:
    site = SITE_HEAD if with_site else None
    text = line(head)
    record = native_record(text, site)
    assert record is None or record == page_record(text, 7, CONFIG, site)


def test_zelko_batch_takes_the_site_files_head(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    site_file = tmp_path / "site.toml"
    site_file.write_text(
        'canonical_host = "a.example"\npublic_base_url = "https://a.example"\n'
        'site_name = "A"\n\n[head]\nmanifest = "/site.webmanifest"\n',
        encoding="utf-8",
    )
    source = tmp_path / "pages.jsonl"
    source.write_text(line(FULL_HEAD) + "\n" + line(None) + "\n", encoding="utf-8")

    assert main(["batch", "-c", str(site_file), str(source), "-o", str(tmp_path / "out")]) == 0

    records = (tmp_path / "out").read_text(encoding="utf-8").splitlines()
    site = zelko.SiteHead(manifest="/site.webmanifest")
    assert [one_head(record) for record in records] == [
        expected_head(line(FULL_HEAD), site),
        expected_head(line(None), site),
    ]


def test_dask_partitions_take_the_site_head() -> None:
    import dask.bag

    from zelko.dask import build_pages

    pages = [line(FULL_HEAD, f"/p/{number}") for number in range(5)] + [line(None, "/plain")]
    bag = dask.bag.from_sequence(pages, npartitions=3)

    records = build_pages(bag, CONFIG, site=SITE_HEAD).compute(scheduler="sync")

    assert records == list(build_records(pages, CONFIG, site=SITE_HEAD))
    assert [one_head(record) for record in records] == [
        expected_head(page, SITE_HEAD) for page in pages
    ]
