// Host-wide preferences: key/value pairs kept per domain (application, user,
// host) in a file store that every process on the host shares.
//
// Each domain is one file in the preferences folder: the folder named by the
// environment variable KESTRO_PREFS_DIR, or /tmp/kestro-prefs-<uid> when it
// is unset (created with mode 0700 when missing). The variable is read on
// every call, so a test can point each case at a folder of its own.
//
// A process keeps a cached copy of each domain it used. CFPreferencesSetValue
// changes only that copy (the change is pending); CFPreferencesSynchronize
// merges the pending changes into the file under an exclusive flock, writes
// the merged domain to a temporary file and renames it over the old one (so
// a reader never sees half a file), then reloads the cache from it. Changes
// of different keys by different processes never overwrite each other; for
// one key the last synchronisation wins.
//
// Values: CFNumber (32- and 64-bit integers, 64-bit floats; the number keeps
// its type) and CFString. Any thread; the calls serialise on one lock of the
// process and may block on file I/O and on another process's flock.
#pragma once

#include "platform/CoreFoundation.h"

typedef CFTypeRef CFPropertyListRef;

// Domain names. "Any" domains are shared by all applications, users or
// hosts; "current" ones are named after this process's user and host.
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesAnyApplication;
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesCurrentApplication;
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesAnyHost;
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesCurrentHost;
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesAnyUser;
PLATFORM_EXPORT extern const CFStringRef kCFPreferencesCurrentUser;

// The value for key in the domain, as this process last saw it (pending
// changes included); the domain is read from its file on first use. Returns
// a new reference the caller releases, or null when there is no value (or a
// null argument).
PLATFORM_EXPORT CFPropertyListRef CFPreferencesCopyValue(CFStringRef key, CFStringRef applicationID,
                                                         CFStringRef userName, CFStringRef hostName);

// Sets (or, for a null value, removes) key in this process's copy of the
// domain; CFPreferencesSynchronize makes it visible to other processes. The
// value is copied. A null key or domain name, or a value of a type the store
// does not keep, changes nothing (the latter with one line on standard
// error).
PLATFORM_EXPORT void CFPreferencesSetValue(CFStringRef key, CFPropertyListRef value, CFStringRef applicationID,
                                           CFStringRef userName, CFStringRef hostName);

// Writes the pending changes of the domain to its file and reloads the
// domain from it (see above). False when the folder or the file can't be
// read or written; the pending changes are then kept for the next try.
PLATFORM_EXPORT Boolean CFPreferencesSynchronize(CFStringRef applicationID, CFStringRef userName,
                                                 CFStringRef hostName);
