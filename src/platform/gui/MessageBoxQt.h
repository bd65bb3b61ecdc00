#pragma once

#include "MessageBox.h"

namespace platform {

/** The real message box: QMessageBox with an OK button only. */
class MessageBoxQt final : public IMessageBox
{
public:
    void show(const QString& text, const QString& title = {}, MessageIcon icon = MessageIcon::None) override;
};

} // namespace platform
