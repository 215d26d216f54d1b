#include "window/events.h"

#include "runtime/ascii_case.h"

#include <array>
#include <cstdio>
#include <span>
#include <utility>

namespace morvex {

namespace {

struct NamedNumber {
    uint32_t number;
    std::string_view name;
};

constexpr NamedNumber EventNames[] = {
    {Event::Accepted, "EVENT:Accepted"},
    {Event::NewSelection, "EVENT:NewSelection"},
    {Event::ScrollUp, "EVENT:ScrollUp"},
    {Event::ScrollDown, "EVENT:ScrollDown"},
    {Event::PageUp, "EVENT:PageUp"},
    {Event::PageDown, "EVENT:PageDown"},
    {Event::ScrollTop, "EVENT:ScrollTop"},
    {Event::ScrollBottom, "EVENT:ScrollBottom"},
    {Event::Locate, "EVENT:Locate"},
    {Event::MouseUp, "EVENT:MouseUp"},
    {Event::MouseIn, "EVENT:MouseIn"},
    {Event::MouseOut, "EVENT:MouseOut"},
    {Event::MouseMove, "EVENT:MouseMove"},
    {Event::VBXevent, "EVENT:VBXevent"},
    {Event::AlertKey, "EVENT:AlertKey"},
    {Event::PreAlert, "EVENT:PreAlert"},
    {Event::Dragging, "EVENT:Dragging"},
    {Event::Drag, "EVENT:Drag"},
    {Event::Drop, "EVENT:Drop"},
    {Event::ScrollDrag, "EVENT:ScrollDrag"},
    {Event::TabChanging, "EVENT:TabChanging"},
    {Event::Expanding, "EVENT:Expanding"},
    {Event::Contracting, "EVENT:Contracting"},
    {Event::Expanded, "EVENT:Expanded"},
    {Event::Contracted, "EVENT:Contracted"},
    {Event::Rejected, "EVENT:Rejected"},
    {Event::DroppingDown, "EVENT:DroppingDown"},
    {Event::DroppedDown, "EVENT:DroppedDown"},
    {Event::ScrollTrack, "EVENT:ScrollTrack"},
    {Event::ColumnResize, "EVENT:ColumnResize"},
    {Event::Selected, "EVENT:Selected"},
    {Event::CloseWindow, "EVENT:CloseWindow"},
    {Event::CloseDown, "EVENT:CloseDown"},
    {Event::OpenWindow, "EVENT:OpenWindow"},
    {Event::OpenFailed, "EVENT:OpenFailed"},
    {Event::LoseFocus, "EVENT:LoseFocus"},
    {Event::GainFocus, "EVENT:GainFocus"},
    {Event::Suspend, "EVENT:Suspend"},
    {Event::Resume, "EVENT:Resume"},
    {Event::Notify, "EVENT:Notify"},
    {Event::Timer, "EVENT:Timer"},
    {Event::DDErequest, "EVENT:DDErequest"},
    {Event::DDEadvise, "EVENT:DDEadvise"},
    {Event::DDEdata, "EVENT:DDEdata"},
    {Event::DDEexecute, "EVENT:DDEexecute"},
    {Event::DDEpoke, "EVENT:DDEpoke"},
    {Event::DDEclosed, "EVENT:DDEclosed"},
    {Event::Move, "EVENT:Move"},
    {Event::Size, "EVENT:Size"},
    {Event::Restore, "EVENT:Restore"},
    {Event::Maximize, "EVENT:Maximize"},
    {Event::Iconize, "EVENT:Iconize"},
    {Event::Completed, "EVENT:Completed"},
    {Event::Moved, "EVENT:Moved"},
    {Event::Sized, "EVENT:Sized"},
    {Event::Restored, "EVENT:Restored"},
    {Event::Maximized, "EVENT:Maximized"},
    {Event::Iconized, "EVENT:Iconized"},
    {Event::Docked, "EVENT:Docked"},
    {Event::UnDocked, "EVENT:UnDocked"},
    {Event::BuildFile, "EVENT:BuildFile"},
    {Event::BuildKey, "EVENT:BuildKey"},
    {Event::BuildDone, "EVENT:BuildDone"},
};

constexpr NamedNumber DdeNames[] = {
    {0x3E0, "WM_DDE_INITIATE"}, {0x3E1, "WM_DDE_TERMINATE"}, {0x3E2, "WM_DDE_ADVISE"},
    {0x3E3, "WM_DDE_UNADVISE"}, {0x3E4, "WM_DDE_ACK"},       {0x3E5, "WM_DDE_DATA"},
    {0x3E6, "WM_DDE_REQUEST"},  {0x3E7, "WM_DDE_POKE"},      {0x3E8, "WM_DDE_EXECUTE"},
};

constexpr NamedNumber QueryNames[] = {
    {QuerySetUse, "QUERY_SETUSE"},
    {QuerySelected, "QUERY_SELECTED"},
    {QueryCommand, "QUERY_COMMAND"},
    {QueryHotChange, "QUERY_HOTCHANGE"},
    {QueryHelp, "QUERY_HELP"},
    {QueryQuit, "QUERY_QUIT"},
    {QueryReply, "QUERY_REPLY"},
    {QueryLoseFocus, "QUERY_LOSEFOCUS"},
    {QueryPScreen, "QUERY_PSCREEN"},
    {QueryPField, "QUERY_PFIELD"},
    {QueryColor, "QUERY_COLOR"},
    {QueryHScroll, "QUERY_HSCROLL"},
    {QueryNotify, "QUERY_NOTIFY"},
    {QueryLocate, "QUERY_LOCATE"},
    {QueryContinueThread, "QUERY_CONTINUETHREAD"},
    {QueryEditDone, "QUERY_EDITDONE"},
};

// The platform's window messages by their standard names.
constexpr NamedNumber PlatformNames[] = {
    {0x0, "WM_NULL"},
    {0x1, "WM_CREATE"},
    {0x2, "WM_DESTROY"},
    {0x3, "WM_MOVE"},
    {0x4, "WM_SIZEWAIT"},
    {0x5, "WM_SIZE"},
    {0x6, "WM_ACTIVATE"},
    {0x7, "WM_SETFOCUS"},
    {0x8, "WM_KILLFOCUS"},
    {0x9, "WM_SETVISIBLE"},
    {0xA, "WM_ENABLE"},
    {0xB, "WM_SETREDRAW"},
    {0xC, "WM_SETTEXT"},
    {0xD, "WM_GETTEXT"},
    {0xE, "WM_GETTEXTLENGTH"},
    {0xF, "WM_PAINT"},
    {0x10, "WM_CLOSE"},
    {0x11, "WM_QUERYENDSESSION"},
    {0x12, "WM_QUIT"},
    {0x13, "WM_QUERYOPEN"},
    {0x14, "WM_ERASEBKGND"},
    {0x15, "WM_SYSCOLORCHANGE"},
    {0x16, "WM_ENDSESSION"},
    {0x17, "WM_SYSTEMERROR"},
    {0x18, "WM_SHOWWINDOW"},
    {0x19, "WM_CTLCOLOR"},
    {0x1A, "WM_WININICHANGE"},
    {0x1B, "WM_DEVMODECHANGE"},
    {0x1C, "WM_ACTIVATEAPP"},
    {0x1D, "WM_FONTCHANGE"},
    {0x1E, "WM_TIMECHANGE"},
    {0x1F, "WM_CANCELMODE"},
    {0x20, "WM_SETCURSOR"},
    {0x21, "WM_MOUSEACTIVATE"},
    {0x22, "WM_CHILDACTIVATE"},
    {0x23, "WM_QUEUESYNC"},
    {0x24, "WM_GETMINMAXINFO"},
    {0x26, "WM_PAINTICON"},
    {0x27, "WM_ICONERASEBKGND"},
    {0x28, "WM_NEXTDLGCTL"},
    {0x29, "WM_ALTTABACTIVE"},
    {0x2A, "WM_SPOOLERSTATUS"},
    {0x2B, "WM_DRAWITEM"},
    {0x2C, "WM_MEASUREITEM"},
    {0x2D, "WM_DELETEITEM"},
    {0x2E, "WM_VKEYTOITEM"},
    {0x2F, "WM_CHARTOITEM"},
    {0x30, "WM_SETFONT"},
    {0x31, "WM_GETFONT"},
    {0x32, "WM_SETHOTKEY"},
    {0x33, "WM_GETHOTKEY"},
    {0x34, "WM_FILESYSCHANGE"},
    {0x35, "WM_ISACTIVEICON"},
    {0x36, "WM_QUERYPARKICON"},
    {0x37, "WM_QUERYDRAGICON"},
    {0x38, "WM_WINHELP"},
    {0x39, "WM_COMPAREITEM"},
    {0x3A, "WM_FULLSCREEN"},
    {0x3B, "WM_CLIENTSHUTDOWN"},
    {0x3C, "WM_DDEMLEVENT"},
    {0x3D, "WM_GETOBJECT"},
    {0x3F, "WM_CALCSCROLL"},
    {0x40, "WM_TESTING"},
    {0x41, "WM_COMPACTING"},
    {0x42, "WM_OTHERWINDOWCREATED"},
    {0x43, "WM_OTHERWINDOWDESTROYED"},
    {0x44, "WM_COMMNOTIFY"},
    {0x45, "WM_MEDIASTATUSCHANGE"},
    {0x46, "WM_WINDOWPOSCHANGING"},
    {0x47, "WM_WINDOWPOSCHANGED"},
    {0x48, "WM_POWER"},
    {0x49, "WM_COPYGLOBALDATA"},
    {0x4A, "WM_COPYDATA"},
    {0x4B, "WM_CANCELJOURNAL"},
    {0x4C, "WM_LOGONNOTIFY"},
    {0x4D, "WM_KEYF1"},
    {0x4E, "WM_NOTIFY"},
    {0x4F, "WM_ACCESS_WINDOW"},
    {0x50, "WM_INPUTLANGCHANGEREQUEST"},
    {0x51, "WM_INPUTLANGCHANGE"},
    {0x52, "WM_TCARD"},
    {0x53, "WM_HELP"},
    {0x54, "WM_USERCHANGED"},
    {0x55, "WM_NOTIFYFORMAT"},
    {0x70, "WM_FINALDESTROY"},
    {0x71, "WM_MEASUREITEM_CLIENTDATA"},
    {0x7B, "WM_CONTEXTMENU"},
    {0x7C, "WM_STYLECHANGING"},
    {0x7D, "WM_STYLECHANGED"},
    {0x7E, "WM_DISPLAYCHANGE"},
    {0x7F, "WM_GETICON"},
    {0x80, "WM_SETICON"},
    {0x81, "WM_NCCREATE"},
    {0x82, "WM_NCDESTROY"},
    {0x83, "WM_NCCALCSIZE"},
    {0x84, "WM_NCHITTEST"},
    {0x85, "WM_NCPAINT"},
    {0x86, "WM_NCACTIVATE"},
    {0x87, "WM_GETDLGCODE"},
    {0x88, "WM_SYNCPAINT"},
    {0x89, "WM_SYNCTASK"},
    {0xA0, "WM_NCMOUSEMOVE"},
    {0xA1, "WM_NCLBUTTONDOWN"},
    {0xA2, "WM_NCLBUTTONUP"},
    {0xA3, "WM_NCLBUTTONDBLCLK"},
    {0xA4, "WM_NCRBUTTONDOWN"},
    {0xA5, "WM_NCRBUTTONUP"},
    {0xA6, "WM_NCRBUTTONDBLCLK"},
    {0xA7, "WM_NCMBUTTONDOWN"},
    {0xA8, "WM_NCMBUTTONUP"},
    {0xA9, "WM_NCMBUTTONDBLCLK"},
    {0xAB, "WM_NCXBUTTONDOWN"},
    {0xAC, "WM_NCXBUTTONUP"},
    {0xAD, "WM_NCXBUTTONDBLCLK"},
    {0xFE, "WM_INPUT_DEVICE_CHANGE"},
    {0xFF, "WM_INPUT"},
    {0x100, "WM_KEYDOWN"},
    {0x101, "WM_KEYUP"},
    {0x102, "WM_CHAR"},
    {0x103, "WM_DEADCHAR"},
    {0x104, "WM_SYSKEYDOWN"},
    {0x105, "WM_SYSKEYUP"},
    {0x106, "WM_SYSCHAR"},
    {0x107, "WM_SYSDEADCHAR"},
    {0x108, "WM_KEYLAST"},
    {0x109, "WM_UNICHAR"},
    {0x10A, "WM_CONVERTREQUEST"},
    {0x10B, "WM_CONVERTRESULT"},
    {0x10C, "WM_INTERIM"},
    {0x10D, "WM_IME_STARTCOMPOSITION"},
    {0x10E, "WM_IME_ENDCOMPOSITION"},
    {0x10F, "WM_IME_COMPOSITION"},
    {0x110, "WM_INITDIALOG"},
    {0x111, "WM_COMMAND"},
    {0x112, "WM_SYSCOMMAND"},
    {0x113, "WM_TIMER"},
    {0x114, "WM_HSCROLL"},
    {0x115, "WM_VSCROLL"},
    {0x116, "WM_INITMENU"},
    {0x117, "WM_INITMENUPOPUP"},
    {0x118, "WM_SYSTIMER"},
    {0x119, "WM_GESTURE"},
    {0x11A, "WM_GESTURENOTIFY"},
    {0x11F, "WM_MENUSELECT"},
    {0x120, "WM_MENUCHAR"},
    {0x121, "WM_ENTERIDLE"},
    {0x122, "WM_MENURBUTTONUP"},
    {0x123, "WM_MENUDRAG"},
    {0x124, "WM_MENUGETOBJECT"},
    {0x125, "WM_UNINITMENUPOPUP"},
    {0x126, "WM_MENUCOMMAND"},
    {0x127, "WM_CHANGEUISTATE"},
    {0x128, "WM_UPDATEUISTATE"},
    {0x129, "WM_QUERYUISTATE"},
    {0x131, "WM_LBTRACKPOINT"},
    {0x132, "WM_CTLCOLORMSGBOX"},
    {0x133, "WM_CTLCOLOREDIT"},
    {0x134, "WM_CTLCOLORLISTBOX"},
    {0x135, "WM_CTLCOLORBTN"},
    {0x136, "WM_CTLCOLORDLG"},
    {0x137, "WM_CTLCOLORSCROLLBAR"},
    {0x138, "WM_CTLCOLORSTATIC"},
};

constexpr std::size_t EventCount = std::size(EventNames);

std::string_view find_name(std::span<const NamedNumber> table, uint32_t number) {
    for (const NamedNumber& entry : table)
        if (entry.number == number)
            return entry.name;
    return {};
}

} // namespace

std::string_view EventName(uint16_t code) {
    return find_name(EventNames, code);
}

std::string ShortEventName(uint16_t code) {
    const std::string_view name = EventName(code);
    if (!name.empty())
        return std::string(name.substr(6));
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "0x%X", code);
    return buffer;
}

uint16_t EventCodeByName(std::string_view name) {
    if (name.size() > 6 && EqualsIgnoringAsciiCase(name.substr(0, 6), "EVENT:"))
        name.remove_prefix(6);
    for (const NamedNumber& entry : EventNames)
        if (EqualsIgnoringAsciiCase(entry.name.substr(6), name))
            return static_cast<uint16_t>(entry.number);
    return 0;
}

std::size_t MessageNameCount() {
    return std::size(DdeNames) + EventCount + std::size(QueryNames) + std::size(PlatformNames);
}

std::string_view MessageName(uint32_t number) {
    if (number >= EventMessageBase && number <= EventMessageBase + 0xFFFF)
        if (const std::string_view name = EventName(static_cast<uint16_t>(number - EventMessageBase));
            !name.empty())
            return name;
    for (const std::span<const NamedNumber> table :
         {std::span<const NamedNumber>(DdeNames), std::span<const NamedNumber>(QueryNames),
          std::span<const NamedNumber>(PlatformNames)})
        if (const std::string_view name = find_name(table, number); !name.empty())
            return name;
    return {};
}

std::string DescribeMessage(uint32_t number) {
    char buffer[96];
    const std::string_view name = MessageName(number);
    if (name.empty())
        std::snprintf(buffer, sizeof buffer, "%u (0%XH)", number, number);
    else
        std::snprintf(buffer, sizeof buffer, "%.*s (%u (0%XH))", static_cast<int>(name.size()), name.data(),
                      number, number);
    return buffer;
}

} // namespace morvex
