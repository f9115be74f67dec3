#pragma once
// A text view on Qt: a plain-text QTextEdit with the core's look on top.
//
// The core re-applies its look (tinted text, white tabs, tab stops) after every edit. Background colours
// therefore live beside the document, per UTF-16 position, and reach the screen as the blocks' layout
// formats, as a syntax highlighter's do: they are no part of the document, so they neither enter the undo
// history nor count as edits. Tab stops are the document's default text option, and go into a block's
// own format only where a range asks for stops other than the default ones.

#include "platform/Ui.h"

#include <QPointer>

#include <memory>
#include <vector>

class QTextEdit;
class QTimer;
class QWidget;

namespace quoddle {

class QtTextView : public TextView {
public:
    explicit QtTextView(QWidget* parent = nullptr);
    ~QtTextView() override;
    QtTextView(const QtTextView&) = delete;
    QtTextView& operator=(const QtTextView&) = delete;

    std::string string() const override;
    void setString(const std::string& text) override;
    Font fontWithName(const std::string& name, double pointSize) const override;
    // The plain text has no fonts of its own: both fonts are the document's default font.
    void setFont(const Font& font) override;
    void setTextStorageFont(const Font& font) override;
    void setDefaultParagraphStyle(const ParagraphStyle& style) override;
    // Qt's text edit has no smart insert and delete: the setting is kept and changes nothing.
    void setSmartInsertDeleteEnabled(bool enabled) override { smartInsertDelete_ = enabled; }
    void addParagraphStyle(const ParagraphStyle& style, TextRange range) override;
    void addBackgroundColor(const Color& color, TextRange range) override;
    void setEditedHandler(std::function<void()> handler) override;

    QTextEdit& widget() const;
    // The background colour added at a UTF-16 position, none where none was.
    std::optional<Color> backgroundColorAt(std::size_t position) const;
    // Puts colour changes not yet drawn into the layout now, rather than on the next pass of the loop.
    void flushLook();

private:
    void contentsChanged(int from, int removed, int added);
    void reportEdit();
    void markDirty(std::size_t from, std::size_t to);
    std::size_t textLength() const;

    QPointer<QTextEdit> edit_;
    std::unique_ptr<QTimer> flushTimer_;
    std::function<void()> edited_;
    // Per UTF-16 unit of the text, the index of its colour in colors_, or -1.
    std::vector<int> background_;
    std::vector<Color> colors_;
    // Positions whose colours changed since the layout last took them (from > to: none).
    std::size_t dirtyFrom_ = 1;
    std::size_t dirtyTo_ = 0;
    // Above zero while the view itself changes the document, or the edit handler runs: such changes are
    // not the user's edits.
    int ownChanges_ = 0;
    bool smartInsertDelete_ = true;
};

} // namespace quoddle
