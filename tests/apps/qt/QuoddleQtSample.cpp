// A small Qt 6 Widgets application for Quoddle's end-to-end tests: a menu bar whose Edit menu has a
// Services submenu that visibly changes the text of the last focused text widget, a one-line edit, a
// plain-text edit and a status line. Every Services item also reports itself on standard output
// ("service: <title>"), so a test can tell which one ran.

#include <QApplication>
#include <QCommandLineParser>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPointer>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <QVBoxLayout>

#include <cstdio>
#include <functional>

namespace {

const char* const kDefaultEntryText = "the quick brown fox";
const char* const kDefaultViewText = "alpha beta gamma delta\n"
                                     "epsilon zeta eta theta\n"
                                     "iota kappa lambda mu\n"
                                     "nu xi omicron pi\n";

using Transform = std::function<QString(const QString&)>;

class SampleWindow : public QMainWindow {
public:
    SampleWindow(const QString& entryText, const QString& viewText) {
        setWindowTitle("Quoddle Qt Sample");
        resize(700, 500);

        auto* central = new QWidget(this);
        auto* layout = new QVBoxLayout(central);
        entry_ = new QLineEdit(entryText, central);
        view_ = new QTextEdit(central);
        view_->setAcceptRichText(false);
        view_->setPlainText(viewText);
        status_ = new QLabel("did: nothing yet", central);
        layout->addWidget(entry_);
        layout->addWidget(view_, 1);
        layout->addWidget(status_);
        setCentralWidget(central);

        buildMenus();

        // The text widget that had the focus last: the edit commands and Services act on it, so a press
        // made while a menu has the focus, or through an accessibility action, still goes where the user
        // was typing.
        lastText_ = view_;
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
            if (!now) return;
            if (now == entry_)
                lastText_ = entry_;
            else if (now == view_ || view_->isAncestorOf(now))
                lastText_ = view_;
        });
        view_->setFocus();
    }

private:
    void buildMenus() {
        QMenu* edit = menuBar()->addMenu("&Edit");
        addEditAction(edit, "&Undo", "Undo", QKeySequence::Undo, [this] {
            if (lastText_ == entry_)
                entry_->undo();
            else
                view_->undo();
        });
        addEditAction(edit, "Cu&t", "Cut", QKeySequence::Cut, [this] {
            if (lastText_ == entry_)
                entry_->cut();
            else
                view_->cut();
        });
        addEditAction(edit, "&Copy", "Copy", QKeySequence::Copy, [this] {
            if (lastText_ == entry_)
                entry_->copy();
            else
                view_->copy();
        });
        addEditAction(edit, "&Paste", "Paste", QKeySequence::Paste, [this] {
            if (lastText_ == entry_)
                entry_->paste();
            else
                view_->paste();
        });
        addEditAction(edit, "Select &All", "Select All", QKeySequence::SelectAll, [this] {
            if (lastText_ == entry_)
                entry_->selectAll();
            else
                view_->selectAll();
        });
        edit->addSeparator();

        QMenu* services = edit->addMenu("&Services");
        addService(services, "Make &Upper Case", "Make Upper Case",
                   [](const QString& t) { return t.toUpper(); });
        addService(services, "Make &Lower Case", "Make Lower Case",
                   [](const QString& t) { return t.toLower(); });
        addService(services, "&Bracket Selection", "Bracket Selection",
                   [](const QString& t) { return "[" + t + "]"; });

        QMenu* viewMenu = menuBar()->addMenu("&View");
        QAction* wrap = viewMenu->addAction("&Wrap Lines");
        wrap->setCheckable(true);
        view_->setLineWrapMode(QTextEdit::NoWrap);
        connect(wrap, &QAction::toggled, this, [this](bool on) {
            view_->setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
            report("Wrap Lines");
        });
    }

    void addEditAction(QMenu* menu, const QString& label, const QString& title, QKeySequence::StandardKey key,
                       const std::function<void()>& run) {
        QAction* action = menu->addAction(label);
        action->setShortcut(key);
        connect(action, &QAction::triggered, this, [this, title, run] {
            run();
            report(title);
        });
    }

    void addService(QMenu* menu, const QString& label, const QString& title, const Transform& transform) {
        QAction* action = menu->addAction(label);
        connect(action, &QAction::triggered, this, [this, title, transform] {
            if (lastText_ == entry_)
                transformEntry(transform);
            else
                transformView(transform);
            report(title);
            std::printf("service: %s\n", title.toUtf8().constData());
            std::fflush(stdout);
        });
    }

    // The selected text, or all of it when nothing is selected, is replaced in one undo step and stays
    // selected.
    void transformEntry(const Transform& transform) {
        if (!entry_->hasSelectedText()) entry_->selectAll();
        const int start = entry_->selectionStart();
        const QString replacement = transform(entry_->selectedText());
        entry_->insert(replacement);
        entry_->setSelection(start, static_cast<int>(replacement.size()));
    }

    void transformView(const Transform& transform) {
        QTextCursor cursor = view_->textCursor();
        if (!cursor.hasSelection()) cursor.select(QTextCursor::Document);
        const int start = cursor.selectionStart();
        // QTextCursor::selectedText() marks line breaks with U+2029; the plain text keeps them as '\n'.
        const QString selected = cursor.selection().toPlainText();
        const QString replacement = transform(selected);
        cursor.beginEditBlock();
        cursor.insertText(replacement);
        cursor.endEditBlock();
        const int end = cursor.position();
        cursor.setPosition(start);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        view_->setTextCursor(cursor);
    }

    void report(const QString& title) { status_->setText("did: " + title); }

    QLineEdit* entry_ = nullptr;
    QTextEdit* view_ = nullptr;
    QLabel* status_ = nullptr;
    QPointer<QWidget> lastText_;
};

} // namespace

int main(int argc, char** argv) {
    // The AT-SPI application name is taken from here; tests find the application by it.
    QApplication::setApplicationName("quoddle-qt-sample");
    QApplication app(argc, argv);

    QCommandLineParser parser;
    parser.addHelpOption();
    QCommandLineOption entryText("entry-text", "Initial text of the line edit.", "TEXT", kDefaultEntryText);
    QCommandLineOption viewText("view-text", "Initial text of the text edit.", "TEXT", kDefaultViewText);
    parser.addOption(entryText);
    parser.addOption(viewText);
    parser.process(app);

    SampleWindow window(parser.value(entryText), parser.value(viewText));
    window.show();
    return app.exec();
}
