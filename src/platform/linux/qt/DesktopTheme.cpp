#include "platform/linux/qt/DesktopTheme.h"

#include "platform/linux/GLibHandles.h"
#include "platform/linux/GObjectHandles.h"

#include <QApplication>
#include <QPalette>
#include <QStyleFactory>

#include <gio/gio.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace quoddle {

namespace {

bool namesDark(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
    return text.find("dark") != std::string::npos;
}

// A setting of GNOME's interface schema, when the schema is installed (reading an absent one would abort).
std::optional<std::string> gnomeInterfaceSetting(const char* key) {
    GSettingsSchemaSource* source = g_settings_schema_source_get_default();
    if (!source) return std::nullopt;
    GSettingsSchema* schema = g_settings_schema_source_lookup(source, "org.gnome.desktop.interface", TRUE);
    if (!schema) return std::nullopt;
    const bool hasKey = g_settings_schema_has_key(schema, key);
    g_settings_schema_unref(schema);
    if (!hasKey) return std::nullopt;
    auto settings = GRef<GSettings>::adopt(g_settings_new("org.gnome.desktop.interface"));
    return takeGString(g_settings_get_string(settings.get(), key));
}

bool kdeSchemeIsDark() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const std::filesystem::path folder = config && *config
                                             ? std::filesystem::path(config)
                                             : std::filesystem::path(home ? home : "") / ".config";
    std::ifstream globals(folder / "kdeglobals");
    for (std::string line; std::getline(globals, line);)
        if (line.starts_with("ColorScheme=")) return namesDark(line.substr(12));
    return false;
}

QPalette darkPalette() {
    QPalette palette;
    const QColor window(45, 45, 48), base(30, 30, 32), text(230, 230, 230), highlight(53, 132, 228);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(60, 60, 64));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Highlight, highlight);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(150, 150, 150));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(130, 130, 130));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(130, 130, 130));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(130, 130, 130));
    return palette;
}

} // namespace

bool desktopPrefersDark() {
    if (const char* gtkTheme = std::getenv("GTK_THEME"); gtkTheme && *gtkTheme) return namesDark(gtkTheme);
    if (gnomeInterfaceSetting("color-scheme") == "prefer-dark") return true;
    if (std::optional<std::string> theme = gnomeInterfaceSetting("gtk-theme"); theme && namesDark(*theme))
        return true;
    return kdeSchemeIsDark();
}

void followDesktopTheme(QApplication& application) {
    if (!desktopPrefersDark()) return;
    // Fusion draws every widget from the palette; the default style on X11 keeps some light parts.
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) application.setStyle(fusion);
    application.setPalette(darkPalette());
}

} // namespace quoddle
