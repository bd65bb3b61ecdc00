#!/bin/sh
# transfer-figures.sh BUILD_DIR [PROGRAM_BUILD_DIR]: the figures of transfer-bench, each scenario in a fresh
# process, in a loopback-only network whose name server is the bench itself (tests/common/with-own-name-server.sh),
# with the resolver's own defaults (5 s a try, 2 tries: a lookup nobody answers takes 10 s). The start-to-login
# figures time the program and version checker of PROGRAM_BUILD_DIR (another checkout's build, for a before and
# after), BUILD_DIR's by default.
# The PAC scenarios need libproxy's PAC runner (Debian: libproxy1-plugin-webkit); the program's own build
# does not.
set -eu
build=${1:?usage: transfer-figures.sh BUILD_DIR [PROGRAM_BUILD_DIR]}
program_build=${2:-$build}
here=$(cd "$(dirname "$0")" && pwd)
bench="$build/bench/transfer-bench"
resolv=$(mktemp)
trap 'rm -f "$resolv"' EXIT
printf 'nameserver 127.0.0.1\noptions timeout:5 attempts:2\n' >"$resolv"
run() {
    "$here/../tests/common/with-own-name-server.sh" "$resolv" "$bench" "$@" ||
        echo "    (transfer-bench $* ended with status $?)"
}
if ls /usr/lib/*/libproxy/*/modules/pacrunner_* >/dev/null 2>&1; then
    run dead-proxy 3
    run dead-proxy-redirects 1
    run both-dropping 3
    run start-to-login silent-proxy "$program_build/src/app/NorvaQuillet" "$program_build/tools/siblings/RendloV1"
else
    echo "no PAC runner for libproxy (apt-get install libproxy1-plugin-webkit): the dead-proxy figures are skipped"
fi
for skipped in 0 1 5; do
    run skipped-questions "$skipped"
done
run start-two-servers -1
run start-two-servers 2000
run endless-redirect
run exit-during-question 7
run start-to-login both-hung "$program_build/src/app/NorvaQuillet" "$program_build/tools/siblings/RendloV1"
