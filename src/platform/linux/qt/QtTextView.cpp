#include "platform/linux/qt/QtTextView.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <limits>

namespace quoddle {

namespace {

QList<QTextOption::Tab> tabsOfStyle(const ParagraphStyle& style) {
    QList<QTextOption::Tab> tabs;
    tabs.reserve(static_cast<qsizetype>(style.leftTabStops.size()));
    for (double stop : style.leftTabStops)
        tabs.append(QTextOption::Tab(stop, QTextOption::LeftTab));
    return tabs;
}

QFont qFontOfFont(const Font& font) {
    QFont qfont(QString::fromStdString(font.name));
    if (font.pointSize > 0) qfont.setPointSizeF(font.pointSize);
    return qfont;
}

QColor qColorOfColor(const Color& color) {
    return QColor::fromRgbF(static_cast<float>(color.red), static_cast<float>(color.green),
                            static_cast<float>(color.blue), static_cast<float>(color.alpha));
}

// The end of a UTF-16 range within a text of `length` units, safe from overflow.
std::size_t clampedEnd(TextRange range, std::size_t length) {
    if (range.location >= length) return length;
    return range.location + std::min(range.length, length - range.location);
}

// Marks a change the view makes itself (or the edit handler's work) for as long as it lasts.
class OwnChange {
public:
    explicit OwnChange(int& depth) : depth_(depth) { ++depth_; }
    ~OwnChange() { --depth_; }
    OwnChange(const OwnChange&) = delete;
    OwnChange& operator=(const OwnChange&) = delete;

private:
    int& depth_;
};

} // namespace

QtTextView::QtTextView(QWidget* parent)
    : edit_(new QTextEdit(parent)), flushTimer_(std::make_unique<QTimer>()) {
    edit_->setAcceptRichText(false);
    edit_->setLineWrapMode(QTextEdit::NoWrap);
    flushTimer_->setSingleShot(true);
    flushTimer_->setInterval(0);
    QObject::connect(flushTimer_.get(), &QTimer::timeout, flushTimer_.get(), [this] { flushLook(); });
    QObject::connect(edit_->document(), &QTextDocument::contentsChange, edit_,
                     [this](int from, int removed, int added) { contentsChanged(from, removed, added); });
}

QtTextView::~QtTextView() {
    delete edit_.data();
}

QTextEdit& QtTextView::widget() const {
    return *edit_;
}

std::size_t QtTextView::textLength() const {
    // The document counts one more: the separator after its last block.
    return static_cast<std::size_t>(std::max(edit_->document()->characterCount() - 1, 0));
}

std::string QtTextView::string() const {
    return edit_->toPlainText().toStdString();
}

void QtTextView::setString(const std::string& text) {
    {
        // Qt reports clearing and inserting as two changes; the storage reports one edit.
        OwnChange change(ownChanges_);
        edit_->setPlainText(QString::fromStdString(text));
    }
    background_.assign(textLength(), -1);
    markDirty(0, background_.size());
    reportEdit();
}

void QtTextView::contentsChanged(int from, int removed, int added) {
    if (ownChanges_ > 0) return;
    if (removed <= 0 && added <= 0) return;
    // The colours move with the text; typed text takes the colour before it until the look is re-applied.
    const std::size_t start = std::min(static_cast<std::size_t>(std::max(from, 0)), background_.size());
    const std::size_t gone =
        std::min(static_cast<std::size_t>(std::max(removed, 0)), background_.size() - start);
    background_.erase(background_.begin() + static_cast<std::ptrdiff_t>(start),
                      background_.begin() + static_cast<std::ptrdiff_t>(start + gone));
    const int inherited = start > 0 ? background_[start - 1] : -1;
    background_.insert(background_.begin() + static_cast<std::ptrdiff_t>(start),
                       static_cast<std::size_t>(std::max(added, 0)), inherited);
    // Qt counts the document's final separator in some changes: the text's own length decides.
    background_.resize(textLength(), -1);
    markDirty(start, start + static_cast<std::size_t>(std::max(added, 0)));
    reportEdit();
}

void QtTextView::reportEdit() {
    if (edited_) {
        OwnChange change(ownChanges_);
        auto handler = edited_; // the handler may replace itself
        handler();
    }
    flushLook();
}

void QtTextView::setEditedHandler(std::function<void()> handler) {
    edited_ = std::move(handler);
}

Font QtTextView::fontWithName(const std::string& name, double pointSize) const {
    const QString family = QString::fromStdString(name);
    QFont font = QFontDatabase::hasFamily(family) ? QFont(family)
                                                  : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (pointSize > 0) font.setPointSizeF(pointSize);
    const QFontInfo info(font);
    const QFontMetricsF metrics(font);
    // A monospaced font's cell is the advance of any one character; the widest glyph can be wider.
    const double advance =
        info.fixedPitch() ? metrics.horizontalAdvance(QLatin1Char('0')) : metrics.maxWidth();
    return Font{info.family().toStdString(), pointSize, advance};
}

void QtTextView::setFont(const Font& font) {
    OwnChange change(ownChanges_);
    const QFont qfont = qFontOfFont(font);
    edit_->setFont(qfont);
    edit_->document()->setDefaultFont(qfont);
}

void QtTextView::setTextStorageFont(const Font& font) {
    OwnChange change(ownChanges_);
    edit_->document()->setDefaultFont(qFontOfFont(font));
}

void QtTextView::setDefaultParagraphStyle(const ParagraphStyle& style) {
    OwnChange change(ownChanges_);
    QTextDocument* document = edit_->document();
    QTextOption option = document->defaultTextOption();
    option.setTabs(tabsOfStyle(style));
    document->setDefaultTextOption(option);
}

void QtTextView::addParagraphStyle(const ParagraphStyle& style, TextRange range) {
    const std::size_t length = textLength();
    if (range.length == 0 || range.location >= length) return;
    const std::size_t end = clampedEnd(range, length);
    QTextDocument* document = edit_->document();
    const QList<QTextOption::Tab> tabs = tabsOfStyle(style);
    const QList<QTextOption::Tab> defaults = document->defaultTextOption().tabs();
    // Block formats are document changes (undoable ones): make them only where the stops would differ.
    std::vector<QTextBlock> differing;
    for (QTextBlock block = document->findBlock(static_cast<int>(range.location));
         block.isValid() && static_cast<std::size_t>(block.position()) < end; block = block.next()) {
        const QList<QTextOption::Tab> own = block.blockFormat().tabPositions();
        if ((own.isEmpty() ? defaults : own) != tabs) differing.push_back(block);
    }
    if (differing.empty()) return;
    OwnChange change(ownChanges_);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    for (const QTextBlock& block : differing) {
        cursor.setPosition(block.position());
        QTextBlockFormat format = block.blockFormat();
        if (tabs == defaults)
            format.clearProperty(QTextFormat::TabPositions);
        else
            format.setTabPositions(tabs);
        cursor.setBlockFormat(format);
    }
    cursor.endEditBlock();
}

void QtTextView::addBackgroundColor(const Color& color, TextRange range) {
    const std::size_t end = clampedEnd(range, background_.size());
    if (range.location >= end) return;
    auto known = std::find(colors_.begin(), colors_.end(), color);
    if (known == colors_.end()) known = colors_.insert(colors_.end(), color);
    const int index = static_cast<int>(known - colors_.begin());
    std::fill(background_.begin() + static_cast<std::ptrdiff_t>(range.location),
              background_.begin() + static_cast<std::ptrdiff_t>(end), index);
    markDirty(range.location, end);
}

std::optional<Color> QtTextView::backgroundColorAt(std::size_t position) const {
    if (position >= background_.size() || background_[position] < 0) return std::nullopt;
    return colors_[static_cast<std::size_t>(background_[position])];
}

void QtTextView::markDirty(std::size_t from, std::size_t to) {
    if (dirtyFrom_ > dirtyTo_) {
        dirtyFrom_ = from;
        dirtyTo_ = to;
    } else {
        dirtyFrom_ = std::min(dirtyFrom_, from);
        dirtyTo_ = std::max(dirtyTo_, to);
    }
    // The core adds its colours in many small calls: they reach the layout together.
    if (!flushTimer_->isActive()) flushTimer_->start();
}

void QtTextView::flushLook() {
    flushTimer_->stop();
    if (dirtyFrom_ > dirtyTo_) return;
    const std::size_t from = dirtyFrom_;
    const std::size_t to = dirtyTo_;
    dirtyFrom_ = 1;
    dirtyTo_ = 0;

    OwnChange change(ownChanges_);
    QTextDocument* document = edit_->document();
    int changedFrom = std::numeric_limits<int>::max();
    int changedTo = 0;
    for (QTextBlock block = document->findBlock(static_cast<int>(std::min(from, textLength())));
         block.isValid() && static_cast<std::size_t>(block.position()) <= to; block = block.next()) {
        const std::size_t start = static_cast<std::size_t>(block.position());
        const std::size_t stop =
            std::min(start + static_cast<std::size_t>(block.length() - 1), background_.size());
        QList<QTextLayout::FormatRange> ranges;
        for (std::size_t i = start; i < stop;) {
            const int index = background_[i];
            std::size_t j = i + 1;
            while (j < stop && background_[j] == index)
                ++j;
            if (index >= 0) {
                QTextLayout::FormatRange range;
                range.start = static_cast<int>(i - start);
                range.length = static_cast<int>(j - i);
                range.format.setBackground(qColorOfColor(colors_[static_cast<std::size_t>(index)]));
                ranges.append(range);
            }
            i = j;
        }
        QTextLayout* layout = block.layout();
        if (layout->formats() == ranges) continue;
        layout->setFormats(ranges);
        changedFrom = std::min(changedFrom, block.position());
        changedTo = std::max(changedTo, block.position() + block.length());
    }
    // One relayout for all the changed blocks: one per block costs time in the number of blocks for each.
    if (changedFrom < changedTo) document->markContentsDirty(changedFrom, changedTo - changedFrom);
}

} // namespace quoddle
