#!/usr/bin/env bash
# Signs a Windows executable in place with Authenticode:
#   ELDORIS_SIGN_CERT=cert.pem ELDORIS_SIGN_KEY=key.pem scripts/sign.sh eldoris-setup.exe
# The certificate file may hold the whole chain. No timestamp server is asked,
# so the build needs no network; SOURCE_DATE_EPOCH, when set, fixes the
# signing time so that the signed file is reproducible too.
set -euo pipefail

if [[ $# -ne 1 ]]; then
  echo "usage: ELDORIS_SIGN_CERT=cert.pem ELDORIS_SIGN_KEY=key.pem $0 program.exe" >&2
  exit 2
fi
exe=$1
cert=${ELDORIS_SIGN_CERT:?ELDORIS_SIGN_CERT must name the certificate (PEM)}
key=${ELDORIS_SIGN_KEY:?ELDORIS_SIGN_KEY must name the private key (PEM)}
for file in "$exe" "$cert" "$key"; do
  [[ -f "$file" ]] || { echo "sign.sh: no such file: $file" >&2; exit 1; }
done

time_option=()
[[ -n "${SOURCE_DATE_EPOCH:-}" ]] && time_option=(-time "$SOURCE_DATE_EPOCH")

# osslsigncode writes only to a new file: sign into a neighbour, then replace.
signed=$exe.signing
rm -f "$signed"
trap 'rm -f "$signed"' EXIT
osslsigncode sign -certs "$cert" -key "$key" -h sha256 \
  -n "Тальвер Эльдорис" "${time_option[@]}" \
  -in "$exe" -out "$signed" >/dev/null
chmod --reference="$exe" "$signed"
mv -f "$signed" "$exe"
trap - EXIT
echo "signed $exe"
