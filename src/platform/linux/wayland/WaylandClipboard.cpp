#include "platform/linux/wayland/WaylandClipboard.h"

#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

namespace quoddle {

namespace {
constexpr int kStartDeadlineMs = 1000;
// wl-copy forks a server for the text and exits at once.
constexpr int kCopyDeadlineMs = 1000;
} // namespace

bool WaylandClipboard::copy(const std::string& text) {
    if (QStandardPaths::findExecutable("wl-copy").isEmpty()) return false;
    QProcess process;
    process.start("wl-copy", QStringList{"--type", "text/plain;charset=utf-8"});
    if (!process.waitForStarted(kStartDeadlineMs)) return false;
    process.write(text.data(), static_cast<qint64>(text.size()));
    process.closeWriteChannel();
    if (!process.waitForFinished(kCopyDeadlineMs)) {
        process.kill();
        process.waitForFinished(kCopyDeadlineMs);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

std::optional<std::string> WaylandClipboard::text(std::chrono::milliseconds deadline) {
    if (QStandardPaths::findExecutable("wl-paste").isEmpty()) return std::nullopt;
    QProcess process;
    process.start("wl-paste", QStringList{"--no-newline", "--type", "text"});
    if (!process.waitForStarted(kStartDeadlineMs) ||
        !process.waitForFinished(static_cast<int>(deadline.count()))) {
        process.kill();
        process.waitForFinished(kStartDeadlineMs);
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) return std::nullopt;
    const QByteArray bytes = process.readAllStandardOutput();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

} // namespace quoddle
