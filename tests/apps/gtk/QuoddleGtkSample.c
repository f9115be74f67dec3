/* A small GTK 3 application for Quoddle's end-to-end tests and the menu-fixture recorder
 * (tests/tools/record-menu-fixtures.py): a classic menu bar whose Edit menu has a Services submenu that
 * visibly changes the text view's selection (all of its text when nothing is selected), a one-line entry
 * and that multi-line text view. The edit keys (Ctrl+C, Ctrl+Z, ...) are the widgets' own. Every Services
 * item also reports itself on standard output ("service: <title>"), so a recorder can tell which one ran. */

#include <gtk/gtk.h>
#include <stdio.h>

static const char* kDefaultEntryText = "the quick brown fox";

/* The new text for the old, as GLib's case mappings take it: the text and its length (-1: to its end). */
typedef char* (*Transform)(const char* text, gssize length);

static char* bracket(const char* text, gssize length) {
    return g_strdup_printf("[%.*s]", (int)length, text);
}

typedef struct {
    const char* label; /* with its mnemonic */
    const char* title;
    Transform transform;
} Service;

static const Service kServices[] = {
    {"Make _Upper Case", "Make Upper Case", g_utf8_strup},
    {"Make _Lower Case", "Make Lower Case", g_utf8_strdown},
    {"_Bracket Selection", "Bracket Selection", bracket},
};

/* The new text replaces the old in one user action and stays selected. */
static void run_service(GtkMenuItem* item, gpointer data) {
    const Service* service = g_object_get_data(G_OBJECT(item), "service");
    GtkTextBuffer* buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(data));
    GtkTextIter start, end;
    if (!gtk_text_buffer_get_selection_bounds(buffer, &start, &end))
        gtk_text_buffer_get_bounds(buffer, &start, &end);
    char* old_text = gtk_text_buffer_get_text(buffer, &start, &end, FALSE);
    char* new_text = service->transform(old_text, -1);
    gtk_text_buffer_begin_user_action(buffer);
    const gint from = gtk_text_iter_get_offset(&start);
    gtk_text_buffer_delete(buffer, &start, &end);
    gtk_text_buffer_insert(buffer, &start, new_text, -1);
    gtk_text_buffer_get_iter_at_offset(buffer, &end, from);
    gtk_text_buffer_select_range(buffer, &end, &start);
    gtk_text_buffer_end_user_action(buffer);
    g_free(old_text);
    g_free(new_text);
    printf("service: %s\n", service->title);
    fflush(stdout);
}

static GtkWidget* submenu_of(GtkWidget* shell, const char* label) {
    GtkWidget* item = gtk_menu_item_new_with_mnemonic(label);
    GtkWidget* menu = gtk_menu_new();
    gtk_menu_item_set_submenu(GTK_MENU_ITEM(item), menu);
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
    return menu;
}

static GtkWidget* build_menu_bar(GtkWidget* view) {
    GtkWidget* bar = gtk_menu_bar_new();
    GtkWidget* services = submenu_of(submenu_of(bar, "_Edit"), "_Services");
    for (size_t i = 0; i < G_N_ELEMENTS(kServices); ++i) {
        GtkWidget* item = gtk_menu_item_new_with_mnemonic(kServices[i].label);
        g_object_set_data(G_OBJECT(item), "service", (gpointer)&kServices[i]);
        g_signal_connect(item, "activate", G_CALLBACK(run_service), view);
        gtk_menu_shell_append(GTK_MENU_SHELL(services), item);
    }
    return bar;
}

int main(int argc, char** argv) {
    /* The AT-SPI application name is the program name; tests find the application by it. */
    g_set_prgname("quoddle-gtk-sample");

    char *entry_text = NULL, *view_text = NULL;
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

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Quoddle GTK Sample");
    gtk_window_set_default_size(GTK_WINDOW(window), 700, 500);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);

    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_text(GTK_ENTRY(entry), entry_text ? entry_text : kDefaultEntryText);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), view_text ? view_text : "", -1);
    GtkWidget* scrolled = gtk_scrolled_window_new(NULL, NULL);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    gtk_container_add(GTK_CONTAINER(scrolled), view);

    GtkWidget* content = gtk_box_new(GTK_ORIENTATION_VERTICAL, 6);
    gtk_container_set_border_width(GTK_CONTAINER(content), 6);
    gtk_box_pack_start(GTK_BOX(content), entry, FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(content), scrolled, TRUE, TRUE, 0);
    GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
    gtk_box_pack_start(GTK_BOX(box), build_menu_bar(view), FALSE, FALSE, 0);
    gtk_box_pack_start(GTK_BOX(box), content, TRUE, TRUE, 0);
    gtk_container_add(GTK_CONTAINER(window), box);

    /* The text view starts with the focus, so a key before any click goes to it. */
    gtk_widget_show_all(window);
    gtk_widget_grab_focus(view);
    gtk_main();
    g_free(entry_text);
    g_free(view_text);
    return 0;
}
