#pragma once

#include "platform/Backend.h"
#include <QString>
#include <functional>
#include <map>
#include <utility>
#include <vector>

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

// Hot keys held by a desktop service that binds all of a program's at once,
// each under its name there: every change binds the whole set again, and
// one the service does not give is not had and not asked for again until
// it is registered again.
class HotKeySet : public HotKeys {
public:
    bool registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) override {
        return registerHotKeys({{systemId, keyCode, modifiers}}).front();
    }
    std::vector<bool> registerHotKeys(const std::vector<HotKeyRequest>& chords) override {
        for (const HotKeyRequest& c : chords) {
            const QString name = chordName(c.keyCode, c.modifiers);
            if (name.isEmpty()) {
                m_wanted.erase(c.systemId);
            } else {
                m_wanted[c.systemId] = name;
            }
        }
        bind();
        std::vector<bool> had;
        for (const HotKeyRequest& c : chords) {
            had.push_back(m_wanted.count(c.systemId) > 0);
        }
        return had;
    }
    void unregisterHotKey(int systemId) override {
        if (m_wanted.erase(systemId) > 0) {
            bind();
        }
    }
    void setHandler(std::function<void(int systemId)> handler) override {
        m_handler = std::move(handler);
    }

protected:
    // The chord's name for the service; empty when it has none.
    virtual QString chordName(unsigned keyCode, unsigned modifiers) const = 0;
    // Binds all of m_wanted, and takes out of it those not had.
    virtual void bind() = 0;

    std::map<int, QString> m_wanted; // systemId -> the chord's name
    std::function<void(int)> m_handler;
};

} // namespace pressmark::platform::wayland
