"""Writes a benchmark package: MEMBERS members, half compressible text and half random
(incompressible) data, sized so the archive is about SIZE_MIB MiB. Deterministic.

    make_package.py OUT.zip SIZE_MIB [MEMBERS=400]
"""

import random
import sys
import zipfile

out, size_mib = sys.argv[1], float(sys.argv[2])
members = int(sys.argv[3]) if len(sys.argv) > 3 else 400
rnd = random.Random(753)
# Prose-like text: a few thousand made-up words, common ones far more frequent.
letters = b"etaoinshrdlcumwfgypbvkjxqz"
words = [bytes(rnd.choice(letters[:12 + k % 14]) for _ in range(2 + k % 9)) for k in range(4000)]
weights = [1.0 / (k + 1) for k in range(len(words))]
base = b" ".join(rnd.choices(words, weights, k=900000))  # ~5 MiB of text to slice from

# Random members keep their size in the archive; this text shrinks to about 0.35.
# Share the archive's bytes 60/40 between random and text members.
half = members // 2
random_size = int(size_mib * 0.6 * 2**20 / half)
text_size = int(size_mib * 0.4 * 2**20 / 0.35 / (members - half))
with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as zf:
    for i in range(members):
        info = zipfile.ZipInfo("data%03d.%s" % (i, "bin" if i % 2 else "txt"), (2024, 5, 1, 12, 0, 0))
        info.compress_type = zipfile.ZIP_DEFLATED
        if i % 2:
            data = rnd.randbytes(random_size)
        else:
            start = rnd.randrange(len(base) - text_size) if text_size < len(base) else 0
            data = (base * (1 + text_size // len(base)))[start:start + text_size]
        zf.writestr(info, data)
