// Quoddle's helper inside GNOME Shell 45 and later, which load extensions as modules; the same helper as
// extensions/quoddle@quoddle.org (GNOME Shell 43 and 44), where it is explained.
import Clutter from 'gi://Clutter';
import Gio from 'gi://Gio';
import {Extension} from 'resource:///org/gnome/shell/extensions/extension.js';

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

export default class QuoddleExtension extends Extension {
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
