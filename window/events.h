// Events: the 16-bit codes that tell a procedure what happened and to which
// control, their names, and the window messages they travel as.
//
// Inside the engine an event travels as the window message event code +
// 0x1400. Field events (they name a control) have the codes 0x01 to 0x1E and
// 0x101 (Selected); window events start at 0x201.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace morvex {

namespace Event {
constexpr uint16_t Accepted = 0x01;
constexpr uint16_t NewSelection = 0x02;
constexpr uint16_t ScrollUp = 0x03;
constexpr uint16_t ScrollDown = 0x04;
constexpr uint16_t PageUp = 0x05;
constexpr uint16_t PageDown = 0x06;
constexpr uint16_t ScrollTop = 0x07;
constexpr uint16_t ScrollBottom = 0x08;
constexpr uint16_t Locate = 0x09;
constexpr uint16_t MouseUp = 0x0A;
constexpr uint16_t MouseIn = 0x0B;
constexpr uint16_t MouseOut = 0x0C;
constexpr uint16_t MouseMove = 0x0D;
constexpr uint16_t VBXevent = 0x0E;
constexpr uint16_t AlertKey = 0x0F;
constexpr uint16_t PreAlert = 0x10;
constexpr uint16_t Dragging = 0x11;
constexpr uint16_t Drag = 0x12;
constexpr uint16_t Drop = 0x13;
constexpr uint16_t ScrollDrag = 0x14;
constexpr uint16_t TabChanging = 0x15;
constexpr uint16_t Expanding = 0x16;
constexpr uint16_t Contracting = 0x17;
constexpr uint16_t Expanded = 0x18;
constexpr uint16_t Contracted = 0x19;
constexpr uint16_t Rejected = 0x1A;
constexpr uint16_t DroppingDown = 0x1B;
constexpr uint16_t DroppedDown = 0x1C;
constexpr uint16_t ScrollTrack = 0x1D;
constexpr uint16_t ColumnResize = 0x1E;
constexpr uint16_t Selected = 0x101;
constexpr uint16_t CloseWindow = 0x201;
constexpr uint16_t CloseDown = 0x202;
constexpr uint16_t OpenWindow = 0x203;
constexpr uint16_t OpenFailed = 0x204;
constexpr uint16_t LoseFocus = 0x205;
constexpr uint16_t GainFocus = 0x206;
constexpr uint16_t Suspend = 0x208;
constexpr uint16_t Resume = 0x209;
constexpr uint16_t Notify = 0x20A;
constexpr uint16_t Timer = 0x20B;
constexpr uint16_t DDErequest = 0x20C;
constexpr uint16_t DDEadvise = 0x20D;
constexpr uint16_t DDEdata = 0x20E;
constexpr uint16_t DDEexecute = 0x20F;
constexpr uint16_t DDEpoke = 0x210;
constexpr uint16_t DDEclosed = 0x211;
constexpr uint16_t Move = 0x220;
constexpr uint16_t Size = 0x221;
constexpr uint16_t Restore = 0x222;
constexpr uint16_t Maximize = 0x223;
constexpr uint16_t Iconize = 0x224;
constexpr uint16_t Completed = 0x225;
constexpr uint16_t Moved = 0x230;
constexpr uint16_t Sized = 0x231;
constexpr uint16_t Restored = 0x232;
constexpr uint16_t Maximized = 0x233;
constexpr uint16_t Iconized = 0x234;
constexpr uint16_t Docked = 0x235;
constexpr uint16_t UnDocked = 0x236;
constexpr uint16_t BuildFile = 0x240;
constexpr uint16_t BuildKey = 0x241;
constexpr uint16_t BuildDone = 0x242;
} // namespace Event

constexpr uint32_t EventMessageBase = 0x1400;
constexpr uint32_t EventMessage(uint16_t code) {
    return EventMessageBase + code;
}

// Whether the event names a control (the field events and Selected).
constexpr bool IsFieldEvent(uint16_t code) {
    return (code >= 0x01 && code <= 0x1E) || code == Event::Selected;
}

// The engine's own window messages.
enum EngineMessage : uint32_t {
    QuerySetUse = 0x2401,
    QuerySelected = 0x2402,
    QueryCommand = 0x2403,
    QueryHotChange = 0x2404,
    QueryHelp = 0x2405,
    QueryQuit = 0x2406,
    QueryReply = 0x2407,
    QueryLoseFocus = 0x2408,
    QueryPScreen = 0x2409,
    QueryPField = 0x240A,
    QueryColor = 0x240C,
    QueryHScroll = 0x240E,
    QueryNotify = 0x2410,
    QueryLocate = 0x2412,
    QueryContinueThread = 0x241C,
    QueryEditDone = 0x241D,
    // 0x2414 starts a new thread's first procedure (runtime/threads.h).
    MsgBringActiveToTop = 0x2415,
    MsgDeliverEvent = 0x241B, // lparam: the EventRecord to append to the window's queue
    // Our own: lparam is an EventRecord to deliver at once on the window's
    // thread (EVENT:Suspend and EVENT:Resume for another thread's window).
    MsgDeliverNow = 0x2420,
    // Our own: lparam is a std::function<void()>* run on the window's thread
    // (the script driver reads and changes windows this way).
    MsgRunOnWindowThread = 0x2421,
};

// "EVENT:Accepted" for Event::Accepted; empty for a code that names no event.
std::string_view EventName(uint16_t code);
// The event's name without "EVENT:" ("Accepted"), or its number in hex.
std::string ShortEventName(uint16_t code);
// The code of a name with or without "EVENT:", case-blind; 0 when none.
uint16_t EventCodeByName(std::string_view name);

// The message name table of diagnostics: the DDE messages, the event
// messages, the query messages and the platform's own window messages.
std::size_t MessageNameCount();
// The name the table gives a message number, or empty.
std::string_view MessageName(uint32_t number);
// "%s (%d (0%XH))" when the table names the number, "%d (0%XH)" when not.
std::string DescribeMessage(uint32_t number);

} // namespace morvex
