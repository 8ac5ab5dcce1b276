"""Full Unicode lowercasing (ICU, root locale) as paths meet it.

Every build runs these, the self-contained wheel included, whose ICU has no
data library of its own: the case mapping must come out the same.
"""

from __future__ import annotations

import pytest

import _zelko_native as native

LOWER = native.URLPolicy(lowercase_paths=True)


@pytest.mark.parametrize(
    ("path", "expected"),
    [
        pytest.param("/Über/ΟΔΟΣ", "/über/οδο\u03c2", id="final sigma at the end"),
        pytest.param("/ΣΟΦΟΣ-ΟΔΟΣ/ΑΣ", "/σοφος-οδος/ας", id="medial and final"),
        pytest.param("/ΟΔΟΣ.", "/οδο\u03c2.", id="final sigma before a case-ignorable"),
        pytest.param("/İstanbul", "/i\u0307stanbul", id="dotted capital I grows"),
        pytest.param("/DIŞ", "/diş", id="no Turkish rule for I"),
        pytest.param("/ẞ-\u212a", "/ß-k", id="capital sharp s and Kelvin sign"),
        pytest.param("/\u01c5", "/\u01c6", id="titlecase digraph"),
        pytest.param("/\u13a0\u13f5", "/\uab70\u13fd", id="Cherokee"),
        pytest.param("/\U00010400", "/\U00010428", id="outside the BMP"),
        pytest.param("/日本語-123_ß", "/日本語-123_ß", id="nothing to lower"),
    ],
)
def test_paths_lowercase_by_the_full_unicode_mapping(path: str, expected: str) -> None:
    assert native.normalize_path_fn(path, LOWER) == expected
