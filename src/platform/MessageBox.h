#pragma once

#include <QString>

namespace platform {

enum class MessageIcon { None, Error };

/** A modal message box with an OK button only. Tests replace it with a recorder. */
class IMessageBox
{
public:
    virtual ~IMessageBox() = default;
    /** Shows text; an empty title means the program's title. Returns when the user has pressed OK. */
    virtual void show(const QString& text, const QString& title = {}, MessageIcon icon = MessageIcon::None) = 0;
};

} // namespace platform
