#!/usr/bin/env python3
"""Obtain the pinned ada URL parser amalgamation (ada.cpp, ada.h, LICENSE).

The source distribution of the `ada-url` package on the Python package index
carries ada's single-file amalgamation; tools/fetch_pinned.py downloads,
checks and extracts it.
"""

from __future__ import annotations

import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from fetch_pinned import Pinned, main

ADA_VERSION = "4.0.0"
ADA = Pinned(
    tool="fetch_ada",
    package="ada-url",
    version=ADA_VERSION,
    archive=f"ada_url-{ADA_VERSION}.tar.gz",
    archive_sha256="9f399ec867349800a4c2d3aa8df8c533c340494b04d34b1f082b97d9a8b76a07",
    override_variable="ZELKO_ADA_SDIST",
    files={
        "ada.cpp": (
            f"ada_url-{ADA_VERSION}/ada_url/ada.cpp",
            "1c722f8f5355d6bf2bf3601870684edc875aa8f56b4d4735440d96263dd0207c",
        ),
        "ada.h": (
            f"ada_url-{ADA_VERSION}/ada_url/ada.h",
            "0010b17b3ff489e13998e86d921b16e1643e370ee3276c584f1b0c4b72bdf628",
        ),
        "LICENSE": (
            f"ada_url-{ADA_VERSION}/LICENSE",
            "f43d0ffd14355659cf39793a12060576dacb217bb57768edc270e7312ebba844",
        ),
    },
)

if __name__ == "__main__":
    main(ADA, __doc__.splitlines()[0], dest_required=False)
