#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

// A secret kept in the settings (the remembered password): protected for the user where the system can, marked
// so that it is told apart from the plain values older programs wrote, which stay readable.
namespace platform {

/** What a stored value turned out to be. */
enum class StoredSecretKind {
    /** Unmarked: the secret itself, as the classic program (or a store without protection) keeps it. */
    Plain,
    /** Marked, and opened. */
    Protected,
    /** Marked, and it cannot be opened here (another account, another PC, damaged): no secret. */
    Unreadable,
};

struct OpenedSecret
{
    StoredSecretKind kind = StoredSecretKind::Plain;
    QString text; // empty when Unreadable
};

/** Protects or opens bytes; nothing when it cannot. */
using SecretTransform = std::function<std::optional<QByteArray>(const QByteArray&)>;

/** Judges a stored value, opening a marked one with unprotect. */
OpenedSecret openStoredSecret(const QString& stored, const SecretTransform& unprotect);

/** The value to store for secret: marked and protected by protect; the secret itself where there is no
 *  protection (protect empty) and for an empty secret; empty when protect fails. */
QString sealSecret(const QString& secret, const SecretTransform& protect);

/** openStoredSecret with this user's protection (UserDataProtection.h). */
OpenedSecret readStoredSecret(const QString& stored);

/** sealSecret with this user's protection, where the system has one. */
QString storedFormOfSecret(const QString& secret);

} // namespace platform
