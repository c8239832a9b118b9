#include "progress_bar.h"

#include <unistd.h>

#include <algorithm>

namespace simhost {
namespace {

std::string Scaled(double value) {
    char text[32];
    if (value >= 1e9) {
        std::snprintf(text, sizeof text, "%.1fG", value / 1e9);
    } else if (value >= 1e6) {
        std::snprintf(text, sizeof text, "%.1fM", value / 1e6);
    } else if (value >= 1e3) {
        std::snprintf(text, sizeof text, "%.1fk", value / 1e3);
    } else {
        std::snprintf(text, sizeof text, "%.0f", value);
    }
    return text;
}

}  // namespace

bool ProgressBarWanted() { return ::isatty(::fileno(stderr)) != 0; }

ProgressBar::ProgressBar(uint64_t total, std::FILE* out, bool enabled)
    : total_(total), out_(out), enabled_(enabled), start_(Clock::now()), lastDraw_(start_) {}

std::string ProgressBar::Format(uint64_t done, uint64_t total, double seconds, int width) {
    const double share = total == 0 ? 1.0 : std::min(1.0, static_cast<double>(done) / total);
    const int filled = static_cast<int>(share * width);
    std::string line = "[" + std::string(filled, '#') + std::string(width - filled, '.') + "] ";
    char text[96];
    std::snprintf(text, sizeof text, "%3d%%  %s instructions  %s/s", static_cast<int>(share * 100),
                  Scaled(static_cast<double>(done)).c_str(),
                  Scaled(seconds > 0 ? static_cast<double>(done) / seconds : 0).c_str());
    return line + text;
}

void ProgressBar::Update(uint64_t done) {
    if (!enabled_) return;
    const Clock::time_point now = Clock::now();
    // Nothing for the first second, then at most ten lines a second.
    if (now - start_ < std::chrono::seconds(1) || now - lastDraw_ < std::chrono::milliseconds(100)) return;
    lastDraw_ = now;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    std::fprintf(out_, "\r%s", Format(done, total_, seconds).c_str());
    std::fflush(out_);
    drawn_ = true;
}

void ProgressBar::Finish() {
    if (!drawn_) return;
    drawn_ = false;
    std::fprintf(out_, "\r\033[K");
    std::fflush(out_);
}

}  // namespace simhost
