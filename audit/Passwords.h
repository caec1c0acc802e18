#pragma once

// Login passwords. 員工.pass holds an Argon2id hash in the self-describing text form
// "$argon2id$v=19$m=65536,t=2,p=1$<salt>$<hash>" (libsodium's crypto_pwhash_str): the
// algorithm, its cost and a random salt travel with the hash, so the cost can be raised later
// and old hashes are still read. Argon2id is memory-hard, so guessing on graphics cards gains
// little over this office computer; about 0.1 s per login here. A stored value without that
// form is a plain password from a folder not yet upgraded: it still logs in, compared exactly,
// and is replaced by its hash at that login.

#include <QString>

#include "Database.h"

namespace orvik::audit {

// The hash of `password` with a fresh salt. Slow on purpose (about 0.1 s).
QString hashPassword(const QString& password);

// Whether a stored value is a hash (rather than a plain password from an older folder).
bool isHashed(const QString& stored);

// Whether `typed` is the password of the stored value: a hash is verified, any other value is
// compared exactly; an empty (or null) stored value takes only an empty password.
bool passwordMatches(const QString& stored, const QString& typed);

// Whether the stored value should be written again after a successful login: a plain
// password, or a hash made with a lower cost than this program's.
bool needsRehash(const QString& stored);

// Sets the password of the employee whose login name is exactly `login` (empty: no password),
// with its PasswordChange event, in one transaction on `general` (voro3.mdb). The replaced
// value is overwritten in the file, not left in its free space. False when there is no such
// login. `note` says why in the trail; empty: a change by the user, or a reset by another.
bool setPassword(store::Database& general, const QString& login, const QString& newPassword,
                 const QString& note = {});

enum class ChangeResult { Changed, WrongPassword };

// A user's change of their own password: the old one must match (a wrong one, or an unknown
// login, is recorded as a LoginFailure and changes nothing).
ChangeResult changeOwnPassword(store::Database& general, const QString& login,
                               const QString& oldPassword, const QString& newPassword);

// Records a failed login for the typed name in its own transaction. The name is kept only
// when such a login exists: a password typed into the name box by mistake stays out of the
// trail.
void recordLoginFailure(store::Database& general, const QString& typedName, const QString& note);

}  // namespace orvik::audit
