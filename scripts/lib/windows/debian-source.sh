# shellcheck shell=bash
# Debian source packages for the Windows dependencies: deb-src entries, the versions worth trying, the
# download. Sourced by windows.sh.

# apt-get source needs deb-src entries. Without any, mirror the machine's own Debian entries (same
# addresses, suites, components and keys) as deb-src, in whichever of apt's two forms each came in.
win_ensure_deb_src() {
    local codename f files=() stanzas="" lines=""
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
        [ ! -f "$f" ] || files+=("$f")
    done
    if [ ${#files[@]} -gt 0 ] && grep -Eqs '^[[:space:]]*(deb-src[[:space:]]|Types:.*deb-src)' "${files[@]}"; then
        return 0
    fi
    for f in "${files[@]}"; do
        case "$f" in
        *.sources)
            stanzas+=$(awk -v codename="$codename" '
                function flush() {
                    if (n > 0 && isdeb && suiteok && enabled) {
                        print "Types: deb-src"
                        for (i = 1; i <= n; i++) if (lines[i] !~ /^(Types:|#)/) print lines[i]
                        print ""
                    }
                    n = 0; isdeb = 0; suiteok = 0; enabled = 1
                }
                BEGIN { enabled = 1 }
                /^[ \t]*$/ { flush(); next }
                {
                    lines[++n] = $0
                    if ($1 == "Types:") for (i = 2; i <= NF; i++) if ($i == "deb") isdeb = 1
                    if ($1 == "Suites:") for (i = 2; i <= NF; i++) if (index($i, codename) == 1) suiteok = 1
                    if ($1 == "Enabled:" && tolower($2) == "no") enabled = 0
                }
                END { flush() }' "$f")$'\n\n'
            ;;
        *)
            # "deb [options] URI SUITE COMPONENT..."
            lines+=$(awk -v codename="$codename" '
                $1 == "deb" {
                    i = 2
                    if ($2 ~ /^\[/) { while (i < NF && $i !~ /\]$/) i++; i++ }
                    if (index($(i + 1), codename) != 1) next
                    sub(/^deb/, "deb-src"); print
                }' "$f")$'\n'
            ;;
        esac
    done
    if ! grep -q 'deb-src' <<<"$stanzas$lines"; then
        log "no Debian $codename entry in the apt sources to mirror as deb-src"
        return 1
    fi
    log "adding deb-src entries for Debian $codename to /etc/apt/sources.list.d/zt-deb-src.*"
    if grep -q 'deb-src' <<<"$stanzas"; then
        printf '%s\n' "$stanzas" | cat -s | sed '${/^$/d}' | win_sudo tee /etc/apt/sources.list.d/zt-deb-src.sources >/dev/null
    fi
    if grep -q 'deb-src' <<<"$lines"; then
        printf '%s\n' "$lines" | grep . | win_sudo tee /etc/apt/sources.list.d/zt-deb-src.list >/dev/null
    fi
    win_sudo apt-get update -qq
}

# Source versions worth trying for a binary package, newest first: the one its candidate comes from, then
# the others the deb-src index lists (a mirror may list a source it does not hold).
win_source_versions() {
    local binpkg=$1 srcpkg=$2 list=() v i j
    list+=("$(apt-cache show --no-all-versions "$binpkg" | awk '
        /^Version:/ { v = $2 }
        /^Source:/ && NF >= 3 { sv = $3; gsub(/[()]/, "", sv) }
        END { print (sv != "" ? sv : v) }')")
    local others=()
    mapfile -t others < <(apt-cache showsrc "$srcpkg" | awk '/^Version:/ { print $2 }')
    for ((i = 0; i < ${#others[@]}; i++)); do
        for ((j = i + 1; j < ${#others[@]}; j++)); do
            if dpkg --compare-versions "${others[j]}" gt "${others[i]}"; then
                v=${others[i]}; others[i]=${others[j]}; others[j]=$v
            fi
        done
    done
    for v in "${others[@]}"; do
        [ "$v" = "${list[0]}" ] || list+=("$v")
    done
    printf '%s\n' "${list[@]}"
}

# Downloads (does not build) a Debian source package once; ZT_WIN_DSC names its .dsc. A version the mirror
# does not hold is remembered for a week, so that later runs go straight to the next one.
win_fetch_source() {
    local pkg=$1 version=$2 err
    local dir="$ZT_WIN_CACHE/src/${pkg}_${version#*:}"
    mkdir -p "$ZT_WIN_CACHE/src"
    find "$ZT_WIN_CACHE/src" -maxdepth 1 -name '*.unavailable' -mtime +6 -delete
    [ ! -f "$dir.unavailable" ] || return 1
    if [ ! -f "$dir/.complete" ]; then
        log "downloading the Debian source of $pkg $version"
        rm -rf "$dir"
        mkdir -p "$dir"
        # Root downloads without apt's sandbox user, who could not write here.
        if ! err=$(cd "$dir" && apt-get source -qq --download-only -o APT::Sandbox::User=root "$pkg=$version" 2>&1); then
            printf '%s\n' "$err" | grep -m 1 '^E:' >&2 || true
            log "the source of $pkg $version cannot be downloaded; trying an older one"
            rm -rf "$dir"
            touch "$dir.unavailable"
            return 1
        fi
        touch "$dir/.complete"
    fi
    local dscs=("$dir"/*.dsc)
    # shellcheck disable=SC2034 # read by win_build_dep
    ZT_WIN_DSC=${dscs[0]}
}
