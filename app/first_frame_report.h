#pragma once
// Start-up timing on request: when the environment has TIRVALEX_FIRST_FRAME_REPORT set, the
// demo prints one line on standard error once the first frame after the start-up answer has
// been presented, with the time between the two and both moments on the steady clock
// (CLOCK_MONOTONIC), so a benchmark that drives the demo can set them against its own clock.
// Without the variable nothing is printed and the per-frame cost is one flag test.

// Called when the start-up question has been answered.
void note_start_up_answer();

// Called after each buffer swap; reports the first one and then does nothing.
void note_frame_presented();
