#include "backends/media/notification_scope.h"

namespace qx::media {
namespace {

thread_local int notification_depth = 0;

}  // namespace

NotificationScope::NotificationScope() { ++notification_depth; }
NotificationScope::~NotificationScope() { --notification_depth; }

bool InsideNotification() { return notification_depth > 0; }

}  // namespace qx::media
