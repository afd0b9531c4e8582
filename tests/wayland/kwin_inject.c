/* A user's mouse and keyboard on KWin, through its fake input (KWin offers
 * it to this program through the desktop entry the test session has for it).
 * usage: kwin_inject COMMAND...
 *   pixel X Y      move to a pixel of the layout
 *   click          left press and release there
 *   down CODE      press an evdev key (up CODE releases it)
 *   key CODE       press and release it
 *   sleep MS       wait, everything sent so far delivered first */
#include "fake-input-client-protocol.h"

#include <linux/input-event-codes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <wayland-client.h>

static struct org_kde_kwin_fake_input* fake;

static void global(void* data, struct wl_registry* registry, uint32_t name, const char* interface,
                   uint32_t version) {
    (void)data;
    if (strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
        fake = wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4);
    }
}
static void globalRemove(void* data, struct wl_registry* registry, uint32_t name) {
    (void)data;
    (void)registry;
    (void)name;
}
static const struct wl_registry_listener listener = {global, globalRemove};

static void key(uint32_t code, uint32_t state) {
    org_kde_kwin_fake_input_keyboard_key(fake, code, state);
}

int main(int argc, char** argv) {
    struct wl_display* display = wl_display_connect(NULL);
    if (!display) {
        fprintf(stderr, "kwin_inject: no Wayland display\n");
        return 1;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &listener, NULL);
    wl_display_roundtrip(display);
    if (!fake) {
        fprintf(stderr, "kwin_inject: KWin offers no fake input v4 to this program\n");
        return 1;
    }
    org_kde_kwin_fake_input_authenticate(fake, "kwin_inject", "Pressmark's tests");
    for (int i = 1; i < argc; i++) {
        const char* c = argv[i];
        if (strcmp(c, "pixel") == 0 && i + 2 < argc) {
            org_kde_kwin_fake_input_pointer_motion_absolute(
                fake, wl_fixed_from_int(atoi(argv[i + 1])), wl_fixed_from_int(atoi(argv[i + 2])));
            i += 2;
        } else if (strcmp(c, "click") == 0) {
            org_kde_kwin_fake_input_button(fake, BTN_LEFT, WL_POINTER_BUTTON_STATE_PRESSED);
            org_kde_kwin_fake_input_button(fake, BTN_LEFT, WL_POINTER_BUTTON_STATE_RELEASED);
        } else if (strcmp(c, "down") == 0 && i + 1 < argc) {
            key((uint32_t)atoi(argv[++i]), WL_KEYBOARD_KEY_STATE_PRESSED);
        } else if (strcmp(c, "up") == 0 && i + 1 < argc) {
            key((uint32_t)atoi(argv[++i]), WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if (strcmp(c, "key") == 0 && i + 1 < argc) {
            key((uint32_t)atoi(argv[i + 1]), WL_KEYBOARD_KEY_STATE_PRESSED);
            key((uint32_t)atoi(argv[++i]), WL_KEYBOARD_KEY_STATE_RELEASED);
        } else if (strcmp(c, "sleep") == 0 && i + 1 < argc) {
            wl_display_roundtrip(display);
            usleep((useconds_t)atoi(argv[++i]) * 1000);
        } else {
            fprintf(stderr, "kwin_inject: cannot read %s\n", c);
            return 2;
        }
    }
    return wl_display_roundtrip(display) < 0;
}
