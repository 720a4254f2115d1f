"""A throwaway certificate authority and a code-signing certificate issued by
it, made with openssl for one test run."""

import subprocess
from pathlib import Path

_LEAF_EXTENSIONS = """\
basicConstraints = critical, CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
"""


def _openssl(*arguments):
    done = subprocess.run(["openssl", *map(str, arguments)], capture_output=True, text=True)
    if done.returncode != 0:
        raise RuntimeError(f"openssl {arguments[0]} failed: {done.stderr.strip()[-300:]}")


def make_ca(directory, name):
    """A self-signed authority: (certificate, key)."""
    directory = Path(directory)
    cert, key = directory / f"{name}-ca.pem", directory / f"{name}-ca.key"
    _openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "2",
             "-subj", f"/CN={name} throwaway CA", "-keyout", key, "-out", cert,
             "-addext", "basicConstraints=critical,CA:TRUE",
             "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    return cert, key


def make_signer(directory, ca):
    """A code-signing certificate issued by ca: (certificate, key)."""
    directory = Path(directory)
    cert, key, request = directory / "signer.pem", directory / "signer.key", directory / "signer.csr"
    extensions = directory / "signer.ext"
    extensions.write_text(_LEAF_EXTENSIONS, encoding="ascii")
    _openssl("req", "-new", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=Throwaway signer",
             "-keyout", key, "-out", request)
    _openssl("x509", "-req", "-in", request, "-CA", ca[0], "-CAkey", ca[1],
             "-CAcreateserial", "-sha256", "-days", "2", "-extfile", extensions, "-out", cert)
    return cert, key
