#pragma once

namespace platform {

/** Puts Qt's own texts (the buttons of message boxes, the context menus of text boxes) in Korean on every system,
 *  from the translation built into the program. False when it could not be loaded. */
bool installKoreanQtTexts();

} // namespace platform
