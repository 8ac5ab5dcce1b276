"""zelko: deterministic SEO metadata for Python web applications.

The heavy lifting happens in the native engine, ``_zelko_native``; this
package re-exports its public names and adds the Python-side registries.
"""

from __future__ import annotations

import _zelko_native
from _zelko_native import *  # noqa: F401,F403

__version__ = "0.2.0"

__all__ = list(_zelko_native.__all__)
