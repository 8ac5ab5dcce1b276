#!/usr/bin/env python3
"""Obtain the pinned lexbor HTML parser source (the modules the parser needs).

The source distribution of the `selectolax` package on the Python package
index carries lexbor's full source, the same lexbor its wheels parse with;
tools/fetch_pinned.py downloads, checks and extracts the core, DOM, HTML,
namespace and tag modules, the POSIX port and the licence. lexbor is under
Apache-2.0 (THIRD_PARTY_NOTICES.txt).
"""

from __future__ import annotations

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fetch_pinned import Pinned, main

SELECTOLAX_VERSION = "1.0.2"
LEXBOR_ROOT = f"selectolax-{SELECTOLAX_VERSION}/lexbor"
MODULES = f"{LEXBOR_ROOT}/source/lexbor"

LEXBOR = Pinned(
    tool="fetch_lexbor",
    package="selectolax",
    version=SELECTOLAX_VERSION,
    archive=f"selectolax-{SELECTOLAX_VERSION}.tar.gz",
    archive_sha256="f0508ad927aa426425d4aa7a2bb2f8b21c01412534465bd227e241d4d0a6a418",
    override_variable="ZELKO_LEXBOR_SDIST",
    files={
        "LICENSE": (
            f"{LEXBOR_ROOT}/LICENSE",
            "7321caa1f366dfbebf799b6c6c2604772dbb12ef10ed6a6b7cbb384b3401c4dd",
        ),
        "NOTICE": (
            f"{LEXBOR_ROOT}/NOTICE",
            "b87f965fd2eba846a0a502d633dd7e7a680b93de5c514c404c948ccf1e5c9dc7",
        ),
    },
    directories={
        "lexbor/core": (
            f"{MODULES}/core/",
            "c9d71e48a6eb37b9b4944104055463c058f5c9eb5769033444a19d53e5031e4f",
        ),
        "lexbor/dom": (
            f"{MODULES}/dom/",
            "b6b62c621b0e67afb88c91a39cc67dfeb8520a1daca23d775c01581ef97fa38b",
        ),
        "lexbor/html": (
            f"{MODULES}/html/",
            "ad413994be6dc864bf9fe305e2d7a4ea259d570401d000ae2caa5d8d9dde6652",
        ),
        "lexbor/ns": (
            f"{MODULES}/ns/",
            "9ca37f8343725afb5fe5179177fc79839ba7d7373e8c6c4b4e06b8a9b597eec3",
        ),
        "lexbor/tag": (
            f"{MODULES}/tag/",
            "be3f1be2b0041a36fc5f5ae0b565d913c826028d4397e71f8e83664531078afa",
        ),
        "lexbor/ports/posix": (
            f"{MODULES}/ports/posix/",
            "435aa30adb32029109341b92a2a9895800e2f61dad8f0b5fa20524272b3e70b9",
        ),
    },
)

if __name__ == "__main__":
    main(LEXBOR, __doc__.splitlines()[0], dest_required=False)
