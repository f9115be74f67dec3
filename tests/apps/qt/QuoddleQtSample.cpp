// A small Qt 6 Widgets application for Quoddle's end-to-end tests and the menu-fixture recorder
// (tests/tools/record-menu-fixtures.py): a menu bar whose Edit menu has a Services submenu that visibly
// changes the text edit's selection (all of its text when nothing is selected), a one-line edit and that
// plain-text edit. The edit keys (Ctrl+C, Ctrl+Z, ...) are the widgets' own. Every Services item also
// reports itself on standard output ("service: <title>"), so a recorder can tell which one ran.

#include <QApplication>
#include <QCommandLineParser>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

const char* const kDefaultEntryText = "the quick brown fox";

using Transform = std::function<QString(const QString&)>;

class SampleWindow : public QMainWindow {
public:
    SampleWindow(const QString& entryText, const QString& viewText) {
        setWindowTitle("Quoddle Qt Sample");
        resize(700, 500);
        auto* central = new QWidget(this);
        auto* layout = new QVBoxLayout(central);
        view_ = new QTextEdit(central);
        view_->setAcceptRichText(false);
        view_->setLineWrapMode(QTextEdit::NoWrap);
        view_->setPlainText(viewText);
        layout->addWidget(new QLineEdit(entryText, central));
        layout->addWidget(view_, 1);
        setCentralWidget(central);

        QMenu* services = menuBar()->addMenu("&Edit")->addMenu("&Services");
        addService(services, "Make &Upper Case", [](const QString& t) { return t.toUpper(); });
        addService(services, "Make &Lower Case", [](const QString& t) { return t.toLower(); });
        addService(services, "&Bracket Selection", [](const QString& t) { return "[" + t + "]"; });
        view_->setFocus();
    }

private:
    // The new text replaces the old in one undo step and stays selected. The title is the label without
    // its mnemonic's mark.
    void addService(QMenu* menu, const QString& label, const Transform& transform) {
        const QString title = QString(label).remove('&');
        connect(menu->addAction(label), &QAction::triggered, this, [this, title, transform] {
            QTextCursor cursor = view_->textCursor();
            if (!cursor.hasSelection()) cursor.select(QTextCursor::Document);
            const int start = cursor.selectionStart();
            // QTextCursor::selectedText() marks line breaks with U+2029; the plain text keeps them as '\n'.
            const QString replacement = transform(cursor.selection().toPlainText());
            cursor.beginEditBlock();
            cursor.insertText(replacement);
            cursor.endEditBlock();
            const int end = cursor.position();
            cursor.setPosition(start);
            cursor.setPosition(end, QTextCursor::KeepAnchor);
            view_->setTextCursor(cursor);
            std::printf("service: %s\n", title.toUtf8().constData());
            std::fflush(stdout);
        });
    }

    QTextEdit* view_ = nullptr;
};

} // namespace

int main(int argc, char** argv) {
    // The AT-SPI application name is taken from here; tests find the application by it.
    QApplication::setApplicationName("quoddle-qt-sample");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    QCommandLineOption entryText("entry-text", "Initial text of the line edit.", "TEXT", kDefaultEntryText);
    QCommandLineOption viewText("view-text", "Initial text of the text edit.", "TEXT");
    parser.addOption(entryText);
    parser.addOption(viewText);
    parser.process(app);

    SampleWindow window(parser.value(entryText), parser.value(viewText));
    window.show();
    return app.exec();
}
