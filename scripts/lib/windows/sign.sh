# shellcheck shell=bash
# Authenticode signatures with osslsigncode. Sourced by windows.sh.
#
# ZT_SIGN_PFX names a PKCS#12 file (.pfx) with the code-signing certificate, its chain and its private key;
# ZT_SIGN_PASSWORD_FILE a file whose first line is that file's password; ZT_SIGN_TIMESTAMP_URL, if set, an
# RFC 3161 time-stamp server, whose counter-signature keeps a signature valid after the certificate expires.
# Without ZT_SIGN_PFX nothing is signed, and the build says so once.

ZT_WIN_SIGN_DESCRIPTION="ZT SQL 로그 디코더"

# Whether a certificate was given to sign with; says once when there is none.
win_signing() {
    [ -z "${ZT_SIGN_PFX:-}" ] || return 0
    if [ -z "${ZT_WIN_SIGN_SAID:-}" ]; then
        log "nothing is signed: ZT_SIGN_PFX names no certificate"
        ZT_WIN_SIGN_SAID=1
    fi
    return 1
}

# win_sign_exe FILE: signs FILE in place with the certificate of ZT_SIGN_PFX (SHA-256).
win_sign_exe() {
    local file=$1 args out
    if [ ! -f "$ZT_SIGN_PFX" ]; then
        log "ZT_SIGN_PFX=$ZT_SIGN_PFX: no such file"
        return 1
    fi
    args=(-pkcs12 "$ZT_SIGN_PFX" -h sha256 -n "$ZT_WIN_SIGN_DESCRIPTION")
    [ -z "${ZT_SIGN_PASSWORD_FILE:-}" ] || args+=(-readpass "$ZT_SIGN_PASSWORD_FILE")
    [ -z "${ZT_SIGN_TIMESTAMP_URL:-}" ] || args+=(-ts "$ZT_SIGN_TIMESTAMP_URL")
    rm -f "$file.signed"
    if ! out=$(osslsigncode sign "${args[@]}" -in "$file" -out "$file.signed" 2>&1); then
        printf '%s\n' "$out" >&2
        rm -f "$file.signed"
        log "signing $file failed"
        return 1
    fi
    mv -f "$file.signed" "$file"
    log "signed ${file##*/} with $(basename "$ZT_SIGN_PFX")"
}

# win_verify_signature FILE CA_FILE: the signature of FILE is whole and its certificate chains to CA_FILE.
# No certificate revocation list is fetched: the check stays on this machine.
win_verify_signature() {
    local file=$1 ca=$2 out
    if ! out=$(osslsigncode verify -CAfile "$ca" -ignore-cdp -in "$file" 2>&1); then
        printf '%s\n' "$out" | tail -n 20 >&2
        log "the signature of $file does not verify"
        return 1
    fi
    log "${file##*/}: $(grep -m 1 '^Signature verification' <<<"$out")"
}

# win_test_certificate DIR: a throw-away code-signing certificate, made here for the tests and valid for two
# days; sets ZT_SIGN_PFX, ZT_SIGN_PASSWORD_FILE and ZT_WIN_TEST_CA (the certificate to verify against).
win_test_certificate() {
    local dir=$1
    mkdir -p "$dir"
    openssl rand -base64 24 >"$dir/password"
    if ! openssl req -x509 -newkey rsa:3072 -sha256 -days 2 -nodes -subj "/O=ZT test/CN=ZT test code signing" \
        -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=critical,digitalSignature" \
        -keyout "$dir/key.pem" -out "$dir/cert.pem" >"$dir/openssl.log" 2>&1 ||
        ! openssl pkcs12 -export -inkey "$dir/key.pem" -in "$dir/cert.pem" -passout "file:$dir/password" \
            -out "$dir/test.pfx" >>"$dir/openssl.log" 2>&1; then
        cat "$dir/openssl.log" >&2
        log "openssl could not make the test certificate"
        return 1
    fi
    export ZT_SIGN_PFX="$dir/test.pfx" ZT_SIGN_PASSWORD_FILE="$dir/password"
    # shellcheck disable=SC2034 # read by scripts/windows
    ZT_WIN_TEST_CA="$dir/cert.pem"
    log "signing with a throw-away test certificate ($ZT_SIGN_PFX)"
}
