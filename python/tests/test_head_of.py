"""``zelko.head.head_of``: its arguments bound as a Python function's are,
and its card linker asked exactly when the site or the page says anything
about cards."""

from __future__ import annotations

from collections.abc import Callable
from typing import Any

import pytest

import zelko
from _zelko_native import _head, _head_function
from native_helpers import make_config, make_post
from zelko.head import head_of

CONFIG = make_config()
PAYLOAD = zelko.build_seo_payload(make_post(), "/blog/hello", CONFIG)

BAD_CALLS: dict[str, tuple[Callable[[], object], str]] = {
    "nothing": (lambda: head_of(), "missing 2 required positional arguments"),
    "no config": (lambda: head_of(PAYLOAD), "missing 1 required positional argument: 'config'"),
    "site by position": (
        lambda: head_of(PAYLOAD, CONFIG, None),
        "takes at most 2 positional arguments (3 given)",
    ),
    "unknown keyword": (
        lambda: head_of(PAYLOAD, CONFIG, sight=None),
        "unexpected keyword argument 'sight'",
    ),
    "payload twice": (
        lambda: head_of(PAYLOAD, CONFIG, payload=PAYLOAD),
        "multiple values for argument 'payload'",
    ),
    "page as site": (
        lambda: head_of(PAYLOAD, CONFIG, site=zelko.PageHead()),
        "argument 'site' must be SiteHead, not PageHead",
    ),
    "config as payload": (
        lambda: head_of(CONFIG, CONFIG),
        "argument 'payload' must be SEOPayload, not SEOConfig",
    ),
    "a linker that is no function": (lambda: _head_function(42), "must be callable"),
}


@pytest.mark.parametrize(("call", "message"), BAD_CALLS.values(), ids=BAD_CALLS.keys())
def test_bad_calls_raise_type_errors_naming_the_argument(
    call: Callable[[], object], message: str
) -> None:
    with pytest.raises(TypeError, match=message.replace("(", r"\(").replace(")", r"\)")):
        call()


CARD = ("/og/card.png", 1200, 630, "image/png", "A card")
CARD_CASES: list[tuple[str, zelko.SiteHead | None, zelko.PageHead | None, bool]] = [
    ("no site, no page", None, None, False),
    ("nothing about cards", zelko.SiteHead(manifest="/m.json"), zelko.PageHead(), False),
    ("the site's cards", zelko.SiteHead(cards=zelko.CardSettings()), None, True),
    ("the page refuses one", None, zelko.PageHead(card=False), True),
    ("the page asks for one", zelko.SiteHead(), zelko.PageHead(card=True), True),
]


@pytest.mark.parametrize("answer", [None, CARD], ids=["no card", "a card"])
@pytest.mark.parametrize(
    ("site", "page", "asked"),
    [case[1:] for case in CARD_CASES],
    ids=[case[0] for case in CARD_CASES],
)
def test_the_linker_is_asked_when_the_site_or_page_speaks_of_cards(
    site: zelko.SiteHead | None,
    page: zelko.PageHead | None,
    asked: bool,
    answer: tuple[str, int, int, str, str] | None,
) -> None:
    calls: list[tuple[Any, ...]] = []

    def linker(*args: Any) -> tuple[str, int, int, str, str] | None:
        calls.append(args)
        return answer

    made = _head_function(linker)(PAYLOAD, CONFIG, site=site, page=page)
    assert calls == ([(PAYLOAD, CONFIG, site, page)] if asked else [])
    expected = _head(PAYLOAD, CONFIG, site, page, card=answer if asked else None)
    assert made.render_html() == expected.render_html()
    assert ('content="https://example.com/og/card.png"' in made.render_html()) == (
        asked and answer is not None
    )


def test_what_the_linker_raises_or_returns_amiss_reaches_the_caller() -> None:
    site = zelko.SiteHead(cards=zelko.CardSettings())

    def failing(*_: object) -> None:
        raise LookupError("no store")

    with pytest.raises(LookupError, match="no store"):
        _head_function(failing)(PAYLOAD, CONFIG, site=site)
    with pytest.raises(TypeError):
        _head_function(lambda *_: ("/og/c.png", 1200))(PAYLOAD, CONFIG, site=site)
