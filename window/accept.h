// Events and the accept loop: ACCEPT runs the loop of the thread's current
// window and hands one event at a time to the procedure's loop body; EVENT(),
// FIELD(), ACCEPTED() and KEYCODE() describe the event being handled; POST
// queues events for a thread's window; SELECT moves the focus and starts the
// mode that accepts every control in turn.
//
// Every function here runs under the runtime lock. The loop gives the lock up
// only while it waits for the next platform message.
#pragma once

#include "window/event_record.h"
#include "window/window.h"

#include <cstdint>

namespace morvex {

// Runs the accept loop of the thread's current window (runtime error 537
// without one); returns when the loop ends.
void ACCEPT(const LoopBody& body);
// The same for a given window, which becomes the thread's current window.
void ACCEPT(Window& window, const LoopBody& body);

// The event being handled: its code (0 outside an event), its control (0 for
// window events and for controls that are not event sources), the control
// when the event is EVENT:Accepted (else 0), and its key code (masked with
// 0x7FF; outside an event the thread's last key code).
uint16_t EVENT();
int32_t FIELD();
int32_t ACCEPTED();
uint32_t KEYCODE();
// Sets the thread's last key code (the controller clears it).
void SETKEYCODE(uint32_t key_code);

// Posts an event to the current window of `thread` (0 = the calling thread;
// otherwise a thread number, slot + 1). Nothing happens when that thread has
// no window. `front` puts the event ahead of those already waiting.
void POST(uint16_t event, int32_t control = 0, int32_t thread = 0, bool front = false);
// Posts to a given window.
void PostEvent(Window& window, uint16_t event, int32_t control = 0, bool front = false);
// The same with a parameter the event carries (EVENT:Rejected's reason).
void PostEventWithParameter(Window& window, uint16_t event, int32_t control, uintptr_t parameter);
// The parameter of the event being handled (0 when it has none).
uintptr_t EventParameter();

// SELECT(0): accept-all mode from the first control. SELECT(control, row,
// column): focus to the control, which selects the given row and column.
void SELECT(int32_t control = 0, int32_t row = 0, int32_t column = 0);

// Builds an event record and delivers it at once when the window's accept
// loop is waiting or a registered handler takes it; otherwise drops it.
// Returns the outcome (Left when nobody took it).
LoopOutcome DeliverNow(Window& window, uint16_t event, int32_t control = 0);

// The optional hooks of the loop: the idle hook runs when no message waits,
// the wait hook before each wait for a message.
void SetIdleHook(void (*hook)());
void SetWaitHook(void (*hook)());

// Sees every event just before a loop body runs for it (the script driver
// records them). Called under the runtime lock on the window's thread.
using EventObserver = void (*)(const EventRecord& event);
void SetEventObserver(EventObserver observer);

// Prepares the engine: window classes, the runtime's thread hooks, the
// handler that releases dropped event records, the control creators and
// the drawn message boxes. Called by every Open; harmless to call again.
void InitializeWindowEngine();

} // namespace morvex
