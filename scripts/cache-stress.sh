#!/usr/bin/env bash
# Several processes load, refresh and save one cache file while another damages it in
# place (bytes flipped, cut, an older copy written over it, times set back each time) and
# renames older copies over it; every run must print the figures of a full scan. Run by
# hand, not in CI:  scripts/cache-stress.sh build/release/bench/vantery-bench HOME [SECONDS]
set -euo pipefail
bench=$1 home=$2 seconds=${3:-600}
work=$(mktemp -d)
cache=$work/scan-cache.bin
"$bench" scan --home "$home" --no-timing >"$work/reference.json"
end=$((SECONDS + seconds))

scanner() {
    local n=0 wrong=0 failed=0
    while ((SECONDS < end)); do
        if ! "$bench" scan --home "$home" --cache "$cache" --no-timing >"$work/out.$1.json" \
            2>>"$work/log.$1"; then
            failed=$((failed + 1))
        elif ! cmp -s "$work/out.$1.json" "$work/reference.json"; then
            wrong=$((wrong + 1))
            cp "$work/out.$1.json" "$work/wrong.$1.$n.json"
        fi
        n=$((n + 1))
    done
    echo "scanner $1: $n runs, $failed failed, $wrong with other figures," \
        "$(grep -c ': loaded,' "$work/log.$1" || true) from a loaded cache"
}

damager() {
    python3 - "$cache" "$seconds" "$work" <<'PY'
import os, random, shutil, sys, time
path, seconds, work = sys.argv[1], float(sys.argv[2]), sys.argv[3]
rng, counts, olds = random.Random(7), {}, []
end = time.monotonic() + seconds
while time.monotonic() < end:
    time.sleep(rng.uniform(0, 0.05))
    try:
        st = os.stat(path)
    except FileNotFoundError:
        continue
    what = rng.choice(["flip", "cut", "older in place", "older renamed over", "keep a copy"])
    try:
        if what == "keep a copy":
            copy = f"{work}/old.{len(olds) % 4}"
            shutil.copyfile(path, copy)
            olds.append(copy)
        elif what == "older renamed over":
            if not olds: continue
            shutil.copyfile(rng.choice(olds), path + ".next")
            os.rename(path + ".next", path)
        else:
            with open(path, "r+b") as f:
                if what == "flip":
                    for _ in range(rng.randint(1, 8)):
                        f.seek(rng.randrange(max(st.st_size, 1)))
                        f.write(bytes([rng.randrange(256)]))
                elif what == "cut":
                    f.truncate(rng.randrange(max(st.st_size, 1)))
                else:
                    if not olds: continue
                    f.truncate(0)
                    f.write(open(rng.choice(olds), "rb").read())
            os.utime(path, ns=(st.st_atime_ns, st.st_mtime_ns))  # times set back
    except (FileNotFoundError, OSError):
        continue
    counts[what] = counts.get(what, 0) + 1
print("damager:", ", ".join(f"{n} {w}" for w, n in sorted(counts.items())))
PY
}

for i in 1 2 3; do scanner "$i" & done
damager &
wait
if ls "$work"/wrong.* >/dev/null 2>&1; then
    echo "WRONG FIGURES: see $work"
    exit 1
fi
echo "no wrong figure ($work)"
