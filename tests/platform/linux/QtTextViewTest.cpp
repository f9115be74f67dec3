#include "platform/linux/QtTextView.h"
#include "history/SettingsText.h"
#include "platform/linux/QtTestApp.h"

#include <QApplication>
#include <QClipboard>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextEdit>
#include <QTextLayout>

#include <gtest/gtest.h>

namespace quoddle {
namespace {

constexpr Color kTint{0.79, 0.79, 1.0, 1.0};
constexpr Color kWhite{1.0, 1.0, 1.0, 1.0};

class QtTextViewTest : public test::WithQtApplication, public ::testing::Test {
protected:
    void SetUp() override {
        style.leftTabStops = {0, 31.2, 62.4, 93.6};
        view.setDefaultParagraphStyle(style);
    }

    // What the controller does after every edit: tint the text, whiten its tabs, set its tab stops.
    void installCoresLook() {
        view.setDidProcessEditingHandler([this] {
            ++edits;
            const Utf16TabScan scan = scanTabsInUtf16Units(view.string());
            view.addParagraphStyle(style, TextRange{0, scan.length});
            view.addBackgroundColor(kTint, TextRange{0, scan.length});
            for (std::size_t position : scan.tabPositions)
                view.addBackgroundColor(kWhite, TextRange{position, 1});
        });
    }

    void type(const QString& text) {
        for (QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(&view.widget(), &press);
        }
    }

    // The background the layout draws at a UTF-16 position of the document, none where it draws none.
    std::optional<QColor> drawnBackgroundAt(int position) {
        const QTextBlock block = view.widget().document()->findBlock(position);
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            if (position - block.position() >= range.start &&
                position - block.position() < range.start + range.length)
                return range.format.background().color();
        return std::nullopt;
    }

    QtTextView view;
    ParagraphStyle style;
    int edits = 0;
};

QColor qColor(const Color& c) {
    return QColor::fromRgbF(static_cast<float>(c.red), static_cast<float>(c.green),
                            static_cast<float>(c.blue), static_cast<float>(c.alpha));
}

TEST_F(QtTextViewTest, ReportsEachFinishedEditOnceAndNotItsOwnFormatting) {
    installCoresLook();
    view.setString("Safari\t3\tSearch");
    EXPECT_EQ(edits, 1); // Qt's clear and insert are one edit of the storage
    type("x");
    EXPECT_EQ(edits, 2);
    EXPECT_EQ(view.string(), "xSafari\t3\tSearch");
    QApplication::clipboard()->setText("\tpasted\n");
    view.widget().paste();
    EXPECT_EQ(edits, 3);
    view.widget().undo();
    EXPECT_EQ(edits, 4);
    EXPECT_EQ(view.string(), "xSafari\t3\tSearch");

    // The look's own changes and the view's settings are no edits, now or on a later pass of the loop.
    view.setFont(view.fontWithName("Monaco", 13));
    view.setTextStorageFont(view.fontWithName("Monaco", 13));
    view.setDefaultParagraphStyle(ParagraphStyle{{0, 40}});
    view.addParagraphStyle(ParagraphStyle{{0, 50}}, TextRange{0, 5});
    view.addBackgroundColor(kWhite, TextRange{0, 3});
    test::turnLoop();
    EXPECT_EQ(edits, 4);

    view.setDidProcessEditingHandler(nullptr);
    type("y");
    EXPECT_EQ(edits, 4);
}

TEST_F(QtTextViewTest, DrawsTheAddedColoursAtUtf16PositionsAndMovesThemWithTheText) {
    installCoresLook();
    // "é" is one UTF-16 unit, the emoji two: the tab after them is at unit 3, the second tab at unit 6.
    view.setString("\xC3\xA9\xF0\x9F\x98\x80\tab\tc\nd\te");
    const QString text = view.widget().toPlainText();
    ASSERT_EQ(text.at(3), QLatin1Char('\t'));
    ASSERT_EQ(text.at(6), QLatin1Char('\t'));
    EXPECT_EQ(view.backgroundColorAt(0), kTint);
    EXPECT_EQ(view.backgroundColorAt(3), kWhite);
    EXPECT_EQ(view.backgroundColorAt(6), kWhite);
    EXPECT_EQ(view.backgroundColorAt(10), kWhite); // the tab of the second line
    EXPECT_EQ(view.backgroundColorAt(11), kTint);
    EXPECT_EQ(view.backgroundColorAt(12), std::nullopt); // past the end
    EXPECT_EQ(drawnBackgroundAt(3), qColor(kWhite));
    EXPECT_EQ(drawnBackgroundAt(4), qColor(kTint));
    EXPECT_EQ(drawnBackgroundAt(10), qColor(kWhite));

    // Typed at the start, the tab moves one unit on and its colour with it.
    view.widget().moveCursor(QTextCursor::Start);
    type("z");
    EXPECT_EQ(view.backgroundColorAt(3), kTint);
    EXPECT_EQ(view.backgroundColorAt(4), kWhite);
    EXPECT_EQ(drawnBackgroundAt(4), qColor(kWhite));
    EXPECT_EQ(drawnBackgroundAt(3), qColor(kTint));

    // A new text starts without colours until they are added; added ones reach the layout on the loop.
    view.setDidProcessEditingHandler(nullptr);
    view.setString("plain\tline");
    EXPECT_EQ(view.backgroundColorAt(0), std::nullopt);
    EXPECT_EQ(drawnBackgroundAt(0), std::nullopt);
    view.addBackgroundColor(kWhite, TextRange{2, 100}); // clipped at the end of the text
    EXPECT_EQ(view.backgroundColorAt(9), kWhite);
    ASSERT_TRUE(test::spinUntil([&] { return drawnBackgroundAt(9).has_value(); }));
    EXPECT_EQ(drawnBackgroundAt(1), std::nullopt);
    EXPECT_EQ(drawnBackgroundAt(2), qColor(kWhite));
}

TEST_F(QtTextViewTest, KeepsTheLookOutOfTheUndoHistory) {
    installCoresLook();
    view.setString("a\tb");
    view.widget().moveCursor(QTextCursor::End);
    type("c");
    type("d");
    // One undo step per typed run, whatever the look did after each key; redo survives the look applied
    // after the undo.
    view.widget().undo();
    EXPECT_EQ(view.string(), "a\tb");
    EXPECT_TRUE(view.widget().document()->isRedoAvailable());
    view.widget().redo();
    EXPECT_EQ(view.string(), "a\tbcd");
    EXPECT_EQ(view.backgroundColorAt(1), kWhite);
    EXPECT_EQ(view.backgroundColorAt(4), kTint);
}

TEST_F(QtTextViewTest, SetsTabStopsAsTheDefaultAndOnlyDifferingRangesInBlocks) {
    view.setString("one\ttwo\nthree\tfour\nfive");
    QTextDocument& document = *view.widget().document();
    ASSERT_EQ(document.defaultTextOption().tabs().size(), 4);
    EXPECT_DOUBLE_EQ(document.defaultTextOption().tabs().at(1).position, 31.2);
    EXPECT_EQ(document.defaultTextOption().tabs().at(1).type, QTextOption::LeftTab);

    // The default style over the whole text changes no block, so it adds no undo step.
    view.addParagraphStyle(style, TextRange{0, 23});
    for (QTextBlock block = document.firstBlock(); block.isValid(); block = block.next())
        EXPECT_TRUE(block.blockFormat().tabPositions().isEmpty());
    EXPECT_FALSE(document.isUndoAvailable());

    // Another style over a range reaching into the second line sets the first two lines only.
    const ParagraphStyle wide{{0, 100}};
    view.addParagraphStyle(wide, TextRange{2, 8});
    EXPECT_EQ(document.findBlockByNumber(0).blockFormat().tabPositions().size(), 2);
    EXPECT_EQ(document.findBlockByNumber(1).blockFormat().tabPositions().size(), 2);
    EXPECT_TRUE(document.findBlockByNumber(2).blockFormat().tabPositions().isEmpty());
    // And the default style again clears them.
    view.addParagraphStyle(style, TextRange{0, 23});
    EXPECT_TRUE(document.findBlockByNumber(0).blockFormat().tabPositions().isEmpty());
    EXPECT_TRUE(document.findBlockByNumber(1).blockFormat().tabPositions().isEmpty());
}

TEST_F(QtTextViewTest, GivesAMonospacedFontForAMissingNameAndUsesIt) {
    const Font monaco = view.fontWithName("Monaco", 13);
    EXPECT_EQ(monaco.pointSize, 13);
    QFont drawn(QString::fromStdString(monaco.name));
    drawn.setPointSizeF(13);
    EXPECT_TRUE(QFontInfo(drawn).fixedPitch()) << monaco.name;
    const QFontMetricsF metrics(drawn);
    EXPECT_GT(monaco.maximumAdvancementWidth, 0);
    EXPECT_DOUBLE_EQ(monaco.maximumAdvancementWidth, metrics.horizontalAdvance(QLatin1Char('i')));
    EXPECT_DOUBLE_EQ(monaco.maximumAdvancementWidth, metrics.horizontalAdvance(QLatin1Char('W')));
    // Twice the size, about twice the cell.
    const Font large = view.fontWithName("Monaco", 26);
    EXPECT_NEAR(large.maximumAdvancementWidth / monaco.maximumAdvancementWidth, 2.0, 0.15);

    // A family the system has is kept.
    const QString family = QFontInfo(QApplication::font()).family();
    EXPECT_EQ(view.fontWithName(family.toStdString(), 11).name, family.toStdString());

    view.setFont(monaco);
    view.setTextStorageFont(monaco);
    EXPECT_EQ(view.widget().document()->defaultFont().family().toStdString(), monaco.name);
    EXPECT_DOUBLE_EQ(view.widget().document()->defaultFont().pointSizeF(), 13);
    EXPECT_EQ(view.widget().font().family().toStdString(), monaco.name);
}

} // namespace
} // namespace quoddle
