#pragma once

#include "Services.h"

#include <QString>

// Whole-file UTF-8 text: the server-list cache is kept in this form.
namespace modUniCode {

/** True when path names an existing regular file (wildcards match as in a folder listing); errors give false. */
bool FileExists(const QString& path);

/** The whole file decoded as UTF-8, without a leading byte-order mark; on failure shows
 *  "파일 읽기 중 오류 발생: " + the error's description and returns empty text. */
QString ReadUTF8TextFile(const platform::Services& services, const QString& path);

/** Replaces path atomically with the byte-order mark and text as UTF-8; on failure shows
 *  "파일 저장 중 오류 발생: " + the error's description, leaves the old file whole and returns false, so that a
 *  caller can keep what it could not save. */
bool WriteUTF8TextFile(const platform::Services& services, const QString& path, const QString& text);

} // namespace modUniCode
