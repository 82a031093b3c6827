# Shared by the command line's Wine scripts: run a Windows program in the
# fixture's prefix within a time limit, and check its exit code and output.
# Needs $prefix and $work set; sets $out and $code, counts $failures.
fixture="$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts" && pwd)/wine-fixture.sh"
failures=0
out=""
code=0
limit=30  # seconds any one command may take (each takes a few, Wine's start included)
run() {  # program args...: runs it in the fixture's prefix, keeps its output and exit code
    timeout --kill-after=5 "$limit" "$fixture" run "$prefix" "$@" >"$work/output.txt" 2>&1
    code=$?
    out=$(tr -d '\r' <"$work/output.txt")
    if [ "$code" = 124 ] || [ "$code" = 137 ]; then
        out="$out
(stopped: still running after $limit s)"
    fi
}
fail() {  # description: one more failure, with the last output
    echo "FAIL: $1"
    echo "$out" | sed 's/^/    | /'
    failures=$((failures + 1))
}
expect() {  # description, expected exit code, pattern the output must hold
    if [ "$code" != "$2" ] || ! grep -qE -- "$3" <<<"$out"; then
        fail "$1 (exit $code, expected $2; wanted /$3/)"
    else
        echo "ok:   $1"
    fi
}
check() {  # description, then a command that must succeed
    local what="$1"
    shift
    if "$@"; then echo "ok:   $what"; else fail "$what"; fi
}
background() {  # output file, program args...: starts it in the prefix, its pid in $job
    local file="$1"
    shift
    timeout --kill-after=5 "$limit" "$fixture" run "$prefix" "$@" >"$file" 2>&1 &
    job=$!
}
collect() {  # output file: waits for the background program, its exit code and output
    wait "$job"
    code=$?
    out=$(tr -d '\r' <"$1")
}
