"""Hashes do not depend on the machine's OpenSSL configuration.

An OpenSSL configuration can leave SHA-256 unavailable through OpenSSL's
provider lookup (here: one that loads only the base provider). The payload
hash, the ETag and the contract hash must still be the SHA-256 of the bytes,
never an all-zero digest passed off as one.
"""

from __future__ import annotations

import hashlib
import json
import os
import subprocess
import sys
from pathlib import Path

BASE_PROVIDER_ONLY = """\
openssl_conf = openssl_init
[openssl_init]
providers = provider_sect
[provider_sect]
base = base_sect
[base_sect]
activate = 1
"""

DIGESTS = """
import json
import zelko

config = zelko.SEOConfig("www.example.com", "https://www.example.com", site_name="Example")
payload = zelko.build_seo_payload(zelko.SEOEntity("post", title="Hello"), "/blog/hello", config)
contract = zelko.build_seo_contract(zelko.SEOContractConfig("www.example.com"))
print(json.dumps({
    "payload": payload.hash(),
    "etag": payload.etag(),
    "contract": contract.hash(),
    "contract_json": contract.to_json(),
}))
"""


def digests(env: dict[str, str]) -> dict[str, str]:
    result = subprocess.run(
        [sys.executable, "-c", DIGESTS],
        env=env,
        capture_output=True,
        text=True,
        check=True,
    )
    answer = json.loads(result.stdout)
    assert isinstance(answer, dict)
    return answer


def test_hashes_ignore_an_openssl_configuration_without_sha256(tmp_path: Path) -> None:
    conf = tmp_path / "openssl.cnf"
    conf.write_text(BASE_PROVIDER_ONLY, encoding="utf-8")
    plain_env = {key: value for key, value in os.environ.items() if key != "OPENSSL_CONF"}

    plain = digests(plain_env)
    restricted = digests({**plain_env, "OPENSSL_CONF": str(conf)})

    assert restricted == plain
    expected = hashlib.sha256(plain["contract_json"].encode("utf-8")).hexdigest()
    assert plain["contract"] == expected
    assert plain["etag"] == f'"{plain["payload"]}"'
    assert set(plain["payload"]) != {"0"}
