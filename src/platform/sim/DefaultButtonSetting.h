#pragma once
// The default shortcut text of the simulated desktop, a macOS-like keyboard: Command is the shortcut key.
// Each line: label, type, value, then modifier and flag words, separated by tabs.

namespace quoddle {

inline constexpr const char* kSimDefaultButtonSetting = "Copy\tchar\tc\tcommand\n"
                                                        "Cut\tchar\tx\tcommand\n"
                                                        "Paste\tchar\tv\tcommand\n"
                                                        "All\tchar\ta\tcommand\tDontHideWindow\n"
                                                        "Undo\tchar\tz\tcommand\n"
                                                        "Search\tservice\tSearch With Google\n";

} // namespace quoddle
