"""Serves a built copy of the example site on 127.0.0.1, with the routes
its pages have in production: ``/faq`` answers with ``faq.html``, ``/``
with ``index.html``, so ``zelko check --url`` can check the running copy:

    python examples/site/serve.py examples/site/public --port 8000

``--port 0`` takes a free port. The first line printed is the base URL.
Only files below the directory are served; anything else is 404.
"""

from __future__ import annotations

import argparse
import contextlib
import functools
import http.server
import os
import posixpath
import sys
from urllib.parse import unquote, urlsplit


class PageHandler(http.server.SimpleHTTPRequestHandler):
    """Files of the built site by route: ``/a/b`` is ``a/b.html`` when no
    file ``a/b`` exists, a directory route is its ``index.html``."""

    def translate_path(self, path: str) -> str:
        route = posixpath.normpath(unquote(urlsplit(path).path))
        # normpath keeps a leading "//"; the route is always rooted at "/".
        parts = [part for part in route.split("/") if part not in ("", ".", "..")]
        target = os.path.join(self.directory, *parts)
        if parts and not os.path.exists(target) and os.path.isfile(target + ".html"):
            return target + ".html"
        return target

    def list_directory(self, path: str | os.PathLike[str]) -> None:
        # A directory without index.html is no page of the site.
        self.send_error(404)
        return None

    def log_message(self, format: str, *args: object) -> None:
        pass  # zelko check reports what it fetched


def main(arguments: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("directory", help="the built site, e.g. examples/site/public")
    parser.add_argument("--port", type=int, default=8000, help="0 takes a free port")
    options = parser.parse_args(arguments)
    if not os.path.isdir(options.directory):
        parser.error(f"{options.directory}: not a directory")
    handler = functools.partial(PageHandler, directory=os.path.abspath(options.directory))
    with http.server.ThreadingHTTPServer(("127.0.0.1", options.port), handler) as server:
        print(f"http://127.0.0.1:{server.server_address[1]}", flush=True)
        with contextlib.suppress(KeyboardInterrupt):  # Ctrl-C ends it quietly
            server.serve_forever()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
