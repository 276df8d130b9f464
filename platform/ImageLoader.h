// The image loader of the host: loads shared libraries and finds their
// symbols. Built on dlopen and dlsym. Symbol names may be given with or
// without the historical leading underscore.
#pragma once

#include "platform/MacTypes.h"

struct ImageLoaderImage;
struct ImageLoaderSymbol;
typedef const ImageLoaderImage* NSImageRef;
typedef ImageLoaderSymbol* NSSymbol;

enum : UInt32 {
    NSADDIMAGE_OPTION_NONE = 0,
    // Return null instead of stopping the process when the image can't load.
    NSADDIMAGE_OPTION_RETURN_ON_ERROR = 1,
};

enum : UInt32 {
    NSLOOKUPSYMBOLINIMAGE_OPTION_BIND = 0,
    // Return null instead of stopping the process when the symbol is missing.
    NSLOOKUPSYMBOLINIMAGE_OPTION_RETURN_ON_ERROR = 4,
};

// Loads the image at path (or finds it if loaded); images stay loaded for the
// life of the process. Returns null on failure (or for a null path). With
// NSADDIMAGE_OPTION_RETURN_ON_ERROR the failure is silent; without it the
// loader's reason is written to standard error as
// "NSAddImage: couldn't load <path>: <reason>" (the process carries on).
PLATFORM_EXPORT NSImageRef NSAddImage(const char* path, UInt32 options);
PLATFORM_EXPORT bool NSIsSymbolNameDefinedInImage(NSImageRef image, const char* symbolName);
// Null when the symbol is missing; without
// NSLOOKUPSYMBOLINIMAGE_OPTION_RETURN_ON_ERROR the miss is also written to
// standard error as "NSLookupSymbolInImage: no symbol <name>".
PLATFORM_EXPORT NSSymbol NSLookupSymbolInImage(NSImageRef image, const char* symbolName, UInt32 options);
PLATFORM_EXPORT void* NSAddressOfSymbol(NSSymbol symbol);
