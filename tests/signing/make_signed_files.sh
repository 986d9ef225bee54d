#!/bin/sh
# make_signed_files.sh OUT_DIR KEYS_DIR: a file and its signatures, made with the stock
# openssl command as a publisher would, for the signature tests of both builds.
set -eu
out=$1 keys=$2
mkdir -p "$out"
# 200,000 bytes: more than one 64 KiB piece of the readers.
python3 -c 'import sys; sys.stdout.buffer.write(bytes((i * 7 + i // 251) % 256 for i in range(200000)))' >"$out/data.bin"
openssl dgst -sha256 -sign "$keys/test_private.pem" -out "$out/data.bin.sig" "$out/data.bin"
openssl dgst -sha256 -sign "$keys/other_private.pem" -out "$out/data.bin.other.sig" "$out/data.bin"
python3 -c 'import sys; d = bytearray(open(sys.argv[1], "rb").read()); d[150000] ^= 1; open(sys.argv[2], "wb").write(d)' \
  "$out/data.bin" "$out/tampered.bin"
: >"$out/empty.bin"
# Their SHA-256 as the stock tool computes it.
(cd "$out" && sha256sum data.bin empty.bin >sha256sums.txt)
openssl dgst -sha256 -sign "$keys/test_private.pem" -out "$out/empty.bin.sig" "$out/empty.bin"
touch "$out/stamp"
