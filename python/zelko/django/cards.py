"""Social cards in Django: a view serving a store's cards.

In ``urls.py``::

    from zelko.cards.store import CardStore
    from zelko.django.cards import card_path

    cards = CardStore(BASE_DIR / "og-cards")
    urlpatterns = [..., card_path(cards)]

and ``cards.link(payload)`` gives a page the URL of its card.
"""

from __future__ import annotations

from collections.abc import Callable

from django.http import HttpRequest, HttpResponse
from django.urls import URLPattern, path

from ..cards.store import CardStore, as_store, card_response
from ..head import CardSettings

__all__ = ["card_path", "card_view"]


def card_view(store: CardStore | CardSettings) -> Callable[..., HttpResponse]:
    """A view answering for the cards of ``store`` (or of the store of a
    site's card settings, which heads with them link to) by name: drawn on
    first request, with a strong ETag and a year-long immutable
    Cache-Control (304 when the client's copy is current, 404 for unknown
    names)."""
    store = as_store(store)

    def card(request: HttpRequest, name: str) -> HttpResponse:
        conditional = request.headers.get("If-None-Match")
        answer = card_response(store, name, request.method or "GET", conditional)
        response = HttpResponse(answer.body, status=answer.status)
        for key, value in answer.headers.items():
            response[key] = value
        return response

    return card


def card_path(store: CardStore | CardSettings, *, name: str = "zelko_card") -> URLPattern:
    """The URL pattern of ``card_view(store)`` at ``store.base_path``."""
    store = as_store(store)
    return path(store.base_path.lstrip("/") + "<str:name>", card_view(store), name=name)
