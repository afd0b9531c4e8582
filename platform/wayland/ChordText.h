#pragma once

#include "platform/Backend.h"
#include <QString>
#include <utility>

namespace pressmark::platform::wayland {

// A chord as a desktop service spells it: the modifiers' names (Control,
// Alt, Shift, Windows key, in that order) before the key's, a letter in
// lower case; empty for a key without a name there.
inline QString chordText(unsigned keyCode, unsigned modifiers, const char* const (&names)[4]) {
    QString key;
    if (keyCode >= 'A' && keyCode <= 'Z') {
        key = QChar(static_cast<char16_t>(keyCode - 'A' + 'a'));
    } else if (keyCode >= '0' && keyCode <= '9') {
        key = QChar(static_cast<char16_t>(keyCode));
    } else if (keyCode >= 0x70 && keyCode <= 0x87) { // VK_F1..VK_F24
        key = QStringLiteral("F%1").arg(keyCode - 0x70 + 1);
    } else {
        return {};
    }
    QString text;
    const unsigned bits[] = {ModControl, ModAlt, ModShift, ModWin};
    for (int i = 0; i < 4; ++i) {
        if (modifiers & bits[i]) {
            text += QLatin1String(names[i]);
        }
    }
    return text + key;
}

} // namespace pressmark::platform::wayland
