// Message maps: each class that handles messages has a table of entries
// (message, notification code, control id, handler) chained to its base
// class's table. Dispatch walks the chain from the most derived class up and
// runs the first entry that matches.
//
//     // in the class:           DECLARE_MESSAGE_MAP()
//     // in its .cpp file:
//     BEGIN_MESSAGE_MAP(CMyDlg, CDialog)
//         ON_WM_PAINT()
//         ON_BN_CLICKED(IDC_GO, OnGo)
//     END_MESSAGE_MAP()
//
// Handlers are named without their class; they may be members of the class or
// of a base. Each table is a static constant built on first use.
#pragma once

#include <type_traits>

#include "platform/ui/user.h"

class CCmdTarget;

// Runs one handler on the object the table belongs to.
using AFX_MSG_INVOKER = LRESULT (*)(CCmdTarget& target, WPARAM wParam, LPARAM lParam);

struct AFX_MSGMAP_ENTRY {
    UINT nMessage;  // 0 ends the table
    UINT nCode;     // WM_COMMAND: the notification code
    UINT nID;       // WM_COMMAND: the control or command id
    AFX_MSG_INVOKER pfn;
};

struct AFX_MSGMAP {
    const AFX_MSGMAP* (*pfnGetBaseMap)();  // null for the root
    const AFX_MSGMAP_ENTRY* lpEntries;
};

inline constexpr UINT CN_COMMAND = 0;  // a menu or accelerator command (same code as BN_CLICKED)

// MFC-style command ids of the framework.
inline constexpr UINT ID_HELP = 0xE146;  // 57670
inline constexpr UINT AFX_IDS_APP_TITLE = 0xE000;  // 57344

namespace dravenlok::mfc {

// Adapts a member handler to AFX_MSG_INVOKER. Handlers take no arguments
// (answer 0, or their handle or number as the result) or take wParam and
// lParam and answer an LRESULT.
template <class T, auto Handler>
LRESULT InvokeHandler(CCmdTarget& target, WPARAM wParam, LPARAM lParam)
{
    T& self = static_cast<T&>(target);
    using H = decltype(Handler);
    if constexpr (std::is_invocable_v<H, T&, WPARAM, LPARAM>) {
        return (self.*Handler)(wParam, lParam);
    } else {
        using R = std::invoke_result_t<H, T&>;
        if constexpr (std::is_void_v<R>) {
            (self.*Handler)();
            return 0;
        } else if constexpr (std::is_pointer_v<R>) {
            return reinterpret_cast<LRESULT>((self.*Handler)());
        } else {
            return static_cast<LRESULT>((self.*Handler)());
        }
    }
}

}  // namespace dravenlok::mfc

#define DECLARE_MESSAGE_MAP()                                    \
public:                                                          \
    static const AFX_MSGMAP* GetThisMessageMap();                \
    [[nodiscard]] const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                            \
    const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); }     \
    const AFX_MSGMAP* theClass::GetThisMessageMap()                                       \
    {                                                                                     \
        using ThisClass [[maybe_unused]] = theClass;                                      \
        using TheBaseClass = baseClass;                                                   \
        static const AFX_MSGMAP_ENTRY kMessageEntries[] = {

#define END_MESSAGE_MAP()                                                                 \
            {0, 0, 0, nullptr}};                                                          \
        static const AFX_MSGMAP kMessageMap = {&TheBaseClass::GetThisMessageMap,          \
                                               &kMessageEntries[0]};                      \
        return &kMessageMap;                                                              \
    }

#define AFX_MSG_HANDLER(memberFxn) (&::dravenlok::mfc::InvokeHandler<ThisClass, &ThisClass::memberFxn>)

// Any message, to a handler LRESULT (WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) {message, 0, 0, AFX_MSG_HANDLER(memberFxn)},
// A command (menu, accelerator, or a button's click) to a handler void ().
#define ON_COMMAND(id, memberFxn) {WM_COMMAND, CN_COMMAND, static_cast<UINT>(id), AFX_MSG_HANDLER(memberFxn)},
#define ON_BN_CLICKED(id, memberFxn) {WM_COMMAND, BN_CLICKED, static_cast<UINT>(id), AFX_MSG_HANDLER(memberFxn)},
// void OnPaint()
#define ON_WM_PAINT() {WM_PAINT, 0, 0, AFX_MSG_HANDLER(OnPaint)},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() {WM_QUERYDRAGICON, 0, 0, AFX_MSG_HANDLER(OnQueryDragIcon)},

// The root of every message map chain.
class CCmdTarget {
public:
    CCmdTarget() = default;
    virtual ~CCmdTarget() = default;
    CCmdTarget(const CCmdTarget&) = delete;
    CCmdTarget& operator=(const CCmdTarget&) = delete;

    static const AFX_MSGMAP* GetThisMessageMap();
    [[nodiscard]] virtual const AFX_MSGMAP* GetMessageMap() const;

    // Runs the handler of command `id` with notification `code` from this
    // object's map chain; FALSE when there is none.
    virtual BOOL OnCmdMsg(UINT id, UINT code);

protected:
    // The first entry for the message (and for WM_COMMAND the code and id)
    // in the map chain, or null.
    [[nodiscard]] const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};
