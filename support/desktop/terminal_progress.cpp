#include "support/desktop/terminal_progress.h"

#include <unistd.h>

#include <algorithm>

namespace bramlotte::support {

TerminalProgress::TerminalProgress(FILE* stream)
    : stream_(stream), terminal_(stream && isatty(fileno(stream)) == 1) {}

TerminalProgress::~TerminalProgress() {
    hide();
}

void TerminalProgress::setRange(long long low, long long high) {
    low_ = low;
    high_ = std::max(low, high);
}

void TerminalProgress::setPosition(long long position) {
    position_ = position;
    draw(false);
}

void TerminalProgress::step() {
    position_ += step_;
    draw(false);
}

void TerminalProgress::show() {
    visible_ = true;
    draw(true);
}

void TerminalProgress::hide() {
    if (visible_ && terminal_) {
        std::fputs("\r\033[K", stream_);
        std::fflush(stream_);
    }
    visible_ = false;
    drawnPercent_ = -1;
}

void TerminalProgress::draw(bool force) {
    if (!visible_ || !terminal_) {
        return;
    }
    const long long span = std::max(1LL, high_ - low_);
    const long long done = std::clamp(position_ - low_, 0LL, span);
    const int percent = static_cast<int>(done * 100 / span);
    if (!force && percent == drawnPercent_) {
        return;  // redraw only when the figure changes
    }
    drawnPercent_ = percent;
    constexpr int kWidth = 30;
    const int filled = percent * kWidth / 100;
    std::fprintf(stream_, "\r%s [%s%s] %3d%%", message_.toLocal8Bit().constData(),
                 std::string(static_cast<size_t>(filled), '#').c_str(),
                 std::string(static_cast<size_t>(kWidth - filled), ' ').c_str(), percent);
    std::fflush(stream_);
}

}  // namespace bramlotte::support
