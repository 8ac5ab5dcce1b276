"""``zelko contract``: a contract built from a contract file, its hash or JSON."""

from __future__ import annotations

import argparse
import os

from _zelko_native import SEOContract, build_seo_contract

from .._files import InputError, load_contract_config
from ._common import EXIT_OK, Streams


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
    contract = build_seo_contract(load_contract_config(args.contract))
    # The file holds exactly the hashed text, so its SHA-256 is the hash shown.
    if args.output is not None:
        write_contract(contract, args.output)
    streams.out.write((contract.to_json() if args.json else contract.hash()) + "\n")
    return EXIT_OK


def write_contract(contract: SEOContract, path: str) -> None:
    """Replaces ``path`` through the contract's own atomic write."""
    if "\0" in path:  # the system would cut the name there
        raise InputError(path, "", "cannot write: embedded null byte")
    try:
        contract.write(path)
    except OSError as error:
        reason = os.strerror(error.errno) if error.errno else str(error)
        raise InputError(path, "", f"cannot write: {reason}") from None
