# shellcheck shell=bash
# What a Windows package may import. Sourced by windows.sh.

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
