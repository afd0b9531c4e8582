// What GNOME Shell alone can tell or do for Pressmark, on the session bus as
// org.pressmark.Shell: where each left and right press lands, Pressmark's
// four hot keys, and the input source to type a text with. The build puts
// this between the imports and the entry point of each extension format.
//
// Presses are found by reading the pointer's buttons every 2 ms while a
// program watches: mutter hands a click on a client window to the client
// before any event filter an extension could add. A click held for less
// than that may be missed; a person holds a click for 50 ms and more.
const PRESSMARK_PATH = '/org/pressmark/Shell';
const PRESSMARK_INTERFACE = 'org.pressmark.Shell';
const PRESSMARK_XML = `<node><interface name="org.pressmark.Shell">
  <method name="WatchPresses"><arg type="b" direction="in"/></method>
  <method name="GetPointer">
    <arg type="i" direction="out"/><arg type="i" direction="out"/>
  </method>
  <method name="WindowPidAt">
    <arg type="i" direction="in"/><arg type="i" direction="in"/>
    <arg type="u" direction="out"/>
  </method>
  <method name="GrabHotKeys">
    <arg type="as" direction="in"/><arg type="ab" direction="out"/>
  </method>
  <method name="SetLayoutGroup">
    <arg type="u" direction="in"/><arg type="b" direction="out"/>
  </method>
  <signal name="Press">
    <arg type="u"/><arg type="i"/><arg type="i"/><arg type="u"/>
  </signal>
  <signal name="HotKey"><arg type="u"/></signal>
</interface></node>`;
const PRESSMARK_POLL_MS = 2;
// How long the keys sent before an input source switch are given to reach
// the window, and how long the switch itself at most.
const PRESSMARK_SETTLE_MS = 20;
const PRESSMARK_GROUP_WAIT_US = 200000;
// How long after a hot key a new window of the program that holds them is
// brought to the front: the dialog the key opened (the program had no input
// of its own, so the shell would leave its window behind).
const PRESSMARK_FOCUS_US = 3000000;
// mutter 43 tells the right button as BUTTON2 and the middle one as BUTTON3
// here, against Clutter's own numbering: either is taken for the right one,
// so that no right press is lost whichever way a version counts.
const PRESSMARK_BUTTONS = [[Clutter.ModifierType.BUTTON1_MASK, 1],
    [Clutter.ModifierType.BUTTON2_MASK | Clutter.ModifierType.BUTTON3_MASK, 3]];

class PressmarkService {
    enable() {
        this._watchers = new Set();  // who is sent the presses
        this._callers = new Map();   // unique bus name -> its watch id
        this._keysOwner = null;      // who holds the hot keys
        this._keysOwnerPid = 0;      // and its process
        this._focusUntil = 0;        // a new window of it comes forward until then
        this._actions = new Map();   // grabbed action -> index asked for
        this._layoutBy = null;       // who switched the input source
        this._layoutBefore = null;   // the source active before that
        this._poll = 0;
        this._down = 0;
        this._impl = Gio.DBusExportedObject.wrapJSObject(PRESSMARK_XML, this);
        this._impl.export(Gio.DBus.session, PRESSMARK_PATH);
        this._accelId = global.display.connect('accelerator-activated',
            (display, action) => this._activated(action));
        this._createdId = global.display.connect('window-created',
            (display, window) => this._created(window));
        // The keymap's group as mutter last applied it.
        this._group = -1;
        this._groupId = global.backend.connect('keymap-layout-group-changed',
            (backend, group) => {
                this._group = group;
            });
        this._nameId = Gio.bus_own_name_on_connection(Gio.DBus.session,
            'org.pressmark.Shell', Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        for (const caller of [...this._callers.keys()])
            this._gone(caller);
        global.display.disconnect(this._accelId);
        global.display.disconnect(this._createdId);
        global.backend.disconnect(this._groupId);
        Gio.bus_unown_name(this._nameId);
        this._impl.unexport();
        this._impl = null;
    }

    // Whatever a caller started ends when it leaves the bus, killed or not.
    _know(caller) {
        if (this._callers.has(caller))
            return;
        this._callers.set(caller, Gio.bus_watch_name_on_connection(Gio.DBus.session,
            caller, Gio.BusNameWatcherFlags.NONE, null, () => this._gone(caller)));
    }

    _gone(caller) {
        this._watch(caller, false);
        if (this._keysOwner === caller) {
            this._grab([]);
            this._keysOwner = null;
            this._keysOwnerPid = 0;
        }
        if (this._layoutBy === caller)
            this._restoreLayout();
        const id = this._callers.get(caller);
        this._callers.delete(caller);
        if (id)
            Gio.bus_unwatch_name(id);
    }

    WatchPressesAsync([on], invocation) {
        const caller = invocation.get_sender();
        this._know(caller);
        this._watch(caller, on);
        invocation.return_value(null);
    }

    _watch(caller, on) {
        if (on)
            this._watchers.add(caller);
        else
            this._watchers.delete(caller);
        if (this._watchers.size > 0 && !this._poll) {
            this._down = global.get_pointer()[2];
            this._poll = GLib.timeout_add(GLib.PRIORITY_HIGH, PRESSMARK_POLL_MS,
                () => this._sample());
        } else if (this._watchers.size === 0 && this._poll) {
            GLib.source_remove(this._poll);
            this._poll = 0;
        }
    }

    _sample() {
        const [x, y, mods] = global.get_pointer();
        for (const [mask, button] of PRESSMARK_BUTTONS) {
            if ((mods & mask) && !(this._down & mask)) {
                const args = new GLib.Variant('(uiiu)', [button, x, y, this._pidAt(x, y)]);
                for (const caller of this._watchers) {
                    Gio.DBus.session.emit_signal(caller, PRESSMARK_PATH, PRESSMARK_INTERFACE,
                        'Press', args);
                }
            }
        }
        this._down = mods;
        return GLib.SOURCE_CONTINUE;
    }

    GetPointer() {
        const [x, y] = global.get_pointer();
        return [x, y];
    }

    WindowPidAt(x, y) {
        return this._pidAt(x, y);
    }

    // The process of the window shown at a pixel; 0 over the shell's own
    // panels and over no window.
    _pidAt(x, y) {
        let actor = global.stage.get_actor_at_pos(Clutter.PickMode.REACTIVE, x, y);
        for (; actor; actor = actor.get_parent()) {
            if (actor instanceof Meta.WindowActor) {
                const pid = actor.get_meta_window().get_pid();
                return pid > 0 ? pid : 0;
            }
        }
        return 0;
    }

    // One program holds the hot keys at a time: while it does, another is
    // refused them, as when any other program holds a combination. An empty
    // list lets them go.
    GrabHotKeysAsync([accelerators], invocation) {
        const caller = invocation.get_sender();
        if (this._keysOwner && this._keysOwner !== caller) {
            invocation.return_value(new GLib.Variant('(ab)', [accelerators.map(() => false)]));
            return;
        }
        this._know(caller);
        const had = this._grab(accelerators);
        this._keysOwner = accelerators.length > 0 ? caller : null;
        this._keysOwnerPid = this._keysOwner ? this._pidOf(caller) : 0;
        invocation.return_value(new GLib.Variant('(ab)', [had]));
    }

    _grab(accelerators) {
        for (const action of this._actions.keys())
            global.display.ungrab_accelerator(action);
        this._actions.clear();
        return accelerators.map((accelerator, index) => {
            const action = global.display.grab_accelerator(accelerator,
                Meta.KeyBindingFlags.NONE);
            if (action === Meta.KeyBindingAction.NONE)
                return false;
            // Heard over the overview and the shell's menus too, as over
            // any window; never on the lock screen or in a system dialog
            // (a password prompt), where a run must not start.
            Main.wm.allowKeybinding(Meta.external_binding_name_for_action(action),
                Shell.ActionMode.NORMAL | Shell.ActionMode.OVERVIEW | Shell.ActionMode.POPUP);
            this._actions.set(action, index);
            return true;
        });
    }

    _activated(action) {
        const index = this._actions.get(action);
        if (index === undefined || !this._keysOwner)
            return;
        this._focusUntil = GLib.get_monotonic_time() + PRESSMARK_FOCUS_US;
        Gio.DBus.session.emit_signal(this._keysOwner, PRESSMARK_PATH, PRESSMARK_INTERFACE,
            'HotKey', new GLib.Variant('(u)', [index]));
    }

    _created(window) {
        if (!this._keysOwnerPid || GLib.get_monotonic_time() > this._focusUntil ||
            window.get_pid() !== this._keysOwnerPid)
            return;
        GLib.idle_add(GLib.PRIORITY_DEFAULT, () => {
            Main.activateWindow(window);
            return GLib.SOURCE_REMOVE;
        });
    }

    _pidOf(caller) {
        try {
            const reply = Gio.DBus.session.call_sync('org.freedesktop.DBus',
                '/org/freedesktop/DBus', 'org.freedesktop.DBus',
                'GetConnectionUnixProcessID', new GLib.Variant('(s)', [caller]),
                null, Gio.DBusCallFlags.NONE, -1, null);
            return reply.deepUnpack()[0];
        } catch (e) {
            return 0;
        }
    }

    // Activates the input source that is the given layout (xkb group) of the
    // keymap in use: mutter types only what the active source holds. The
    // source active before the first switch comes back when the switcher
    // asks for its group, or leaves the bus.
    SetLayoutGroupAsync([group], invocation) {
        const caller = invocation.get_sender();
        this._know(caller);
        const source = this._sourceOfGroup(group);
        if (!source) {
            invocation.return_value(new GLib.Variant('(b)', [false]));
            return;
        }
        // The keys the caller sent just before are on their way to the
        // window through mutter's input thread, not through this call: they
        // are let through first (input is dispatched above this priority),
        // or the window would read them with the new source.
        GLib.timeout_add(GLib.PRIORITY_LOW, PRESSMARK_SETTLE_MS, () => {
            if (!this._callers.has(caller))
                return GLib.SOURCE_REMOVE;  // gone meanwhile, the source given back
            if (this._layoutBy === null) {
                this._layoutBy = caller;
                this._layoutBefore = Keyboard.getInputSourceManager().currentSource;
            }
            source.activate(false);
            if (source === this._layoutBefore) {
                this._layoutBy = null;
                this._layoutBefore = null;
            }
            // And the answer only once the keymap is in that group, so that
            // the keys sent after it are read with it.
            this._whenGroup(group, GLib.get_monotonic_time() + PRESSMARK_GROUP_WAIT_US,
                () => invocation.return_value(new GLib.Variant('(b)', [true])));
            return GLib.SOURCE_REMOVE;
        });
    }

    _whenGroup(group, until, done) {
        if (this._group === group ||
            GLib.get_monotonic_time() > until) {
            GLib.idle_add(GLib.PRIORITY_LOW, () => {
                done();
                return GLib.SOURCE_REMOVE;
            });
            return;
        }
        GLib.timeout_add(GLib.PRIORITY_DEFAULT, PRESSMARK_POLL_MS,
            () => {
                this._whenGroup(group, until, done);
                return GLib.SOURCE_REMOVE;
            });
    }

    _sourceOfGroup(group) {
        const keyboards = KeyboardManager.getKeyboardManager();
        const current = keyboards._current;
        const sources = Keyboard.getInputSourceManager().inputSources;
        for (const i in sources) {
            const info = keyboards._layoutInfos[sources[i].xkbId];
            if (info && current && info.group === current.group && info.groupIndex === group)
                return sources[i];
        }
        return null;
    }

    _restoreLayout() {
        if (this._layoutBefore)
            this._layoutBefore.activate(false);
        this._layoutBy = null;
        this._layoutBefore = null;
    }
}
