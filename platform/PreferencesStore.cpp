#include "platform/PreferencesStore.h"

#include <cerrno>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* GetEnvironment(const char* inName)
{
    const char* theValue = std::getenv(inName);
    return (theValue != nullptr && theValue[0] != '\0') ? theValue : nullptr;
}

} // namespace

std::string PreferencesStoreGetFolder()
{
    if (const char* theFolder = GetEnvironment("KESTRO_PREFS_DIR")) {
        return theFolder;
    }
    return "/tmp/kestro-prefs-" + std::to_string(unsigned(getuid()));
}

std::string PreferencesStoreGetNotifyFolder()
{
    if (const char* theFolder = GetEnvironment("KESTRO_NOTIFY_DIR")) {
        return theFolder;
    }
    return PreferencesStoreGetFolder() + "/notify";
}

bool PreferencesStoreMakeFolder(const std::string& inPath, bool inMustBeOwn)
{
    if (inPath.empty()) {
        return false;
    }
    for (size_t theSlash = inPath.find('/', 1); ; theSlash = inPath.find('/', theSlash + 1)) {
        const std::string thePart = inPath.substr(0, theSlash);
        if (mkdir(thePart.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (theSlash == std::string::npos) {
            break;
        }
    }
    struct stat theInfo;
    if (lstat(inPath.c_str(), &theInfo) != 0) {
        return false;
    }
    if (inMustBeOwn) {
        return S_ISDIR(theInfo.st_mode) && theInfo.st_uid == getuid();
    }
    return S_ISDIR(theInfo.st_mode) || (S_ISLNK(theInfo.st_mode) && stat(inPath.c_str(), &theInfo) == 0 &&
                                        S_ISDIR(theInfo.st_mode));
}
