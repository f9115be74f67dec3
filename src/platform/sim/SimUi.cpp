#include "platform/sim/SimUi.h"

#include "support/Utf16Units.h"

#include <algorithm>
#include <map>

namespace quoddle {

namespace {

template <typename T>
std::optional<T> attributeAt(const std::vector<std::pair<TextRange, T>>& runs, std::size_t position) {
    // Later additions win, as attributes added over a range replace the earlier value there.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it)
        if (position >= it->first.location && position < it->first.location + it->first.length)
            return it->second;
    return std::nullopt;
}

} // namespace

void SimButton::removeFromSuperview() {
    if (detach_) detach_(this);
    detach_ = nullptr;
}

void SimButton::performClick() {
    if (action_) action_();
}

void SimPaletteWindow::setFrame(const Rect& frame, bool display) {
    frame_ = frame;
    if (display) ++displayCount;
}

Rect SimPaletteWindow::contentViewFrame() const {
    return Rect{{0, 0}, {frame_.size.width, frame_.size.height - frameAllowance}};
}

std::optional<Rect> SimPaletteWindow::screenFrame() const {
    // The screen that holds most of the window, as the window system decides it.
    std::optional<Rect> best;
    double bestArea = 0;
    for (const Rect& screen : screens_.screenFrames()) {
        double width = std::min(frame_.maxX(), screen.maxX()) - std::max(frame_.minX(), screen.minX());
        double height = std::min(frame_.maxY(), screen.maxY()) - std::max(frame_.minY(), screen.minY());
        double area = width > 0 && height > 0 ? width * height : 0;
        if (area > bestArea) {
            bestArea = area;
            best = screen;
        }
    }
    return best;
}

ButtonRef SimPaletteWindow::addButton(const Rect& frame) {
    auto button = std::make_shared<SimButton>(frame, [this](SimButton* detached) {
        std::erase_if(buttons_, [detached](const auto& b) { return b.get() == detached; });
    });
    buttons_.push_back(button);
    return button;
}

SimButton* SimPaletteWindow::buttonTitled(const std::string& title) const {
    for (const auto& button : buttons_)
        if (button->title() == title) return button.get();
    return nullptr;
}

void SimPaletteWindow::close() {
    if (willClose_) willClose_();
    visible_ = false;
}

void SimTextView::setString(const std::string& text) {
    text_ = text;
    backgrounds_.clear();
    paragraphStyles_.clear();
    if (edited_) edited_();
}

void SimTextView::userEdit(const std::string& text) {
    setString(text);
}

void SimTextView::addParagraphStyle(const ParagraphStyle& style, TextRange range) {
    paragraphStyles_.emplace_back(range, style);
}

void SimTextView::addBackgroundColor(const Color& color, TextRange range) {
    backgrounds_.emplace_back(range, color);
}

std::optional<Color> SimTextView::backgroundColorAt(std::size_t position) const {
    return attributeAt(backgrounds_, position);
}

std::optional<ParagraphStyle> SimTextView::paragraphStyleAt(std::size_t position) const {
    return attributeAt(paragraphStyles_, position);
}

std::size_t SimTextView::length() const {
    std::size_t units = 0;
    for (unsigned char c : text_)
        units += utf16UnitsStartedBy(c);
    return units;
}

// The two coordinate systems differ by a flip about the first screen's top edge; the flip is its own
// inverse.
Point SimPointer::eventLocation() const {
    return screenPointOfEventPoint(location_);
}

Point SimPointer::screenPointOfEventPoint(Point eventLocation) const {
    auto frames = screens_.screenFrames();
    double top = frames.empty() ? 0 : frames.front().maxY();
    return Point{eventLocation.x, top - eventLocation.y};
}

std::optional<char16_t> SimKeyboardLayout::characterForKeyCode(std::uint16_t virtualKey) const {
    static const std::map<std::uint16_t, char16_t> usLayout = {
        {0, u'a'},   {1, u's'},   {2, u'd'},   {3, u'f'},   {4, u'h'},  {5, u'g'},   {6, u'z'},   {7, u'x'},
        {8, u'c'},   {9, u'v'},   {11, u'b'},  {12, u'q'},  {13, u'w'}, {14, u'e'},  {15, u'r'},  {16, u'y'},
        {17, u't'},  {18, u'1'},  {19, u'2'},  {20, u'3'},  {21, u'4'}, {22, u'6'},  {23, u'5'},  {24, u'='},
        {25, u'9'},  {26, u'7'},  {27, u'-'},  {28, u'8'},  {29, u'0'}, {30, u']'},  {31, u'o'},  {32, u'u'},
        {33, u'['},  {34, u'i'},  {35, u'p'},  {36, u'\r'}, {37, u'l'}, {38, u'j'},  {39, u'\''}, {40, u'k'},
        {41, u';'},  {42, u'\\'}, {43, u','},  {44, u'/'},  {45, u'n'}, {46, u'm'},  {47, u'.'},  {48, u'\t'},
        {49, u' '},  {50, u'`'},  {51, u'\b'}, {53, 0x1B},  {65, u'.'}, {67, u'*'},  {69, u'+'},  {75, u'/'},
        {76, 0x03},  {78, u'-'},  {81, u'='},  {82, u'0'},  {83, u'1'}, {84, u'2'},  {85, u'3'},  {86, u'4'},
        {87, u'5'},  {88, u'6'},  {89, u'7'},  {91, u'8'},  {92, u'9'}, {117, 0x7F}, {123, 0x1C}, {124, 0x1D},
        {125, 0x1F}, {126, 0x1E},
    };
    ++translations;
    auto it = usLayout.find(virtualKey);
    if (it == usLayout.end()) return std::nullopt;
    return it->second;
}

} // namespace quoddle
