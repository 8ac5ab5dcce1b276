"""``zelko contract``: a contract built from a contract file, its hash or JSON."""

from __future__ import annotations

import argparse
import os

from _zelko_native import SEOContract

from .._files import InputError
from ..check.contract_file import contract_text, load_contract_file, text_hash
from ._common import EXIT_OK, Streams, write_atomically


def register(commands: argparse._SubParsersAction[argparse.ArgumentParser]) -> None:
    command = commands.add_parser(
        "contract",
        help="Build an SEO contract and print its hash.",
        description="Build an SEO contract from a contract file and print its hash.",
    )
    command.add_argument("contract", metavar="CONTRACT", help="contract file (.toml or .json)")
    command.add_argument("-o", "--output", metavar="FILE", help="write the contract JSON to FILE")
    command.add_argument(
        "--json", action="store_true", help="print the contract JSON instead of its hash"
    )
    command.set_defaults(run=run)


def run(args: argparse.Namespace, streams: Streams) -> int:
    contract, site_rules = load_contract_file(args.contract)
    # The file holds exactly the hashed text, so its SHA-256 is the hash shown.
    if site_rules is None:
        if args.output is not None:
            write_contract(contract, args.output)
        streams.out.write((contract.to_json() if args.json else contract.hash()) + "\n")
        return EXIT_OK
    text = contract_text(contract, site_rules)
    if args.output is not None:
        write_text(text, args.output)
    streams.out.write((text if args.json else text_hash(text)) + "\n")
    return EXIT_OK


def write_text(text: str, path: str) -> None:
    """Replaces ``path`` with the contract's text in one rename."""
    if "\0" in path:
        raise InputError(path, "", "cannot write: embedded null byte")
    try:
        write_atomically(path, text.encode("utf-8"))
    except OSError as error:
        reason = os.strerror(error.errno) if error.errno else str(error)
        raise InputError(path, "", f"cannot write: {reason}") from None


def write_contract(contract: SEOContract, path: str) -> None:
    """Replaces ``path`` through the contract's own atomic write."""
    if "\0" in path:  # the system would cut the name there
        raise InputError(path, "", "cannot write: embedded null byte")
    try:
        contract.write(path)
    except OSError as error:
        reason = os.strerror(error.errno) if error.errno else str(error)
        raise InputError(path, "", f"cannot write: {reason}") from None
