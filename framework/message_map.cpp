#include "framework/message_map.h"

static const MessageMapEntry kNoEntries[] = {{0, 0, 0, kSigVoid, nullptr}};
const MessageMap CCmdTarget::messageMap_ = {nullptr, kNoEntries};

static bool EntryMatches(const MessageMapEntry& entry, UINT message, WPARAM wParam) {
  if (entry.message != message) return false;
  if (message != WM_COMMAND) return true;
  return entry.controlId == LOWORD(wParam) && entry.notification == HIWORD(wParam);
}

const MessageMapEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam) {
  for (; map != nullptr; map = map->base) {
    for (const MessageMapEntry* entry = map->entries; entry->message != 0; ++entry) {
      if (EntryMatches(*entry, message, wParam)) return entry;
    }
  }
  return nullptr;
}

void CallMessageHandler(CCmdTarget* target, const MessageMapEntry& entry, WPARAM wParam,
                        LPARAM lParam, LRESULT* result) {
  *result = 0;
  switch (entry.signature) {
    case kSigVoid:
      (target->*entry.handler)();
      break;
    case kSigSysCommand:
      (target->*reinterpret_cast<void (CCmdTarget::*)(UINT, LPARAM)>(entry.handler))(
          static_cast<UINT>(wParam), lParam);
      break;
    case kSigSize:
      (target->*reinterpret_cast<void (CCmdTarget::*)(UINT, int, int)>(entry.handler))(
          static_cast<UINT>(wParam), static_cast<int>(LOWORD(lParam)),
          static_cast<int>(HIWORD(lParam)));
      break;
    case kSigMinMaxInfo:
      (target->*reinterpret_cast<void (CCmdTarget::*)(MINMAXINFO*)>(entry.handler))(
          reinterpret_cast<MINMAXINFO*>(lParam));
      break;
    case kSigQueryDragIcon:
      *result = reinterpret_cast<LRESULT>(
          (target->*reinterpret_cast<HCURSOR (CCmdTarget::*)()>(entry.handler))());
      break;
    case kSigDropFiles:
      (target->*reinterpret_cast<void (CCmdTarget::*)(HDROP)>(entry.handler))(
          reinterpret_cast<HDROP>(wParam));
      break;
  }
}

MessageOutcome CCmdTarget::DispatchToHandler(UINT message, WPARAM wParam, LPARAM lParam,
                                             LRESULT* result) {
  const MessageMapEntry* entry = FindMessageEntry(GetMessageMap(), message, wParam);
  if (entry == nullptr) return kMessageNotHandled;
  // A handler may dispatch other messages to this object (a modal box pumps them), so the
  // flag of the outer message is kept aside while this one runs.
  const BOOL outerHandled = m_msgHandled;
  m_msgHandled = TRUE;
  CallMessageHandler(this, *entry, wParam, lParam, result);
  const BOOL handled = m_msgHandled;
  m_msgHandled = outerHandled;
  return handled ? kMessageHandled : kMessageNotHandled;
}
