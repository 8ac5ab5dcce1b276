"""Every example in the README runs, so that none of them can rot."""

from __future__ import annotations

import re
import shlex
import shutil
import subprocess
import sys
import xml.etree.ElementTree as ElementTree
from pathlib import Path
from typing import Any

import pytest
from web_helpers import setup_django

from zelko import build_seo_payload
from zelko._files import load_page, load_site
from zelko.check.contract_file import load_contract_file
from zelko.cli import main

REPO = Path(__file__).resolve().parents[2]
README = (REPO / "README.md").read_text(encoding="utf-8")

FENCE = re.compile(r"^```(\w+)\n(.*?)^```$", re.MULTILINE | re.DOTALL)


def blocks(language: str) -> list[str]:
    return [body for tag, body in FENCE.findall(README) if tag == language]


def test_readme_has_the_examples_these_tests_run() -> None:
    assert len(blocks("python")) >= 6
    assert len(blocks("sh")) == 3
    assert len(blocks("json")) >= 1 and len(blocks("toml")) >= 2
    assert len(blocks("django")) == 1
    assert len(blocks("yaml")) == 1


def run_python_blocks(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> dict[str, Any]:
    # One namespace for all blocks: later snippets build on earlier ones, as a
    # reader following the README would.
    monkeypatch.chdir(tmp_path)
    namespace: dict[str, Any] = {"__name__": "readme"}
    for number, source in enumerate(blocks("python"), start=1):
        code = compile(source, f"README.md python block {number}", "exec")
        exec(code, namespace)
    return namespace


def python_scripts() -> list[str]:
    """Each Python block as the script a reader has when they reach it: the
    blocks before it, which it builds on, then the block itself."""
    python = blocks("python")
    return ["\n".join(python[: number + 1]) for number in range(len(python))]


@pytest.fixture(scope="module")
def script_folder(tmp_path_factory: pytest.TempPathFactory) -> Path:
    return tmp_path_factory.mktemp("readme-scripts")


@pytest.mark.parametrize("number", range(len(python_scripts())))
def test_python_snippet_runs_as_a_script(number: int, script_folder: Path) -> None:
    # A fresh interpreter running the file as __main__, as `python script.py`
    # does: inside pytest, a snippet that starts worker processes would
    # find pytest's main module instead of its own.
    script = script_folder / f"readme_{number + 1}.py"
    script.write_text(python_scripts()[number], encoding="utf-8")

    result = subprocess.run(
        [sys.executable, str(script)],
        cwd=script_folder,
        capture_output=True,
        text=True,
        timeout=300,
        check=False,
    )

    assert (result.returncode, result.stderr) == (0, ""), result.stderr[-3000:]


def test_django_snippets_serve_the_post(tmp_path: Path, monkeypatch: pytest.MonkeyPatch) -> None:
    """The settings and view of the Django section, and its template."""
    namespace = run_python_blocks(tmp_path, monkeypatch)
    setup_django()
    from django.template import engines
    from django.test import RequestFactory, override_settings

    from zelko.django import get_config

    assert "zelko.django" in namespace["INSTALLED_APPS"]
    view, post = namespace["post_seo"], namespace["post"]
    with override_settings(ZELKO=namespace["ZELKO"]):
        request = RequestFactory().get("/blog/hello-world?utm_source=feed")
        response = view(request, "hello-world")
        assert response.status_code == 200
        conditional = RequestFactory().get("/blog/x", headers={"If-None-Match": response["ETag"]})
        assert view(conditional, "hello-world").status_code == 304

        html = engines["django"].from_string(blocks("django")[0]).render({"post": post}, request)
        head = build_seo_payload(post, "/blog/hello-world", get_config()).render_html()
        assert html == f"<head>\n{head}</head>\n"


def main_job_arguments() -> list[str]:
    """The arguments of the main-job line at the top of the README."""
    top = blocks("sh")[0]
    line = top.splitlines()[0].split("#")[0]
    setup, command = line.split("&&")
    assert setup.strip() == "tools/bootstrap.sh"
    words = shlex.split(command)
    assert words[0] == ".venv/bin/zelko"
    return words[1:]


def test_main_job_line_renders_the_bundled_post(
    monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]
) -> None:
    monkeypatch.chdir(REPO)

    code = main(main_job_arguments())

    captured = capsys.readouterr()
    assert (code, captured.err) == (0, "")
    assert captured.out.startswith(
        "<title>Brewing the perfect pour-over | Kestrel Coffee</title>\n"
    )


def command_lines() -> list[str]:
    usage = blocks("sh")[1]
    return [
        line.split("  #")[0].strip() for line in usage.splitlines() if line.startswith("zelko ")
    ]


@pytest.mark.parametrize("line", command_lines())
def test_command_line_examples_succeed(
    line: str,
    tmp_path: Path,
    monkeypatch: pytest.MonkeyPatch,
    capsys: pytest.CaptureFixture[str],
) -> None:
    monkeypatch.chdir(REPO)
    arguments = shlex.split(line)[1:]
    for flag in ("-o", "--out"):
        if flag in arguments:
            # Keep the working tree clean: outputs go to the test's own directory.
            index = arguments.index(flag) + 1
            arguments[index] = str(tmp_path / arguments[index])

    code = main(arguments)

    captured = capsys.readouterr()
    # batch says on standard error which path it took; nothing else may appear.
    summary = "zelko: batch: 6 built, 0 bad (engine path, " if arguments[0] == "batch" else None
    assert code == 0
    assert captured.err == "" if summary is None else captured.err.startswith(summary)
    assert captured.out or "-o" in arguments


def test_served_example_site_passes_zelko_check_over_http() -> None:
    """The documented pair: the local server for the built example and
    `zelko check --url` against it, on a free port instead of 8000."""
    serve, check = [line.split("  #")[0].strip() for line in blocks("sh")[2].splitlines()]
    assert serve.endswith("&") and "--port 8000" in serve and "http://127.0.0.1:8000" in check
    serve_words = shlex.split(serve.rstrip("&").replace("--port 8000", "--port 0"))
    venv = Path(sys.executable).parent
    assert serve_words[0] == ".venv/bin/python"
    with subprocess.Popen(
        [sys.executable, *serve_words[1:]], cwd=REPO, stdout=subprocess.PIPE, text=True
    ) as server:
        try:
            assert server.stdout is not None
            base = server.stdout.readline().strip()  # printed once the socket listens
            assert base.startswith("http://127.0.0.1:"), base
            check_words = shlex.split(check.replace("http://127.0.0.1:8000", base))
            assert check_words[0] == ".venv/bin/zelko"
            result = subprocess.run(
                [str(venv / "zelko"), *check_words[1:]],
                cwd=REPO,
                capture_output=True,
                text=True,
                timeout=120,
                check=False,
            )
        finally:
            server.terminate()
    assert (result.returncode, result.stderr) == (0, "")
    assert result.stdout == "No findings in 7 pages.\n"


def test_ci_check_step_passes_on_the_bundled_site_and_contract(
    tmp_path: Path, monkeypatch: pytest.MonkeyPatch, capsys: pytest.CaptureFixture[str]
) -> None:
    # The pipeline's repository: the example built into build/ and its
    # contract as seo-contract.json, as the CI steps expect them.
    shutil.copytree(REPO / "examples" / "site" / "public", tmp_path / "build")
    shutil.copy(REPO / "examples" / "site" / "seo-contract.json", tmp_path / "seo-contract.json")
    monkeypatch.chdir(tmp_path)
    (step,) = [line for line in blocks("yaml")[0].splitlines() if "zelko check" in line]
    arguments = shlex.split(step.split("run:", 1)[1])

    code = main(arguments[1:])

    assert (code, capsys.readouterr().err) == (0, "")
    report = ElementTree.parse(tmp_path / arguments[arguments.index("-o") + 1]).getroot()
    assert len(report.findall("./testsuite/testcase")) == 7
    assert report.findall(".//failure") == []


def test_file_format_examples_load(tmp_path: Path) -> None:
    for number, text in enumerate(blocks("toml")):
        path = tmp_path / f"example{number}.toml"
        path.write_text(text, encoding="utf-8")
        if "public_base_url" in text:
            load_site(path)
        else:
            load_contract_file(path)  # a contract file, its [site] table too
    for number, text in enumerate(blocks("json")):
        path = tmp_path / f"page{number}.json"
        path.write_text(text, encoding="utf-8")
        page = load_page(path)
        assert page.route.startswith("/")


def test_crawl_outputs_shown_are_those_of_the_bundled_site(
    tmp_path: Path, capsys: pytest.CaptureFixture[str]
) -> None:
    site = str(REPO / "examples" / "site" / "zelko.toml")
    assert main(["robots", "--config", site]) == 0
    assert blocks("text") == [capsys.readouterr().out]
    assert (
        main(
            [
                "sitemap",
                "--config",
                site,
                str(REPO / "examples" / "site" / "pages"),
                "--out",
                str(tmp_path),
            ]
        )
        == 0
    )
    (entry,) = blocks("xml")
    assert entry in (tmp_path / "sitemap.xml").read_text(encoding="utf-8")


def test_install_commands_are_the_ones_ci_runs() -> None:
    # The install section's commands make release files and fresh
    # environments: CI runs each of them in tools/check_install.sh (the wheel
    # installed with pip into a fresh environment stands for `pip install
    # zelko`), so here each must be what that script and .ci/run really call.
    ci = (REPO / ".ci" / "run").read_text(encoding="utf-8")
    check_install = (REPO / "tools" / "check_install.sh").read_text(encoding="utf-8")
    commands = [
        line[2:].split("#")[0].strip()
        for block in blocks("console")
        for line in block.splitlines()
        if line.startswith("$ ")
    ]
    assert commands[0] == "pip install zelko"
    assert '-m pip install -q "$wheel[test]"' in check_install
    for command in commands[1:]:
        program = command.split()[0]
        if program.startswith("tools/"):
            assert (REPO / program).stat().st_mode & 0o111, program
            assert program in ci or program in check_install, program
        else:
            assert command.endswith("-m build --sdist")
            assert "-m build --sdist" in check_install
