"""Regressions found by using zelko as a hostile user would: deep object chains,
paths with NUL bytes or long names, fork() while other threads build, input the
command line must refuse as bad input, and hosts with broken Punycode labels."""

from __future__ import annotations

import json
import os
import stat
import subprocess
import sys
import threading
import time
from pathlib import Path

import pytest

import _zelko_native as native
import zelko
from native_helpers import make_config, make_post
from zelko.cli import main

EXAMPLE_CONFIG = Path(__file__).resolve().parents[2] / "examples" / "site" / "zelko.toml"


def run_cli(capsys: pytest.CaptureFixture[str], *argv: str) -> tuple[int, str, str]:
    code = main(list(argv))
    captured = capsys.readouterr()
    return code, captured.out, captured.err


# --- Freeing long chains -----------------------------------------------------

CHAIN_LINKS = {
    "hooks argument": "h = SEOConfig('a.com', 'https://a.com', hooks=h)",
    "schema_registry argument": "h = SEOConfig('a.com', 'https://a.com', schema_registry=h)",
    "hooks setter": "c = SEOConfig('a.com', 'https://a.com'); c.hooks = h; h = c",
    "through a list": "h = SEOConfig('a.com', 'https://a.com', hooks=[h])",
}


@pytest.mark.parametrize("link", CHAIN_LINKS.values(), ids=CHAIN_LINKS.keys())
def test_a_chain_of_200_000_configurations_is_freed_without_a_crash(link: str) -> None:
    script = (
        "from _zelko_native import SEOConfig\n"
        "h = None\n"
        f"for _ in range(200_000):\n    {link}\n"
        "del h\n"
        "print('freed')\n"
    )
    result = subprocess.run(
        [sys.executable, "-c", script], check=False, capture_output=True, text=True
    )
    assert (result.returncode, result.stdout) == (0, "freed\n"), result.stderr[-2000:]


# --- Paths -------------------------------------------------------------------


def contract() -> native.SEOContract:
    return native.build_seo_contract(native.SEOContractConfig("example.com"))


def test_contract_write_refuses_a_nul_in_the_path_and_writes_nothing(tmp_path: Path) -> None:
    with pytest.raises(ValueError, match=r"^embedded null byte$"):
        contract().write(str(tmp_path / "out\0.json"))
    assert list(tmp_path.iterdir()) == []


def test_contract_write_replaces_a_file_whose_name_has_255_bytes(tmp_path: Path) -> None:
    target = tmp_path / ("c" * 250 + ".json")
    target.write_text("old")
    contract().write(str(target))
    assert target.read_text() == contract().to_json()
    assert list(tmp_path.iterdir()) == [target]


@pytest.mark.parametrize("command", ["render", "build"])
def test_cli_output_file_with_a_255_byte_name_is_written(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], command: str
) -> None:
    target = tmp_path / ("o" * 251 + ".txt")
    page = Path(EXAMPLE_CONFIG).parent / "pages" / "post.json"
    code, _, err = run_cli(capsys, command, "-c", str(EXAMPLE_CONFIG), str(page), "-o", str(target))
    assert (code, err) == (0, "")
    assert target.stat().st_size > 0
    assert list(tmp_path.iterdir()) == [target]


@pytest.mark.parametrize(
    "argv",
    [
        pytest.param(["render", "-c", "site\0.toml", "page.json"], id="site file"),
        pytest.param(["render", "-c", str(EXAMPLE_CONFIG), "page\0.json"], id="page file"),
        pytest.param(["contract", "contract\0.json"], id="contract file"),
    ],
)
def test_cli_reports_a_nul_in_an_input_path_as_bad_input(
    capsys: pytest.CaptureFixture[str], argv: list[str]
) -> None:
    code, out, err = run_cli(capsys, *argv)
    assert (code, out) == (2, "")
    assert err.count("\n") == 1 and "embedded null byte" in err


def test_cli_reports_a_nul_in_the_output_path_as_bad_input(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    page = Path(EXAMPLE_CONFIG).parent / "pages" / "post.json"
    target = str(tmp_path / "out\0.html")
    code, _, err = run_cli(capsys, "render", "-c", str(EXAMPLE_CONFIG), str(page), "-o", target)
    assert code == 2 and "embedded null byte" in err
    assert list(tmp_path.iterdir()) == []


def read_fifo_in_background(fifo: Path) -> list[bytes]:
    received: list[bytes] = []

    def read() -> None:
        with open(fifo, "rb") as reader:
            received.append(reader.read())

    threading.Thread(target=read, daemon=True).start()
    return received


@pytest.mark.parametrize("writer", ["contract", "cli"])
def test_writing_to_a_pipe_or_device_writes_into_it_instead_of_replacing_it(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], writer: str
) -> None:
    # A named pipe stands in for /dev/null: renaming over it would replace it.
    fifo = tmp_path / "pipe"
    os.mkfifo(fifo)
    received = read_fifo_in_background(fifo)
    page = Path(EXAMPLE_CONFIG).parent / "pages" / "post.json"
    if writer == "contract":
        contract().write(str(fifo))
        expected = contract().to_json()
    else:
        argv = ["render", "-c", str(EXAMPLE_CONFIG), str(page)]
        assert run_cli(capsys, *argv, "-o", str(fifo))[0] == 0
        expected = run_cli(capsys, *argv)[1]
    deadline = time.monotonic() + 10
    while not received and time.monotonic() < deadline:
        time.sleep(0.01)
    assert stat.S_ISFIFO(fifo.stat().st_mode)
    assert [path.name for path in tmp_path.iterdir()] == ["pipe"]
    assert received == [expected.encode()]


# --- fork() while other threads build ----------------------------------------

FORKS = 300


@pytest.mark.skipif(not hasattr(os, "fork"), reason="needs fork()")
@pytest.mark.filterwarnings("ignore::DeprecationWarning")  # fork() with threads, 3.12+
def test_children_forked_during_builds_can_use_and_reconfigure_every_object() -> None:
    registry = zelko.registry.SchemaRegistry()
    registry.register("BlogPosting", lambda *args: None)
    hooks = zelko.HookRegistry()
    inside_hook = threading.Event()

    @hooks.register("post_process")
    def slow(payload: dict[str, object], entity: object, config: object) -> dict[str, object]:
        # While a hook runs, the configuration is borrowed and the GIL is free.
        inside_hook.set()
        time.sleep(0.0005)
        inside_hook.clear()
        return payload

    config = make_config(hooks=hooks, schema_registry=registry)
    post = make_post()
    stop = threading.Event()

    def builder() -> None:
        while not stop.is_set():
            native.build_seo_payload(post, "/blog/x", config)

    def child() -> int:
        # Exit status: 0 when everything works, 3 when a build was running.
        config.hooks = None
        config.schema_registry = None
        registry.register("Article", lambda *args: None)
        assert registry.has("Article") and registry.list_types() == ["Article", "BlogPosting"]
        native.build_seo_payload(post, "/blog/x", config).render_html()
        return 3 if was_inside else 0

    threads = [threading.Thread(target=builder) for _ in range(2)]
    for thread in threads:
        thread.start()
    statuses: list[int | None] = []
    try:
        for _ in range(FORKS):
            was_inside = inside_hook.is_set()
            pid = os.fork()
            if pid == 0:  # pragma: no cover - the child
                try:
                    os._exit(child())
                except BaseException:  # noqa: BLE001 - any failure is the child's status
                    os._exit(1)
            statuses.append(wait_for(pid, timeout=10.0))
    finally:
        stop.set()
        for thread in threads:
            thread.join()

    stuck_or_failed = [status for status in statuses if status not in (0, 3)]
    assert stuck_or_failed == []
    # The case that used to fail: a fork while another thread held a borrow.
    assert statuses.count(3) > 0


def wait_for(pid: int, timeout: float) -> int | None:
    """The child's exit status, or None (after killing it) when it hangs."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        done, status = os.waitpid(pid, os.WNOHANG)
        if done:
            return os.waitstatus_to_exitcode(status)
        time.sleep(0.001)
    os.kill(pid, 9)
    os.waitpid(pid, 0)
    return None


# --- Bad input on the command line -------------------------------------------


def write_page(directory: Path, schema_jsonld_text: str) -> Path:
    page = directory / "page.json"
    page.write_text(
        '{"route": "/x", "entity": {"entity_type": "page", "title": "T"}, '
        f'"overrides": {{"schema_jsonld": {schema_jsonld_text}}}}}',
        encoding="utf-8",
    )
    return page


@pytest.mark.parametrize(
    "name, text",
    [
        ("page.json", "[" * 5000 + "]" * 5000),
        ("contract.json", '{"canonical_host": ' + "[" * 5000 + "]" * 5000 + "}"),
        ("contract.toml", "canonical_host = " + "[" * 5000 + "]" * 5000),
    ],
)
def test_deeply_nested_files_are_bad_input(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], name: str, text: str
) -> None:
    path = tmp_path / name
    path.write_text(text)
    argv = ["contract", str(path)] if name.startswith("contract") else ["build"]
    if argv == ["build"]:
        argv += ["-c", str(EXAMPLE_CONFIG), str(path)]
    code, out, err = run_cli(capsys, *argv)
    assert (code, out) == (2, "")
    assert err == f"zelko: {path}: invalid {path.suffix[1:].upper()}: nested too deeply\n"


def test_url_argument_that_is_not_utf8_is_bad_input(capsys: pytest.CaptureFixture[str]) -> None:
    # What the interpreter makes of the byte 0xFF in argv.
    code, out, err = run_cli(capsys, "url", "--clean", "/\udcff")
    assert (code, out, err) == (2, "", "zelko: argument '/\\udcff': not valid UTF-8 text\n")


@pytest.mark.parametrize(
    "schema, field, reason",
    [
        ('{"price": 1e400}', "overrides.schema_jsonld.price", "not a finite number"),
        ('["ok", "\\ud800"]', "overrides.schema_jsonld[1]", "a string with a lone surrogate"),
        ('{"\\udfff": 1}', "overrides.schema_jsonld", "a key with a lone surrogate"),
        ("[" * 129 + "]" * 129, "overrides.schema_jsonld", "nested deeper than 128 levels"),
    ],
)
def test_page_whose_schema_jsonld_the_engine_would_drop_is_refused(
    tmp_path: Path, capsys: pytest.CaptureFixture[str], schema: str, field: str, reason: str
) -> None:
    page = write_page(tmp_path, schema)
    code, out, err = run_cli(capsys, "render", "-c", str(EXAMPLE_CONFIG), str(page))
    assert (code, out, err) == (2, "", f"zelko: {page}: {field}: {reason}\n")


def test_page_with_schema_jsonld_at_the_depth_limit_renders_it(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    # Objects, since a top-level array would be taken as a list of nodes.
    text = '{"a": ' * 127 + "{}" + "}" * 127
    page = write_page(tmp_path, text)
    code, out, _ = run_cli(capsys, "build", "-c", str(EXAMPLE_CONFIG), str(page))
    assert code == 0
    assert json.loads(out)["schema_jsonld"] == json.loads(text)


# --- Broken Punycode labels --------------------------------------------------


BROKEN_PUNYCODE_HOSTS = ["xn--", "xn--a.com", "a.xn--ba-.com", "XN--SSA.de"]


@pytest.mark.parametrize("host", BROKEN_PUNYCODE_HOSTS)
def test_hosts_with_broken_punycode_labels_are_refused(host: str) -> None:
    message = "invalid international domain name"
    with pytest.raises(native.InvalidUrlError, match=message):
        override = native.SEOOverrides(canonical_url=f"https://{host}/x")
        native.build_seo_payload(make_post(), "/x", make_config(), override)
    as_base = native.SEOConfig("example.com", f"https://{host}/")
    with pytest.raises(ValueError, match=f"public_base_url: {message}"):
        native.normalize_public_url_fn("/a", as_base)
    as_canonical_host = native.SEOConfig(f"{host}:8443", "https://example.com")
    with pytest.raises(ValueError, match=f"canonical_host: {message}"):
        native.normalize_public_url_fn("/a", as_canonical_host)


def test_well_formed_punycode_hosts_are_kept() -> None:
    config = native.SEOConfig("XN--MNCHEN-3YA.de", "https://münchen.de")
    assert native.normalize_public_url_fn("/a", config) == "https://XN--MNCHEN-3YA.de/a"
    override = native.SEOOverrides(canonical_url="https://xn--mnchen-3ya.de/a")
    payload = native.build_seo_payload(make_post(), "/x", make_config(), override)
    assert payload.canonical == "https://xn--mnchen-3ya.de/a"
