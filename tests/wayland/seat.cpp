// The headless session's mouse and keyboard. With no input devices a
// wlroots seat has no pointer and no keyboard, so its clients bind neither,
// and the cursor the scripts move (swaymsg seat - cursor ...) reaches
// nobody. A person's session always has both: this program plugs a virtual
// pointer and a virtual keyboard (the layout of XKB_DEFAULT_LAYOUT, else
// us) into the seat and keeps them until it is killed. It prints "ready"
// once the compositor holds them.
#include "virtual-keyboard-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>
#include <xkbcommon/xkbcommon.h>

#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <cstring>

namespace {

wl_seat* g_seat = nullptr;
zwlr_virtual_pointer_manager_v1* g_pointers = nullptr;
zwp_virtual_keyboard_manager_v1* g_keyboards = nullptr;

void global(void*, wl_registry* registry, std::uint32_t name, const char* interface,
            std::uint32_t version) {
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !g_seat) {
        g_seat = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
        g_pointers = static_cast<zwlr_virtual_pointer_manager_v1*>(wl_registry_bind(
            registry, name, &zwlr_virtual_pointer_manager_v1_interface, std::min(version, 1u)));
    } else if (std::strcmp(interface, zwp_virtual_keyboard_manager_v1_interface.name) == 0) {
        g_keyboards = static_cast<zwp_virtual_keyboard_manager_v1*>(
            wl_registry_bind(registry, name, &zwp_virtual_keyboard_manager_v1_interface, 1));
    }
}
void globalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistry = {global, globalRemove};

// The keymap as the compositor wants it: a file descriptor to its text.
bool sendKeymap(zwp_virtual_keyboard_v1* keyboard) {
    xkb_context* context = xkb_context_new(XKB_CONTEXT_NO_FLAGS);
    xkb_keymap* keymap =
        context ? xkb_keymap_new_from_names(context, nullptr, XKB_KEYMAP_COMPILE_NO_FLAGS)
                : nullptr;
    char* text = keymap ? xkb_keymap_get_as_string(keymap, XKB_KEYMAP_FORMAT_TEXT_V1) : nullptr;
    const int fd = text ? memfd_create("keymap", MFD_CLOEXEC) : -1;
    const std::size_t size = text ? std::strlen(text) + 1 : 0;
    const bool ok = fd >= 0 && write(fd, text, size) == static_cast<ssize_t>(size) &&
                    lseek(fd, 0, SEEK_SET) == 0;
    if (ok) {
        zwp_virtual_keyboard_v1_keymap(keyboard, WL_KEYBOARD_KEYMAP_FORMAT_XKB_V1, fd,
                                       static_cast<std::uint32_t>(size));
    }
    if (fd >= 0) {
        close(fd);
    }
    std::free(text);
    xkb_keymap_unref(keymap);
    xkb_context_unref(context);
    return ok;
}

} // namespace

int main() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "seat: no Wayland compositor\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistry, nullptr);
    wl_display_roundtrip(display);
    if (!g_seat || !g_pointers || !g_keyboards) {
        std::fprintf(stderr, "seat: the compositor offers no virtual pointer or keyboard\n");
        return 1;
    }
    zwlr_virtual_pointer_manager_v1_create_virtual_pointer(g_pointers, g_seat);
    zwp_virtual_keyboard_v1* keyboard =
        zwp_virtual_keyboard_manager_v1_create_virtual_keyboard(g_keyboards, g_seat);
    if (!sendKeymap(keyboard)) {
        std::fprintf(stderr, "seat: no keymap\n");
        return 1;
    }
    wl_display_roundtrip(display);
    std::puts("ready");
    std::fflush(stdout);
    while (wl_display_dispatch(display) != -1) {
    }
    return 0;
}
