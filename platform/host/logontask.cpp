// The host layer has no Task Scheduler: starting at logon is left to the session's
// own means (a systemd unit, cron).
#include "platform/logontask.h"

#include "platform/testhooks.h"

TLogonTaskState QueryLogonTask(const std::string &) {
  const int fake = testhooks::internal::FakeLogonTask();
  if (fake >= 0) return fake ? TLogonTaskState::Registered : TLogonTaskState::Absent;
  return TLogonTaskState::Unavailable;
}
