// GoogleTest's Notification for the Win32 thread model of the cross
// compiler, which has no std::mutex or std::condition_variable: a manual-
// reset event instead. Forced into every GoogleTest and test source of the
// Windows build, with GTEST_HAS_NOTIFICATION_ set so GoogleTest uses it.
#ifndef WYN_GTEST_NOTIFICATION_WIN32_H
#define WYN_GTEST_NOTIFICATION_WIN32_H

#ifdef __cplusplus
namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // a HANDLE; <windows.h> stays out of every test source
};

}  // namespace internal
}  // namespace testing
#endif

#endif
