// aWindow: the demonstration page. A page of explanations whose buttons call
// the calendar procedures in the ways the explanations describe, on the
// page's own thread; the entries show the dates the calls gave back.
#pragma once

namespace tavemon {

// Runs the page to its end (started on a thread of its own by the frame).
void aWindow();

} // namespace tavemon
