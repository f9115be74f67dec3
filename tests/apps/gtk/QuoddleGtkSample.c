/* A small GTK 3 application for Quoddle's end-to-end tests: a classic menu bar whose Edit menu has a
 * Services submenu that visibly changes the text of the last focused text widget, a one-line entry, a
 * multi-line text view and a status line. Every Services item also reports itself on standard output
 * ("service: <title>"), so a test can tell which one ran. */

#include <gtk/gtk.h>
#include <stdio.h>
#include <string.h>

static const char* kDefaultEntryText = "the quick brown fox";
static const char* kDefaultViewText = "alpha beta gamma delta\n"
                                      "epsilon zeta eta theta\n"
                                      "iota kappa lambda mu\n"
                                      "nu xi omicron pi\n";

typedef struct {
    GtkWidget* entry;
    GtkWidget* view;
    GtkWidget* status;
    /* The text widget that had the keyboard focus last. Services and the edit commands act on it, so a
     * press made while no text widget has the focus (a menu open, or an accessibility action) still goes
     * where the user was typing. */
    GtkWidget* last_text;

    /* One level of undo. Every change made within one main-loop turn (a paste that replaces a selection
     * is a deletion and an insertion) is one step: the text as it was before the turn is kept. */
    gboolean restoring;
    gboolean group_open;
    char* entry_snapshot;
    char* view_snapshot;
    GtkWidget* undo_widget;
    char* undo_text;
} Sample;

static char* widget_text(Sample* s, GtkWidget* widget) {
    if (widget == s->entry) return g_strdup(gtk_entry_get_text(GTK_ENTRY(s->entry)));
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view));
    GtkTextIter start, end;
    gtk_text_buffer_get_bounds(buffer, &start, &end);
    return gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
}

static gboolean close_undo_group(gpointer data) {
    Sample* s = data;
    g_free(s->entry_snapshot);
    g_free(s->view_snapshot);
    s->entry_snapshot = widget_text(s, s->entry);
    s->view_snapshot = widget_text(s, s->view);
    s->group_open = FALSE;
    return G_SOURCE_REMOVE;
}

static void note_change(Sample* s, GtkWidget* widget) {
    if (s->restoring || s->group_open) return;
    s->group_open = TRUE;
    s->undo_widget = widget;
    g_free(s->undo_text);
    s->undo_text = g_strdup(widget == s->entry ? s->entry_snapshot : s->view_snapshot);
    g_idle_add_full(G_PRIORITY_HIGH_IDLE, close_undo_group, s, NULL);
}

static void on_entry_changed(GtkEditable* editable, gpointer data) {
    (void)editable;
    Sample* s = data;
    note_change(s, s->entry);
}

static void on_buffer_changed(GtkTextBuffer* buffer, gpointer data) {
    (void)buffer;
    Sample* s = data;
    note_change(s, s->view);
}

static gboolean on_text_focus_in(GtkWidget* widget, GdkEvent* event, gpointer data) {
    (void)event;
    Sample* s = data;
    s->last_text = widget;
    return FALSE;
}

static void report(Sample* s, const char* title) {
    char* line = g_strdup_printf("did: %s", title);
    gtk_label_set_text(GTK_LABEL(s->status), line);
    g_free(line);
}

/* Services: each turns the selected text (or all of it when nothing is selected) into new text. */
typedef char* (*Transform)(const char* text);

static char* to_upper(const char* text) {
    return g_utf8_strup(text, -1);
}
static char* to_lower(const char* text) {
    return g_utf8_strdown(text, -1);
}
static char* bracket(const char* text) {
    return g_strdup_printf("[%s]", text);
}

static void transform_entry(Sample* s, Transform transform) {
    GtkEditable* editable = GTK_EDITABLE(s->entry);
    int start, end;
    if (!gtk_editable_get_selection_bounds(editable, &start, &end)) {
        start = 0;
        end = (int)g_utf8_strlen(gtk_entry_get_text(GTK_ENTRY(s->entry)), -1);
    }
    char* old_text = gtk_editable_get_chars(editable, start, end);
    char* new_text = transform(old_text);
    gtk_editable_delete_text(editable, start, end);
    int position = start;
    gtk_editable_insert_text(editable, new_text, -1, &position);
    gtk_editable_select_region(editable, start, position);
    g_free(old_text);
    g_free(new_text);
}

static void transform_view(Sample* s, Transform transform) {
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view));
    GtkTextIter start, end;
    if (!gtk_text_buffer_get_selection_bounds(buffer, &start, &end))
        gtk_text_buffer_get_bounds(buffer, &start, &end);
    char* old_text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    char* new_text = transform(old_text);
    gtk_text_buffer_begin_user_action(buffer);
    GtkTextMark* from = gtk_text_buffer_create_mark(buffer, NULL, &start, TRUE);
    gtk_text_buffer_delete(buffer, &start, &end);
    gtk_text_buffer_insert(buffer, &start, new_text, -1);
    GtkTextIter from_iter;
    gtk_text_buffer_get_iter_at_mark(buffer, &from_iter, from);
    gtk_text_buffer_select_range(buffer, &from_iter, &start);
    gtk_text_buffer_delete_mark(buffer, from);
    gtk_text_buffer_end_user_action(buffer);
    g_free(old_text);
    g_free(new_text);
}

static void run_service(Sample* s, const char* title, Transform transform) {
    if (s->last_text == s->entry)
        transform_entry(s, transform);
    else
        transform_view(s, transform);
    report(s, title);
    printf("service: %s\n", title);
    fflush(stdout);
}

static void on_upper(GtkMenuItem* item, gpointer data) {
    (void)item;
    run_service(data, "Make Upper Case", to_upper);
}

static void on_lower(GtkMenuItem* item, gpointer data) {
    (void)item;
    run_service(data, "Make Lower Case", to_lower);
}

static void on_bracket(GtkMenuItem* item, gpointer data) {
    (void)item;
    run_service(data, "Bracket Selection", bracket);
}

/* The edit commands go to the last focused text widget through its own keybinding signals. */
static void on_undo(GtkMenuItem* item, gpointer data) {
    (void)item;
    Sample* s = data;
    if (!s->undo_text) {
        report(s, "Undo (nothing to undo)");
        return;
    }
    s->restoring = TRUE;
    if (s->undo_widget == s->entry) {
        gtk_entry_set_text(GTK_ENTRY(s->entry), s->undo_text);
    } else {
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view)), s->undo_text, -1);
    }
    s->restoring = FALSE;
    g_clear_pointer(&s->undo_text, g_free);
    s->undo_widget = NULL;
    close_undo_group(s);
    report(s, "Undo");
}

static void on_cut(GtkMenuItem* item, gpointer data) {
    (void)item;
    Sample* s = data;
    g_signal_emit_by_name(s->last_text, "cut-clipboard");
    report(s, "Cut");
}

static void on_copy(GtkMenuItem* item, gpointer data) {
    (void)item;
    Sample* s = data;
    g_signal_emit_by_name(s->last_text, "copy-clipboard");
    report(s, "Copy");
}

static void on_paste(GtkMenuItem* item, gpointer data) {
    (void)item;
    Sample* s = data;
    g_signal_emit_by_name(s->last_text, "paste-clipboard");
    report(s, "Paste");
}

static void on_select_all(GtkMenuItem* item, gpointer data) {
    (void)item;
    Sample* s = data;
    if (s->last_text == s->entry) {
        gtk_editable_select_region(GTK_EDITABLE(s->entry), 0, -1);
    } else {
        GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view));
        GtkTextIter start, end;
        gtk_text_buffer_get_bounds(buffer, &start, &end);
        gtk_text_buffer_select_range(buffer, &start, &end);
    }
    report(s, "Select All");
}

static void on_wrap(GtkCheckMenuItem* item, gpointer data) {
    Sample* s = data;
    gboolean wrap = gtk_check_menu_item_get_active(item);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(s->view), wrap ? GTK_WRAP_WORD : GTK_WRAP_NONE);
    report(s, "Wrap Lines");
}

static GtkWidget* add_item(GtkWidget* menu, const char* label, GCallback callback, Sample* s,
                           GtkAccelGroup* accel, guint key, GdkModifierType mods) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
    g_signal_connect(item, "activate", callback, s);
    if (key) gtk_widget_add_accelerator(item, "activate", accel, key, mods, GTK_ACCEL_VISIBLE);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), item);
    return item;
}

static GtkWidget* build_menu_bar(Sample* s, GtkAccelGroup* accel) {
    GtkWidget* bar = gtk_menu_bar_new();

    GtkWidget* edit_item = gtk_menu_item_new_with_mnemonic("_Edit");
    GtkWidget* edit = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(edit), accel);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(edit_item), edit);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), edit_item);

    add_item(edit, "_Undo", G_CALLBACK(on_undo), s, accel, GDK_KEY_z, GDK_CONTROL_MASK);
    add_item(edit, "Cu_t", G_CALLBACK(on_cut), s, accel, GDK_KEY_x, GDK_CONTROL_MASK);
    add_item(edit, "_Copy", G_CALLBACK(on_copy), s, accel, GDK_KEY_c, GDK_CONTROL_MASK);
    add_item(edit, "_Paste", G_CALLBACK(on_paste), s, accel, GDK_KEY_v, GDK_CONTROL_MASK);
    add_item(edit, "Select _All", G_CALLBACK(on_select_all), s, accel, GDK_KEY_a, GDK_CONTROL_MASK);
    gtk_menu_shell_append(GTK_MENU_SHELL(edit), gtk_separator_menu_item_new());

    GtkWidget* services_item = gtk_menu_item_new_with_mnemonic("_Services");
    GtkWidget* services = gtk_menu_new();
    gtk_menu_set_accel_group(GTK_MENU(services), accel);
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(services_item), services);
    gtk_menu_shell_append(GTK_MENU_SHELL(edit), services_item);
    add_item(services, "Make _Upper Case", G_CALLBACK(on_upper), s, accel, 0, 0);
    add_item(services, "Make _Lower Case", G_CALLBACK(on_lower), s, accel, 0, 0);
    add_item(services, "_Bracket Selection", G_CALLBACK(on_bracket), s, accel, 0, 0);

    GtkWidget* view_item = gtk_menu_item_new_with_mnemonic("_View");
    GtkWidget* view = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(view_item), view);
    gtk_menu_shell_append(GTK_MENU_SHELL(bar), view_item);
    GtkWidget* wrap = gtk_check_menu_item_new_with_mnemonic("_Wrap Lines");
    g_signal_connect(wrap, "toggled", G_CALLBACK(on_wrap), s);
    gtk_menu_shell_append(GTK_MENU_SHELL(view), wrap);

    return bar;
}

int main(int argc, char** argv) {
    /* The AT-SPI application name is the program name; tests find the application by it. */
    g_set_prgname("quoddle-gtk-sample");

    char* entry_text = NULL;
    char* view_text = NULL;
    GOptionEntry options[] = {
        {"entry-text", 0, 0, G_OPTION_ARG_STRING, &entry_text, "Initial text of the entry", "TEXT"},
        {"view-text", 0, 0, G_OPTION_ARG_STRING, &view_text, "Initial text of the text view", "TEXT"},
        {NULL, 0, 0, 0, NULL, NULL, NULL},
    };
    GError* error = NULL;
    if (!gtk_init_with_args(&argc, &argv, NULL, options, NULL, &error)) {
        fprintf(stderr, "quoddle-gtk-sample: %s\n", error ? error->message : "cannot open the display");
        g_clear_error(&error);
        return 2;
    }

    Sample sample = {0};
    Sample* s = &sample;

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Quoddle GTK Sample");
    gtk_window_set_default_size(GTK_WINDOW(window), 700, 500);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
    GtkAccelGroup* accel = gtk_accel_group_new();
    gtk_window_add_accel_group(GTK_WINDOW(window), accel);

    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_container_add(GTK_CONTAINER(window), box);
    gtk_box_pack_start(GTK_BOX(box), build_menu_bar(s, accel), FALSE, FALSE, 0);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(content), 6);
    gtk_box_pack_start(GTK_BOX(box), content, TRUE, TRUE, 0);

    s->entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(s->entry), entry_text ? entry_text : kDefaultEntryText);
    gtk_box_pack_start(GTK_BOX(content), s->entry, FALSE, FALSE, 0);

    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    s->view = gtk_text_view_new();
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view)),
                             view_text ? view_text : kDefaultViewText, -1);
    gtk_container_add(GTK_CONTAINER(scrolled), s->view);
    gtk_box_pack_start(GTK_BOX(content), scrolled, TRUE, TRUE, 0);

    s->status = gtk_label_new("did: nothing yet");
    gtk_label_set_xalign(GTK_LABEL(s->status), 0.0f);
    gtk_box_pack_start(GTK_BOX(content), s->status, FALSE, FALSE, 0);

    s->entry_snapshot = widget_text(s, s->entry);
    s->view_snapshot = widget_text(s, s->view);
    g_signal_connect(s->entry, "changed", G_CALLBACK(on_entry_changed), s);
    g_signal_connect(gtk_text_view_get_buffer(GTK_TEXT_VIEW(s->view)), "changed",
                     G_CALLBACK(on_buffer_changed), s);
    g_signal_connect(s->entry, "focus-in-event", G_CALLBACK(on_text_focus_in), s);
    g_signal_connect(s->view, "focus-in-event", G_CALLBACK(on_text_focus_in), s);

    /* The text view starts with the focus, so a press before any click changes it. */
    s->last_text = s->view;
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(s->view);

    gtk_main();

    g_free(s->entry_snapshot);
    g_free(s->view_snapshot);
    g_free(s->undo_text);
    g_free(entry_text);
    g_free(view_text);
    return 0;
}
