# shellcheck shell=bash
# The large files the benchmarks measure (sourced by delta_bench.sh,
# delta_link_bench.sh and extract_bench.sh). Both steps are seeded, so every
# run and every machine gets the same bytes.

# Writes $1: $2 MiB of mixed data, a quarter random bytes, three eighths
# number text ("1\n2\n3\n...") and three eighths base64 text of random bytes
# in lines of 76.
mixed_data() {
  python3 - "$1" "$2" <<'EOF'
import base64, random, sys
quarter = int(sys.argv[2]) * 1024 * 1024 // 4
rest = 4 * quarter - quarter - quarter * 3 // 2
rng = random.Random(2026)
numbers = bytearray()
n = 1
while len(numbers) < quarter * 3 // 2:
    numbers += b"".join(b"%d\n" % i for i in range(n, n + 100000))
    n += 100000
text = base64.encodebytes(rng.randbytes(rest * 3 // 4 + 64))
with open(sys.argv[1], "wb") as out:
    out.write(rng.randbytes(quarter))
    out.write(numbers[: quarter * 3 // 2])
    out.write(text[:rest])
EOF
}

# Writes $2: $1 with 1 % of its bytes changed, in runs of 1 to $3 bytes at
# scattered places.
mixed_data_changed() {
  python3 - "$1" "$2" "$3" <<'EOF'
import random, sys
data = bytearray(open(sys.argv[1], 'rb').read())
longest = int(sys.argv[3])
rng = random.Random(2026)
changed = 0
while changed < len(data) // 100:
    at, run = rng.randrange(len(data)), rng.randint(1, longest)
    for i in range(at, min(len(data), at + run)):
        data[i] = (data[i] + rng.randint(1, 255)) % 256
    changed += run
open(sys.argv[2], 'wb').write(data)
EOF
}
