#!/usr/bin/env bash
# Time and peak memory against the number of files: wyn routines -R over a
# folder and wyn colour over the same files named one by one, for 12,500,
# 25,000, 50,000 and 100,000 small scripts (the counts may be given
# instead); then the language server's resident memory after 100,000
# didOpen/didClose pairs of one small script, against that after the first
# 1,000. Each figure is the median of three runs (--runs N changes that);
# times and peaks come from /usr/bin/time. Both should grow linearly with
# the files, and the server's memory should stay flat over the pairs.
# The scripts are generated into a temporary folder and deleted afterwards.
#
#   bash scripts/measure-many-files.sh [--runs N] [BUILD_DIR] [COUNT...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
runs=3
if [[ ${1:-} == --runs ]]; then
  runs=$2
  shift 2
fi
build=$(cd "${1:-$here/build/linux}" && pwd)  # the runs start in other folders
shift || true
counts=("$@")
((${#counts[@]})) || counts=(12500 25000 50000 100000)
[[ -x $build/wyn ]] || { echo "missing $build/wyn: build first" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { source "$here/scripts/lib.sh"; install_missing time; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ulimit -s 65536  # room for 100,000 file names on one command line

# The median of the numbers on stdin.
median() { sort -g | awk '{a[NR] = $1} END {print a[int((NR + 1) / 2)]}'; }

# "SECONDS PEAK_KIB" of a command, each the median of $runs runs, output
# thrown away (the time file's last line: a failed run adds one above it).
measure() {
  local t=() m=() i
  for ((i = 0; i < runs; i++)); do
    /usr/bin/time -f '%e %M' -o "$work/time" "$@" >/dev/null 2>/dev/null || true
    read -r s k < <(tail -n 1 "$work/time")
    t+=("$s")
    m+=("$k")
  done
  echo "$(printf '%s\n' "${t[@]}" | median) $(printf '%s\n' "${m[@]}" | median)"
}

printf '%-8s %-10s %9s %10s\n' files command seconds "peak MiB"
for n in "${counts[@]}"; do
  dir=$work/n$n
  mkdir -p "$dir"
  python3 - "$dir" "$n" <<'EOF'
import sys
folder, n = sys.argv[1], int(sys.argv[2])
text = "function F%d(a)\nbegin\n    x = a; // note\nend;\n"
for i in range(n):
    with open("%s/%x.wyn" % (folder, i), "w") as f:
        f.write(text % i)
EOF
  read -r s k < <(measure "$build/wyn" routines -R "$dir")
  printf '%-8s %-10s %9s %10.1f\n' "$n" routines "$s" "$(echo "$k / 1024" | bc -l)"
  read -r s k < <(cd "$dir" && measure "$build/wyn" colour --color=never -- *.wyn)
  printf '%-8s %-10s %9s %10.1f\n' "$n" colour "$s" "$(echo "$k / 1024" | bc -l)"
  rm -rf "$dir"
done

# The server: initialize, then pairs of didOpen and didClose; after 1,000
# and after all of them, a request is answered and the server's resident
# set read from /proc.
python3 - "$build/wyn" <<'EOF'
import json, subprocess, sys, threading

server = subprocess.Popen([sys.argv[1], "lsp"], stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
answered = {}
ready = threading.Condition()

def reader():
    out = server.stdout
    while True:
        head = b""
        while not head.endswith(b"\r\n\r\n"):
            c = out.read(1)
            if not c:
                return
            head += c
        n = int([l for l in head.split(b"\r\n") if l.lower().startswith(b"content-length")][0]
                .split(b":")[1])
        body = json.loads(out.read(n))
        if "id" in body and "method" not in body:
            with ready:
                answered[body["id"]] = True
                ready.notify_all()

threading.Thread(target=reader, daemon=True).start()

def send(message):
    body = json.dumps(message).encode()
    server.stdin.write(b"Content-Length: %d\r\n\r\n" % len(body) + body)

def ask(id, method, params=None):
    send({"jsonrpc": "2.0", "id": id, "method": method, "params": params or {}})
    server.stdin.flush()
    with ready:
        ready.wait_for(lambda: id in answered)

def rss_kib():
    for line in open("/proc/%d/status" % server.pid):
        if line.startswith("VmRSS"):
            return int(line.split()[1])

ask(1, "initialize", {"capabilities": {}, "rootUri": None})
send({"jsonrpc": "2.0", "method": "initialized", "params": {}})
uri = "file:///nowhere/a.wyn"
text = "function F(a)\nbegin\n    x = a; // note\nend;\n"
figures = []
done = 0
for stop in (1000, 100000):
    for i in range(done, stop):
        send({"jsonrpc": "2.0", "method": "textDocument/didOpen",
              "params": {"textDocument": {"uri": uri, "languageId": "wyn", "version": i,
                                          "text": text}}})
        send({"jsonrpc": "2.0", "method": "textDocument/didClose",
              "params": {"textDocument": {"uri": uri}}})
    done = stop
    ask(stop, "textDocument/documentSymbol", {"textDocument": {"uri": uri}})
    figures.append(rss_kib())
ask(0, "shutdown")
send({"jsonrpc": "2.0", "method": "exit"})
server.stdin.close()
server.wait()
print("server: resident %.1f MiB after 1,000 didOpen/didClose pairs, %.1f MiB after 100,000 "
      "(%+.1f MiB)" % (figures[0] / 1024, figures[1] / 1024, (figures[1] - figures[0]) / 1024))
EOF
