// The folders of the host-wide preference store and of the distributed
// notification center, shared by CFPreferences and CFNotificationCenter.
// Internal to the platform library.
#pragma once

#include <string>

// KESTRO_PREFS_DIR, else /tmp/kestro-prefs-<uid>. Read on every call.
std::string PreferencesStoreGetFolder();
// KESTRO_NOTIFY_DIR, else the "notify" folder in the preferences folder.
std::string PreferencesStoreGetNotifyFolder();
// Creates inPath and its missing parents with mode 0700. True when it is (now)
// a directory. The default folders must belong to this user: a default
// folder that is a symbolic link or another user's is refused.
bool PreferencesStoreMakeFolder(const std::string& inPath, bool inMustBeOwn);
