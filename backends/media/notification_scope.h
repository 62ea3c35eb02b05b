// Whether the calling thread is running a notification of the engine (of
// any port), so that an export called from inside one can avoid waiting for
// another port's thread: that thread may itself be inside a notification
// waiting for this one.
#ifndef QXPLAYSDK_BACKENDS_MEDIA_NOTIFICATION_SCOPE_H
#define QXPLAYSDK_BACKENDS_MEDIA_NOTIFICATION_SCOPE_H

namespace qx::media {

// Marks the calling thread as inside a notification for its lifetime.
// Scopes nest: a notification may call an export that delivers another.
class NotificationScope {
 public:
  NotificationScope();
  ~NotificationScope();
  NotificationScope(const NotificationScope&) = delete;
  NotificationScope& operator=(const NotificationScope&) = delete;
};

bool InsideNotification();

}  // namespace qx::media

#endif  // QXPLAYSDK_BACKENDS_MEDIA_NOTIFICATION_SCOPE_H
