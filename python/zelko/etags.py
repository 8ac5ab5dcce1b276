"""Conditional requests: does an ``If-None-Match`` field match an entity tag?

The payload's ``etag()`` is a strong tag; a client or a proxy may send it
back weakened (``W/"..."``), in a list with other tags, or send ``*``. The
field is parsed as RFC 9110 defines it (section 13.1.2) and compared with the
weak comparison that the standard prescribes for ``If-None-Match``: two tags
match when their quoted parts are identical, whatever their ``W/`` prefixes.
A comma inside the quotes belongs to the tag, so a plain ``split(",")``
would not do.
"""

from __future__ import annotations

__all__ = ["etag_matches"]


def etag_matches(if_none_match: str | None, etag: str) -> bool:
    """Tells whether ``if_none_match`` (the header value, or ``None`` when the
    request has none) matches ``etag``.

    ``etag`` may be given quoted (``payload.etag()``), weak (``W/"..."``) or
    bare (``payload.hash()``). A malformed member of the list never matches;
    the others still count.
    """
    if not if_none_match:
        return False
    wanted = _opaque_tag(etag)
    return any(tag == "*" or tag == wanted for tag in _list_members(if_none_match))


def _opaque_tag(etag: str) -> str:
    tag = etag.strip()
    tag = tag[2:] if tag.startswith("W/") else tag
    if len(tag) >= 2 and tag[0] == tag[-1] == '"':
        return tag
    return f'"{tag}"'


def _list_members(field: str) -> list[str]:
    """The opaque tags (with their quotes) and stars of a field value; other
    members are skipped up to the next comma."""
    members: list[str] = []
    position, end = 0, len(field)
    while position < end:
        char = field[position]
        if char in " \t,":
            position += 1
            continue
        start = position + 2 if field.startswith('W/"', position) else position
        if field[start] == '"':
            close = field.find('"', start + 1)
            if close == -1:
                break  # an unterminated tag: nothing after it can be read
            after = close + 1
            if after == end or field[after] in " \t,":
                members.append(field[start:after])
            position = after
        elif char == "*" and (position + 1 == end or field[position + 1] in " \t,"):
            members.append("*")
            position += 1
        # Skip the rest of a malformed member.
        while position < end and field[position] != ",":
            position += 1
    return members
