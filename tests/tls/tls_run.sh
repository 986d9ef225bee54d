#!/bin/sh
# tls_run.sh WORK_DIR MIRROR_SCRIPT PROGRAM [ARGS...]
# Runs the https test PROGRAM against three loopback https mirrors it starts: one with
# a certificate for localhost from a test root (VLR_TLS_TRUSTED), one from the same
# root for another name (VLR_TLS_MISMATCH), one self-signed (VLR_TLS_UNTRUSTED); each
# variable holds "localhost:PORT". A plain http mirror of the same root listens on
# VLR_TLS_PLAIN_PORT, for redirections that leave https. The test root is trusted only inside a private mount
# namespace, where the system's CA bundle is replaced by a copy with the root appended;
# nothing outlives the run. Where no such namespace can be made (it needs root), the
# program runs without the root trusted and VLR_TLS_NO_TRUST says why.
set -eu
work=$1 mirror=$2
shift 2
certs=$work/certs
rm -rf "$work" && mkdir -p "$work/root"
sh "$(dirname "$0")/make_certs.sh" "$certs"
printf 'served over https\r\n' >"$work/root/tls.txt"

started=""
cleanup() {
  for name in $started; do
    python3 "$mirror" --stop --pid-file "$work/$name.pid" >/dev/null 2>&1 || true
  done
}
trap cleanup EXIT
serve() {  # serve NAME [CERT]: a mirror of the root with that certificate, or plain
  python3 "$mirror" --daemon --root "$work/root" --port-file "$work/$1.port" \
    --pid-file "$work/$1.pid" --log "$work/$1.log" --max-seconds 300 --max-requests 200 \
    ${2:+--tls-cert "$certs/$2.pem" --tls-key "$certs/$2.key"} >/dev/null
  started="$started $1"
  echo "localhost:$(cat "$work/$1.port")"
}
VLR_TLS_TRUSTED=$(serve trusted localhost)
VLR_TLS_MISMATCH=$(serve mismatch othername)
VLR_TLS_UNTRUSTED=$(serve untrusted selfsigned)
VLR_TLS_PLAIN_PORT=$(serve plain | cut -d: -f2)
export VLR_TLS_TRUSTED VLR_TLS_MISMATCH VLR_TLS_UNTRUSTED VLR_TLS_PLAIN_PORT

bundle=/etc/ssl/certs/ca-certificates.crt
if [ ! -f "$bundle" ]; then
  export VLR_TLS_NO_TRUST="the system has no CA bundle at $bundle"
elif ! unshare -m --propagation private true 2>/dev/null; then
  export VLR_TLS_NO_TRUST="no private mount namespace here (unshare -m needs root)"
fi
status=0
if [ -n "${VLR_TLS_NO_TRUST:-}" ]; then
  echo "the test root is not trusted in this run: $VLR_TLS_NO_TRUST"
  "$@" || status=$?
else
  unshare -m --propagation private sh -c 'mount --bind "$1" "$2" && shift 2 && exec "$@"' \
    sh "$certs/bundle.pem" "$bundle" "$@" || status=$?
fi
exit $status
