#pragma once
// Accounts of a test file: login, the account's permission flags and what they enable.
//
// Account texts reach the database only through SqlQuote: a quote in a typed name or
// password matches nothing.

#include <QString>

namespace kelvo {

// Finds an account and makes it the session's user and password, which are cleared
// first. With `useAdministrator` the first account with per0 is taken whatever
// `user` and `password` say (error m186 when there is none); otherwise the active
// account with exactly this name and password, silently false when there is none.
bool LoginAccount(bool useAdministrator, const QString& user, const QString& password);

// Reads the flags per0, per1, ... of the active account `user`/`password` into
// the session's permissions. False, after its error, when no such account exists or
// fewer than six flags are found; the permissions are then unset.
bool ReadUserPermissions(const QString& user, const QString& password);

// Tells every window (through the session's rightsChanged) what the logged-in account's
// flags and the lock flag of the open test allow. Does nothing while no test is
// connected or the permissions are unset.
void ApplyPermissions();

// Row 0 of testd reads "true" (any case).
bool IsTestLocked();

// After a refused login: no user, no flags, nothing they enabled stays enabled, and the
// test is disconnected, so that nothing of the previous account or file stays in force.
void RevokeAccount();

}  // namespace kelvo
