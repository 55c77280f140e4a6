#include "app/first_frame_report.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

bool report_pending = false;
double answer_seconds = 0.0;

double steady_seconds() {
    const auto since_epoch = std::chrono::steady_clock::now().time_since_epoch();
    return std::chrono::duration<double>(since_epoch).count();
}

}  // namespace

void note_start_up_answer() {
    report_pending = std::getenv("TIRVALEX_FIRST_FRAME_REPORT") != nullptr;
    answer_seconds = steady_seconds();
}

void note_frame_presented() {
    if (!report_pending) return;
    report_pending = false;
    const double presented_seconds = steady_seconds();
    std::fprintf(stderr,
                 "first frame: %.3f ms after the answer (answered at %.6f s, presented at %.6f "
                 "s, steady clock)\n",
                 1000.0 * (presented_seconds - answer_seconds), answer_seconds, presented_seconds);
}
