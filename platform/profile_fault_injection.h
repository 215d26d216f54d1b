// A test hook under the profile writer's system calls: it makes one chosen
// call fail, so that a test can walk every call of a write and check that a
// failed write leaves the file as it was. Not synchronised: arm it only while
// one thread writes profiles.
#pragma once

#include <cerrno>

namespace morvex::platform {

// The system call after `count` more succeed fails with `error` (once).
void fail_profile_system_call_after(long count, int error = EIO);
void stop_failing_profile_system_calls();
// True while the armed failure has not been reached.
bool profile_system_call_failure_pending();

} // namespace morvex::platform
