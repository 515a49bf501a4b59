#pragma once
// Accounts of a test file: login, the account's permission flags and what they enable.

namespace kelvo {

// Enables the buttons of every window as the logged-in account's flags (gPermissions)
// and the lock flag of the open test allow. Does nothing while gPermissions is unset.
void ApplyPermissions();

}  // namespace kelvo
