# shellcheck shell=bash
# What a Windows package's programs must show a PE reader: the DLLs they may import, and what the program
# tells Windows about itself. Sourced by windows.sh.

# DLLs every Windows PC has: the package may import these without carrying them (the api-ms-win-* names are
# the system's own too).
ZT_WIN_SYSTEM_DLLS=(
    advapi32 authz bcrypt comctl32 comdlg32 crypt32 d2d1 d3d11 d3d9 dnsapi dwmapi dwrite dxgi gdi32 imm32
    iphlpapi kernel32 mpr msvcrt ncrypt netapi32 normaliz ntdll ole32 oleaut32 rpcrt4 secur32 setupapi shcore
    shell32 shlwapi user32 userenv uxtheme version winhttp winmm wldap32 ws2_32 wtsapi32
)

# The package holds programs only, and everything a program in folder $1 imports is a system DLL: a DLL it
# would look for beside itself could go missing with the next update, which replaces the exe alone.
# Lists what is wrong and fails then.
win_check_imports() {
    local dir=$1 file dll key wrong=()
    local -A system=()
    for dll in "${ZT_WIN_SYSTEM_DLLS[@]}"; do
        system[$dll.dll]=1
    done
    while IFS= read -r -d '' file; do
        case "${file,,}" in
        *.dll) wrong+=("${file#"$dir"/} is a DLL beside the program") ;;
        *.exe)
            while read -r dll; do
                key=${dll,,}
                if [ -z "${system[$key]:-}" ] && [[ $key != api-ms-win-* ]]; then
                    wrong+=("${file#"$dir"/} imports $dll, which is not part of Windows")
                fi
            done < <("$ZT_WIN_TRIPLET-objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')
            ;;
        esac
    done < <(find "$dir" -type f \( -iname '*.exe' -o -iname '*.dll' \) -print0)
    if [ ${#wrong[@]} -gt 0 ]; then
        printf '    %s\n' "${wrong[@]}" >&2
        log "the package's programs are not self-contained"
        return 1
    fi
}

# What the program's manifest must say (src/app/NorvaQuillet.manifest), as it stands in the exe.
ZT_WIN_MANIFEST_TEXTS=(
    'level="asInvoker"'
    'supportedOS Id="{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"'
    '>true</longPathAware>'
    '>PerMonitorV2</dpiAwareness>'
)

# The exe $1 is marked terminal-server aware and carries the manifest: run as the user who starts it, made for
# Windows 10 and 11, long paths, per-monitor DPI awareness (v2), and the system code page left as it is.
# Lists what is wrong and fails then.
win_check_program_settings() {
    local file=$1 flags text wrong=()
    flags=$("$ZT_WIN_TRIPLET-objdump" -p "$file" | sed -n 's/^DllCharacteristics[[:space:]]*//p')
    if [ -z "$flags" ] || ((!(16#$flags & 0x8000))); then
        wrong+=("not terminal-server aware (DllCharacteristics ${flags:-missing})")
    fi
    for text in "${ZT_WIN_MANIFEST_TEXTS[@]}"; do
        grep -aqF -e "$text" "$file" || wrong+=("its manifest lacks $text")
    done
    if grep -aqF -e '<activeCodePage' "$file"; then
        wrong+=("its manifest sets an active code page")
    fi
    if [ ${#wrong[@]} -gt 0 ]; then
        printf '    %s\n' "${wrong[@]}" >&2
        log "${file##*/} does not tell Windows what it should"
        return 1
    fi
}
