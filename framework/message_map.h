// Message tables: each class declares one static table that maps window messages and
// (notification, control id) pairs to its handler methods and names its base class's
// table, which is searched next. A message that no table claims, or whose handler calls
// SetMsgHandled(FALSE), is not handled: the window's procedure then leaves it to the
// system's default processing (for a dialog, the dialog manager's).
#pragma once
#include <windows.h>

class CCmdTarget;

// What dispatching a message through a table chain comes to.
enum MessageOutcome { kMessageNotHandled = 0, kMessageHandled = 1 };

// How a handler is called; the dispatcher unpacks WPARAM/LPARAM accordingly.
enum HandlerSignature {
  kSigVoid,          // void OnX()                                   (commands, WM_PAINT)
  kSigSysCommand,    // void OnSysCommand(UINT nID, LPARAM lParam)
  kSigSize,          // void OnSize(UINT nType, int cx, int cy)
  kSigMinMaxInfo,    // void OnGetMinMaxInfo(MINMAXINFO* info)
  kSigQueryDragIcon, // HCURSOR OnQueryDragIcon()
  kSigDropFiles,     // void OnDropFiles(HDROP hDropInfo)
};

typedef void (CCmdTarget::*GenericHandler)();

struct MessageMapEntry {
  UINT message;            // 0 ends the table
  UINT notification;       // WM_COMMAND only: the notification code
  UINT controlId;          // WM_COMMAND only: the command or control id
  HandlerSignature signature;
  GenericHandler handler;
};

struct MessageMap {
  const MessageMap* base;  // the base class's table, or null
  const MessageMapEntry* entries;
};

// Finds the entry for a message in a table chain; null when no table claims it.
const MessageMapEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam);

// Calls the handler of an entry; fills *result with what the message returns.
void CallMessageHandler(CCmdTarget* target, const MessageMapEntry& entry, WPARAM wParam,
                        LPARAM lParam, LRESULT* result);

#define LODKIN_HANDLER(type, method) \
  reinterpret_cast<GenericHandler>(static_cast<type>(&ThisClass::method))

#define DECLARE_MESSAGE_MAP()                      \
 protected:                                        \
  static const MessageMapEntry messageEntries_[];  \
                                                   \
 public:                                           \
  static const MessageMap messageMap_;             \
  const MessageMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const MessageMap* theClass::GetMessageMap() const { return &theClass::messageMap_; } \
  const MessageMap theClass::messageMap_ = {&baseClass::messageMap_,                \
                                            &theClass::messageEntries_[0]};         \
  const MessageMapEntry theClass::messageEntries_[] = {

#define END_MESSAGE_MAP() {0, 0, 0, kSigVoid, nullptr} };

// void OnX()
#define ON_COMMAND(id, method) \
  {WM_COMMAND, 0, (id), kSigVoid, LODKIN_HANDLER(void (CCmdTarget::*)(), method)},
// void OnX()
#define ON_BN_CLICKED(id, method) \
  {WM_COMMAND, BN_CLICKED, (id), kSigVoid, LODKIN_HANDLER(void (CCmdTarget::*)(), method)},
// void OnX(), for a message whose arguments it does not need (a timer, a message of the
// program's own)
#define ON_MESSAGE_VOID(message, method) \
  {(message), 0, 0, kSigVoid, LODKIN_HANDLER(void (CCmdTarget::*)(), method)},
// void OnSysCommand(UINT nID, LPARAM lParam)
#define ON_WM_SYSCOMMAND() \
  {WM_SYSCOMMAND, 0, 0, kSigSysCommand, LODKIN_HANDLER(void (CCmdTarget::*)(UINT, LPARAM), OnSysCommand)},
// void OnPaint()
#define ON_WM_PAINT() \
  {WM_PAINT, 0, 0, kSigVoid, LODKIN_HANDLER(void (CCmdTarget::*)(), OnPaint)},
// HCURSOR OnQueryDragIcon()
#define ON_WM_QUERYDRAGICON() \
  {WM_QUERYDRAGICON, 0, 0, kSigQueryDragIcon, LODKIN_HANDLER(HCURSOR (CCmdTarget::*)(), OnQueryDragIcon)},
// void OnSize(UINT nType, int cx, int cy)
#define ON_WM_SIZE() \
  {WM_SIZE, 0, 0, kSigSize, LODKIN_HANDLER(void (CCmdTarget::*)(UINT, int, int), OnSize)},
// void OnGetMinMaxInfo(MINMAXINFO* info)
#define ON_WM_GETMINMAXINFO() \
  {WM_GETMINMAXINFO, 0, 0, kSigMinMaxInfo, LODKIN_HANDLER(void (CCmdTarget::*)(MINMAXINFO*), OnGetMinMaxInfo)},
// void OnDropFiles(HDROP hDropInfo)
#define ON_WM_DROPFILES() \
  {WM_DROPFILES, 0, 0, kSigDropFiles, LODKIN_HANDLER(void (CCmdTarget::*)(HDROP), OnDropFiles)},

// The root of every table chain.
class CCmdTarget {
 public:
  typedef CCmdTarget ThisClass;
  CCmdTarget() : m_msgHandled(TRUE) {}
  virtual ~CCmdTarget() {}
  virtual const MessageMap* GetMessageMap() const { return &messageMap_; }
  static const MessageMap messageMap_;

  // Routes a message through the table chain. Not handled when no table claims it, or
  // when its handler asked for the default processing after all.
  MessageOutcome DispatchToHandler(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);

  // Called by a handler that wants the system's default processing of its message: it
  // runs after the handler has returned.
  void SetMsgHandled(BOOL handled) { m_msgHandled = handled; }

 private:
  BOOL m_msgHandled;  // of the message being dispatched; saved around nested dispatches
};
