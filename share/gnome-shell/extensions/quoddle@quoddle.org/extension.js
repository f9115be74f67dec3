// Quoddle's helper inside GNOME Shell 43 and 44. On Wayland no application sees the pointer outside its
// own windows, nor where other windows are; the Shell sees both and tells Quoddle on the session bus, as
// org.quoddle.ShellHelper. Quoddle asks only while a selection is being made.
// (GNOME Shell 45 and later load extensions as modules: extensions-45 holds the same helper in that form.)
'use strict';

const { Clutter, Gio } = imports.gi;

const HELPER_INTERFACE = `
<node>
  <interface name="org.quoddle.ShellHelper">
    <method name="Pointer">
      <arg type="i" direction="out" name="x"/>
      <arg type="i" direction="out" name="y"/>
      <arg type="b" direction="out" name="left_button_down"/>
    </method>
    <method name="WindowOrigin">
      <arg type="u" direction="in" name="pid"/>
      <arg type="b" direction="out" name="found"/>
      <arg type="i" direction="out" name="x"/>
      <arg type="i" direction="out" name="y"/>
    </method>
  </interface>
</node>`;

class ShellHelper {
    Pointer() {
        const [x, y, modifiers] = global.get_pointer();
        return [x, y, (modifiers & Clutter.ModifierType.BUTTON1_MASK) !== 0];
    }

    // The corner of the process's focused window, else of its first one shown: applications give their
    // accessibility extents from the corner of their surface (shadows included), which is the buffer's.
    WindowOrigin(pid) {
        const windows = global.get_window_actors()
            .map(actor => actor.meta_window)
            .filter(window => window.get_pid() === pid && !window.minimized);
        const window = windows.find(candidate => candidate.has_focus()) ?? windows[0];
        if (!window)
            return [false, 0, 0];
        const corner = window.get_buffer_rect();
        return [true, corner.x, corner.y];
    }
}

class Extension {
    enable() {
        this._exported = Gio.DBusExportedObject.wrapJSObject(HELPER_INTERFACE, new ShellHelper());
        this._exported.export(Gio.DBus.session, '/org/quoddle/ShellHelper');
        this._name = Gio.bus_own_name_on_connection(Gio.DBus.session, 'org.quoddle.ShellHelper',
            Gio.BusNameOwnerFlags.NONE, null, null);
    }

    disable() {
        Gio.bus_unown_name(this._name);
        this._exported.unexport();
        this._exported = null;
    }
}

function init() {
    return new Extension();
}
