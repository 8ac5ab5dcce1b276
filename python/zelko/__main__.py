"""``python -m zelko``: the same command line as the ``zelko`` script."""

from __future__ import annotations

from .cli import main

raise SystemExit(main())
