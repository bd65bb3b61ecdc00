#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

namespace platform {

/** An error the way the classic runtime numbered them: a number, a description and where it came from.
 *  Returned as a value where failing is ordinary, thrown where a caller traps it. */
class VbError final : public std::exception
{
public:
    VbError() = default;
    VbError(int number, QString description, QString source = {});

    int number() const { return m_number; }
    const QString& description() const { return m_description; }
    const QString& source() const { return m_source; }
    bool isError() const { return m_number != 0; }

    const char* what() const noexcept override { return m_what.constData(); }

private:
    int m_number = 0;
    QString m_description;
    QString m_source;
    QByteArray m_what;
};

/** The classic numbers this program reports. */
namespace vberr {
inline constexpr int InvalidProcedureCall = 5;
inline constexpr int OutOfMemory = 7;
inline constexpr int SubscriptOutOfRange = 9;
inline constexpr int Overflow = 6;
inline constexpr int TypeMismatch = 13;
inline constexpr int UserInterrupt = 18;
inline constexpr int BadFileNameOrNumber = 52;
inline constexpr int FileNotFound = 53;
inline constexpr int FileAlreadyOpen = 55;
inline constexpr int DeviceIoError = 57;
inline constexpr int DiskFull = 61;
inline constexpr int PermissionDenied = 70;
inline constexpr int PathFileAccessError = 75;
inline constexpr int PathNotFound = 76;
inline constexpr int KeyAlreadyAssociated = 457;
} // namespace vberr

/** The classic runtime's English description of number (empty for numbers this program never raises). */
QString vbErrorDescription(int number);

/** An error with number and its classic description. */
VbError makeVbError(int number, const QString& source = {});

/** The classic error for a failed file operation, from the system's errno value. */
VbError vbErrorFromErrno(int errnoValue, const QString& source = {});

/** The classic error for a failed open of path: as vbErrorFromErrno, but a missing folder is "Path not found",
 *  as the classic runtime told it apart from a missing file. */
VbError vbErrorFromOpen(int errnoValue, const QString& path);

enum class ReportOwner { Module, Form };

/** "Error N (description) in procedure P of Module|Form M": the one form in which trapped errors are shown. */
QString errorReportText(const VbError& error, const QString& procedure, ReportOwner owner, const QString& ownerName);

} // namespace platform
