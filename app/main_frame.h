// Main: the first procedure and the last to end. It owns the application
// frame, whose toolbar starts the demonstration page on a thread of its own
// and runs two calendars on the frame's thread.
#pragma once

namespace tavemon {

// The frame's toolbar buttons.
enum FrameButton : int {
    DateLookupButton = -1,
    StandaloneCalendarButton = -2,
    PartOfAWindowButton = -3,
};

// The stack size the demonstration page is started with.
constexpr int DemoPageStack = 25000;

// Runs the frame until it closes.
void Main();

} // namespace tavemon
