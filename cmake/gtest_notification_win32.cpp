// GoogleTest's Notification on a Win32 event (see the header).
#include "gtest_notification_win32.h"

#include <windows.h>

namespace testing {
namespace internal {

Notification::Notification() : event_(CreateEventA(NULL, TRUE, FALSE, NULL)) {}

Notification::~Notification() {
  CloseHandle(event_);
}

void Notification::Notify() {
  SetEvent(event_);
}

void Notification::WaitForNotification() {
  WaitForSingleObject(event_, INFINITE);
}

}  // namespace internal
}  // namespace testing
