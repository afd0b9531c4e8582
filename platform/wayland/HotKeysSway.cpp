#include "HotKeysSway.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <sstream>

#include <strings.h>
#include <unistd.h>
#include <wordexp.h>

#include <xkbcommon/xkbcommon-keysyms.h>
#include <xkbcommon/xkbcommon.h>

namespace pressmark::platform::wayland {
namespace {

constexpr std::uint32_t bindingEvent = SwayIpc::EventBit | 5;
constexpr std::string_view commandPrefix = "nop pressmark:";

// Modifier bits as sway (and xkb's default names) count them.
constexpr unsigned SwayShift = 1, SwayLock = 2, SwayCtrl = 4, SwayMod1 = 8, SwayMod2 = 16,
                   SwayMod3 = 32, SwayMod4 = 64, SwayMod5 = 128;

struct Chord {
    unsigned mods = 0;
    xkb_keysym_t keysym = XKB_KEY_NoSymbol;
};

xkb_keysym_t keysymForVirtualKey(unsigned vk) {
    if (vk >= 'A' && vk <= 'Z') {
        return XKB_KEY_a + (vk - 'A');
    }
    if (vk >= '0' && vk <= '9') {
        return XKB_KEY_0 + (vk - '0');
    }
    if (vk >= 0x70 && vk <= 0x87) { // VK_F1..VK_F24
        return XKB_KEY_F1 + (vk - 0x70);
    }
    if (vk >= 0x60 && vk <= 0x69) { // VK_NUMPAD0..9
        return XKB_KEY_KP_0 + (vk - 0x60);
    }
    static const std::map<unsigned, xkb_keysym_t> others{
        {0x08, XKB_KEY_BackSpace}, {0x09, XKB_KEY_Tab},    {0x0D, XKB_KEY_Return},
        {0x13, XKB_KEY_Pause},     {0x1B, XKB_KEY_Escape}, {0x20, XKB_KEY_space},
        {0x21, XKB_KEY_Prior},     {0x22, XKB_KEY_Next},   {0x23, XKB_KEY_End},
        {0x24, XKB_KEY_Home},      {0x25, XKB_KEY_Left},   {0x26, XKB_KEY_Up},
        {0x27, XKB_KEY_Right},     {0x28, XKB_KEY_Down},   {0x2C, XKB_KEY_Print},
        {0x2D, XKB_KEY_Insert},    {0x2E, XKB_KEY_Delete}};
    const auto it = others.find(vk);
    return it == others.end() ? XKB_KEY_NoSymbol : it->second;
}

unsigned swayMods(unsigned winMods) {
    return (winMods & ModWin ? SwayMod4 : 0) | (winMods & ModControl ? SwayCtrl : 0) |
           (winMods & ModAlt ? SwayMod1 : 0) | (winMods & ModShift ? SwayShift : 0);
}

// A modifier's bit by any of the names sway (or a user) gives it, 0 for a key.
unsigned modifierBit(const std::string& name) {
    static const std::pair<const char*, unsigned> names[] = {
        {"Shift", SwayShift}, {"Lock", SwayLock}, {"Caps", SwayLock},  {"Control", SwayCtrl},
        {"Ctrl", SwayCtrl},   {"Mod1", SwayMod1}, {"Alt", SwayMod1},   {"Mod2", SwayMod2},
        {"Mod3", SwayMod3},   {"Mod4", SwayMod4}, {"Super", SwayMod4}, {"Logo", SwayMod4},
        {"Mod5", SwayMod5}};
    for (const auto& [n, bit] : names) {
        if (strcasecmp(n, name.c_str()) == 0) {
            return bit;
        }
    }
    return 0;
}

// A key combination of a binding line split into modifiers and keys;
// keyGroups ("Group2") restrict a binding to a layout and are left out.
void splitCombo(const std::string& combo, unsigned& mods, std::vector<std::string>& keys) {
    std::stringstream parts(combo);
    for (std::string part; std::getline(parts, part, '+');) {
        if (const unsigned bit = modifierBit(part)) {
            mods |= bit;
        } else if (!(part.size() == 6 && strncasecmp(part.c_str(), "Group", 5) == 0)) {
            keys.push_back(part);
        }
    }
}

std::string trim(std::string_view s) {
    const auto b = s.find_first_not_of(" \t\r");
    if (b == std::string_view::npos) {
        return {};
    }
    return std::string(s.substr(b, s.find_last_not_of(" \t\r") - b + 1));
}

// The configuration's commands, one per entry, as sway reads them: lines
// joined at a trailing backslash, comments left out, and each line inside a
// block ("mode "resize" {", "bindsym {") prefixed with the block's head.
std::vector<std::string> commandLines(std::string_view text) {
    std::vector<std::string> lines;
    std::vector<std::string> blocks;
    std::string pending;
    std::stringstream in{std::string(text)};
    for (std::string raw; std::getline(in, raw);) {
        std::string line = pending + trim(raw);
        pending.clear();
        if (!line.empty() && line.back() == '\\') {
            line.pop_back();
            pending = line;
            continue;
        }
        if (line.empty() || line.front() == '#') {
            continue;
        }
        if (line.front() == '}') {
            if (!blocks.empty()) {
                blocks.pop_back();
            }
            continue;
        }
        const std::string prefix = blocks.empty() ? std::string() : blocks.back() + ' ';
        if (line.back() == '{') {
            blocks.push_back(prefix + trim(std::string_view(line).substr(0, line.size() - 1)));
            continue;
        }
        lines.push_back(prefix + line);
    }
    return lines;
}

// Words of a command, quotes removed.
std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> out;
    std::string cur;
    char quote = 0;
    bool inWord = false;
    for (const char c : line) {
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                cur += c;
            }
        } else if (c == '"' || c == '\'') {
            quote = c;
            inWord = true;
        } else if (c == ' ' || c == '\t') {
            if (inWord) {
                out.push_back(cur);
                cur.clear();
                inWord = false;
            }
        } else {
            cur += c;
            inWord = true;
        }
    }
    if (inWord) {
        out.push_back(cur);
    }
    return out;
}

using Variables = std::vector<std::pair<std::string, std::string>>; // longest name first

std::string substitute(std::string line, const Variables& vars) {
    for (const auto& [name, value] : vars) {
        for (auto at = line.find(name); at != std::string::npos;
             at = line.find(name, at + value.size())) {
            line.replace(at, name.size(), value);
        }
    }
    return line;
}

// The key codes that give keysym on the first level of the first layout of
// the keymap the configuration's keyboards use (or xkb's default one).
std::set<std::uint32_t> keycodesOf(xkb_keysym_t keysym, const std::string& layout,
                                   const std::string& variant) {
    std::set<std::uint32_t> codes;
    xkb_context* ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!ctx) {
        return codes;
    }
    xkb_rule_names names{};
    names.layout = layout.empty() ? nullptr : layout.c_str();
    names.variant = variant.empty() ? nullptr : variant.c_str();
    if (xkb_keymap* keymap = xkb_keymap_new_from_names(ctx, &names, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        for (xkb_keycode_t kc = xkb_keymap_min_keycode(keymap);
             kc <= xkb_keymap_max_keycode(keymap); ++kc) {
            const xkb_keysym_t* syms = nullptr;
            const int n = xkb_keymap_key_get_syms_by_level(keymap, kc, 0, 0, &syms);
            if (std::find(syms, syms + std::max(n, 0), keysym) != syms + std::max(n, 0)) {
                codes.insert(kc);
            }
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(ctx);
    return codes;
}

bool configBinds(const std::vector<std::string>& configs, const Chord& chord) {
    std::vector<std::string> lines;
    for (const std::string& text : configs) {
        auto more = commandLines(text);
        lines.insert(lines.end(), std::make_move_iterator(more.begin()),
                     std::make_move_iterator(more.end()));
    }
    // First the variables (an included file may set what the main one uses)
    // and the keyboard layout a bindcode line is read against, then the
    // bindings.
    Variables vars;
    std::string layout, variant;
    for (const std::string& line : lines) {
        const auto w = words(line);
        if (const auto in = words(substitute(line, vars)); in.size() >= 4 && in[0] == "input") {
            // "input <identifier> xkb_layout us,ru": its first layout
            if (in[2] == "xkb_layout" && layout.empty()) {
                layout = in[3];
            } else if (in[2] == "xkb_variant" && variant.empty()) {
                variant = in[3];
            }
        }
        if (w.size() >= 3 && w[0] == "set" && w[1].size() > 1 && w[1][0] == '$') {
            const std::string value = trim(line.substr(line.find(w[1]) + w[1].size()));
            std::erase_if(vars, [&](const auto& v) { return v.first == w[1]; });
            vars.emplace_back(w[1], substitute(value, vars));
            std::stable_sort(vars.begin(), vars.end(), [](const auto& a, const auto& b) {
                return a.first.size() > b.first.size();
            });
        }
    }
    std::optional<std::set<std::uint32_t>> codes; // made when a bindcode line asks
    for (const std::string& line : lines) {
        const auto w = words(substitute(line, vars));
        std::size_t i = 0;
        if (!w.empty() && w[0] == "mode") { // "mode [--pango_markup] <name> <command>"
            i = 1;
            while (i < w.size() && w[i].rfind("--", 0) == 0) {
                ++i;
            }
            if (i >= w.size() || w[i] != "default") {
                continue;
            }
            ++i;
        }
        if (i >= w.size() || (w[i] != "bindsym" && w[i] != "bindcode")) {
            continue;
        }
        const bool byCode = w[i] == "bindcode";
        for (++i; i < w.size() && w[i].rfind("--", 0) == 0; ++i) {
        }
        if (i >= w.size()) {
            continue;
        }
        unsigned mods = 0;
        std::vector<std::string> keys;
        splitCombo(w[i], mods, keys);
        if (mods != chord.mods || keys.size() != 1) {
            continue;
        }
        if (!byCode) {
            if (xkb_keysym_from_name(keys[0].c_str(), XKB_KEYSYM_CASE_INSENSITIVE) ==
                chord.keysym) {
                return true;
            }
            continue;
        }
        char* end = nullptr;
        const unsigned long code = std::strtoul(keys[0].c_str(), &end, 10);
        if (end == keys[0].c_str() || *end != '\0') {
            continue;
        }
        if (!codes) {
            codes = keycodesOf(chord.keysym, layout, variant);
        }
        if (codes->count(static_cast<std::uint32_t>(code))) {
            return true;
        }
    }
    return false;
}

// What the key that carries keysym in the first layout is called in the
// others, as sway reads keys by the name they have in the layout active at
// the press: with a Russian layout active, Ctrl+Q comes as
// Ctrl+Cyrillic_shorti. The layouts are the configuration's (else the
// XKB_DEFAULT_ ones, as sway takes them).
std::vector<std::string> namesIn(const std::vector<std::string>& configs, xkb_keysym_t keysym) {
    std::string layout, variant;
    for (const std::string& text : configs) {
        for (const std::string& line : commandLines(text)) {
            const auto in = words(line);
            if (in.size() >= 4 && in[0] == "input" && in[2] == "xkb_layout") {
                layout = in[3];
            } else if (in.size() >= 4 && in[0] == "input" && in[2] == "xkb_variant") {
                variant = in[3];
            }
        }
    }
    const auto fromEnvironment = [](std::string& value, const char* name) {
        if (const char* v = std::getenv(name); value.empty() && v) {
            value = v;
        }
    };
    fromEnvironment(layout, "XKB_DEFAULT_LAYOUT");
    fromEnvironment(variant, "XKB_DEFAULT_VARIANT");
    std::vector<std::string> names;
    if (layout.find(',') == std::string::npos) {
        return names; // one layout: its names are the chord's own
    }
    xkb_context* ctx = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    if (!ctx) {
        return names;
    }
    xkb_rule_names rules{};
    rules.layout = layout.c_str();
    rules.variant = variant.empty() ? nullptr : variant.c_str();
    if (xkb_keymap* keymap = xkb_keymap_new_from_names(ctx, &rules, XKB_KEYMAP_COMPILE_NO_FLAGS)) {
        for (xkb_keycode_t kc = xkb_keymap_min_keycode(keymap);
             kc <= xkb_keymap_max_keycode(keymap); ++kc) {
            const xkb_keysym_t* syms = nullptr;
            int n = xkb_keymap_key_get_syms_by_level(keymap, kc, 0, 0, &syms);
            if (n != 1 || xkb_keysym_to_lower(syms[0]) != xkb_keysym_to_lower(keysym)) {
                continue;
            }
            const xkb_layout_index_t groups = xkb_keymap_num_layouts_for_key(keymap, kc);
            for (xkb_layout_index_t g = 1; g < groups; ++g) {
                n = xkb_keymap_key_get_syms_by_level(keymap, kc, g, 0, &syms);
                char name[64];
                if (n == 1 && xkb_keysym_to_lower(syms[0]) != xkb_keysym_to_lower(keysym) &&
                    xkb_keysym_get_name(syms[0], name, sizeof name) > 0 &&
                    std::find(names.begin(), names.end(), name) == names.end()) {
                    names.emplace_back(name);
                }
            }
        }
        xkb_keymap_unref(keymap);
    }
    xkb_context_unref(ctx);
    return names;
}

// A chord this program spelt (swayChord), read back from the record.
std::optional<Chord> parseChord(const std::string& text) {
    if (text.empty() ||
        text.find_first_not_of("abcdefghijklmnopqrstuvwxyz"
                               "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_+") != std::string::npos) {
        return std::nullopt; // not ours: nothing of it goes to sway
    }
    Chord c;
    std::vector<std::string> keys;
    splitCombo(text, c.mods, keys);
    if (keys.size() != 1) {
        return std::nullopt;
    }
    c.keysym = xkb_keysym_from_name(keys[0].c_str(), XKB_KEYSYM_NO_FLAGS);
    if (c.keysym == XKB_KEY_NoSymbol) {
        return std::nullopt;
    }
    return c;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The files an include line names, its shell words and globs expanded as
// sway does, a relative name read in sway's folder of the user's config.
void readIncludes(std::string_view text, std::vector<std::string>& texts, int depth) {
    if (depth > 3) {
        return;
    }
    for (const std::string& line : commandLines(text)) {
        if (line.rfind("include ", 0) != 0) {
            continue;
        }
        std::string pattern = trim(std::string_view(line).substr(8));
        if (!pattern.empty() && pattern[0] != '/' && pattern[0] != '~' && pattern[0] != '$') {
            const char* xdg = std::getenv("XDG_CONFIG_HOME");
            pattern = (xdg && *xdg ? std::string(xdg) : "~/.config") + "/sway/" + pattern;
        }
        wordexp_t we{};
        if (wordexp(pattern.c_str(), &we, WRDE_NOCMD) != 0) {
            continue;
        }
        for (std::size_t i = 0; i < we.we_wordc; ++i) {
            std::string included = readFile(we.we_wordv[i]);
            if (!included.empty()) {
                readIncludes(included, texts, depth + 1);
                texts.push_back(std::move(included));
            }
        }
        wordfree(&we);
    }
}

} // namespace

std::string swayChord(unsigned keyCode, unsigned modifiers) {
    const xkb_keysym_t sym = keysymForVirtualKey(keyCode);
    char name[64];
    if (sym == XKB_KEY_NoSymbol || xkb_keysym_get_name(sym, name, sizeof name) <= 0) {
        return {};
    }
    std::string chord;
    for (const auto& [bit, text] : {std::pair{ModWin, "Mod4+"}, std::pair{ModControl, "Ctrl+"},
                                    std::pair{ModAlt, "Mod1+"}, std::pair{ModShift, "Shift+"}}) {
        if (modifiers & bit) {
            chord += text;
        }
    }
    return chord + name;
}

bool configBindsChord(const std::vector<std::string>& configs, unsigned keyCode,
                      unsigned modifiers) {
    const Chord chord{swayMods(modifiers), keysymForVirtualKey(keyCode)};
    return chord.keysym != XKB_KEY_NoSymbol && configBinds(configs, chord);
}

std::vector<std::string> namesInOtherLayouts(const std::vector<std::string>& configs,
                                             unsigned keyCode) {
    const xkb_keysym_t keysym = keysymForVirtualKey(keyCode);
    return keysym == XKB_KEY_NoSymbol ? std::vector<std::string>{} : namesIn(configs, keysym);
}

std::vector<std::string> configTexts(std::string_view getConfigReply) {
    const QJsonObject reply =
        QJsonDocument::fromJson(
            QByteArray(getConfigReply.data(), static_cast<qsizetype>(getConfigReply.size())))
            .object();
    std::vector<std::string> texts{reply.value(QLatin1String("config")).toString().toStdString()};
    const QJsonValue included = reply.value(QLatin1String("included_configs"));
    if (included.isArray()) {
        for (const QJsonValue& c : included.toArray()) {
            texts.push_back(
                c.toObject().value(QLatin1String("raw_contents")).toString().toStdString());
        }
    } else {
        readIncludes(texts.front(), texts, 0);
    }
    return texts;
}

// ---- HotKeysSway ----

std::unique_ptr<HotKeysSway> HotKeysSway::create(const char* socketPath) {
    auto commands = SwayIpc::connect(socketPath);
    if (!commands) {
        return nullptr;
    }
    auto events = SwayIpc::connect(commands->socketPath().c_str());
    if (!events || !events->subscribe(R"(["binding"])")) {
        return nullptr;
    }
    return std::unique_ptr<HotKeysSway>(new HotKeysSway(std::move(commands), std::move(events)));
}

HotKeysSway::HotKeysSway(std::unique_ptr<SwayIpc> commands, std::unique_ptr<SwayIpc> events)
    : m_ipc(std::move(commands)), m_events(std::move(events)) {
    if (const char* dir = std::getenv("XDG_RUNTIME_DIR"); dir && *dir) {
        const std::string& sock = m_ipc->socketPath();
        m_recordPath = std::string(dir) + "/pressmark-hotkeys-" + sock.substr(sock.rfind('/') + 1);
    }
    unbindLeftovers();
    m_notifier = std::make_unique<QSocketNotifier>(m_events->fd(), QSocketNotifier::Read);
    QObject::connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] { onEvents(); });
}

HotKeysSway::~HotKeysSway() {
    unbindAll();
}

std::vector<std::string> HotKeysSway::boundChords() const {
    std::vector<std::string> chords;
    for (const auto& [id, bound] : m_bound) {
        chords.insert(chords.end(), bound.begin(), bound.end());
    }
    return chords;
}

bool HotKeysSway::writeRecord(const std::vector<std::string>& chords) {
    if (m_recordPath.empty()) {
        return false;
    }
    if (chords.empty()) {
        return std::remove(m_recordPath.c_str()) == 0;
    }
    // Written beside and renamed over: a run killed while writing leaves
    // the old record or the new one, never half of one.
    const std::string temp = m_recordPath + ".new";
    {
        std::ofstream out(temp, std::ios::trunc);
        for (const std::string& chord : chords) {
            out << chord << '\n';
        }
        if (!out.flush()) {
            std::remove(temp.c_str());
            return false;
        }
    }
    return std::rename(temp.c_str(), m_recordPath.c_str()) == 0;
}

void HotKeysSway::unbindLeftovers() {
    if (m_recordPath.empty()) {
        return;
    }
    std::stringstream record(readFile(m_recordPath));
    std::vector<std::string> texts;
    bool haveConfig = false;
    for (std::string line; std::getline(record, line);) {
        const auto chord = parseChord(line);
        if (!chord) {
            continue;
        }
        // A chord the user has bound since is the user's now.
        if (!haveConfig) {
            const auto reply = m_ipc->request(SwayIpc::GetConfig, {});
            if (!reply) {
                return; // keep the record for a run that can reach sway
            }
            texts = configTexts(*reply);
            haveConfig = true;
        }
        if (!configBinds(texts, *chord)) {
            m_ipc->command("unbindsym " + line);
        }
    }
    std::remove(m_recordPath.c_str());
}

bool HotKeysSway::registerHotKey(int systemId, unsigned keyCode, unsigned modifiers) {
    unregisterHotKey(systemId);
    const std::string chord = swayChord(keyCode, modifiers);
    if (chord.empty() || std::any_of(m_bound.begin(), m_bound.end(),
                                     [&](const auto& b) { return b.second.front() == chord; })) {
        return false;
    }
    const auto reply = m_ipc->request(SwayIpc::GetConfig, {});
    if (!reply || configBindsChord(configTexts(*reply), keyCode, modifiers)) {
        return false;
    }
    // Recorded before it is bound: a run killed in between leaves a chord to
    // unbind that may not be bound, never one bound that nobody would unbind.
    auto chords = boundChords();
    chords.push_back(chord);
    writeRecord(chords);
    const std::string command = std::string(commandPrefix) + std::to_string(systemId);
    if (!m_ipc->command("bindsym --no-warn --no-repeat " + chord + ' ' + command)) {
        writeRecord(boundChords());
        return false;
    }
    // The same key under the names the other layouts give it, so that the
    // chord acts whatever layout is active. (A binding by key code would
    // act in every layout too, but not for keyboards with keymaps of their
    // own, on-screen and virtual ones; and sway runs neither of two
    // bindings a press matches both of.)
    std::vector<std::string> bound{chord};
    const std::string mods = chord.substr(0, chord.rfind('+') + 1);
    const auto texts = configTexts(*reply);
    for (const std::string& name : namesInOtherLayouts(texts, keyCode)) {
        const std::string other = mods + name;
        const Chord c{swayMods(modifiers), xkb_keysym_from_name(name.c_str(), XKB_KEYSYM_NO_FLAGS)};
        if (configBinds(texts, c)) {
            continue; // the user's own
        }
        bound.push_back(other);
        writeRecord([&] {
            auto all = boundChords();
            all.insert(all.end(), bound.begin(), bound.end());
            return all;
        }());
        m_ipc->command("bindsym --no-warn --no-repeat " + other + ' ' + command);
    }
    m_bound[systemId] = bound;
    return true;
}

void HotKeysSway::unregisterHotKey(int systemId) {
    const auto it = m_bound.find(systemId);
    if (it == m_bound.end()) {
        return;
    }
    // An unbind that sway cannot answer stays in the record for the next run.
    for (std::size_t i = 1; i < it->second.size(); ++i) {
        m_ipc->command("unbindsym " + it->second[i]);
    }
    if (m_ipc->request(SwayIpc::RunCommand, "unbindsym " + it->second.front())) {
        m_bound.erase(it);
        writeRecord(boundChords());
    }
}

void HotKeysSway::unbindAll() {
    std::vector<int> ids;
    for (const auto& [id, chord] : m_bound) {
        ids.push_back(id);
    }
    for (const int id : ids) {
        unregisterHotKey(id);
    }
}

void HotKeysSway::setHandler(std::function<void(int systemId)> handler) {
    m_handler = std::move(handler);
}

void HotKeysSway::onEvents() {
    bool open = true;
    const auto events = m_events->takeEvents(&open);
    if (!open) {
        m_notifier->setEnabled(false); // sway has gone: nothing more will come
    }
    for (const SwayIpc::Message& ev : events) {
        if (ev.type != bindingEvent) {
            continue;
        }
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(ev.payload)).object();
        const std::string command = o.value(QLatin1String("binding"))
                                        .toObject()
                                        .value(QLatin1String("command"))
                                        .toString()
                                        .toStdString();
        if (command.rfind(commandPrefix, 0) != 0) {
            continue; // one of the user's own bindings
        }
        const std::string idText = command.substr(commandPrefix.size());
        char* end = nullptr;
        const long id = std::strtol(idText.c_str(), &end, 10);
        if (idText.empty() || *end != '\0' || !m_bound.count(static_cast<int>(id))) {
            continue;
        }
        // Delivered from the event loop: the handler may open a modal dialog.
        QMetaObject::invokeMethod(
            this,
            [this, sid = static_cast<int>(id)] {
                if (m_handler) {
                    m_handler(sid);
                }
            },
            Qt::QueuedConnection);
    }
}

} // namespace pressmark::platform::wayland
