// The image loader over dlopen and dlsym. An NSImageRef is the dlopen
// handle; an NSSymbol is the symbol's address. Any thread.
#include "platform/ImageLoader.h"

#include <cstdio>
#include <dlfcn.h>

namespace {

// The address of name in image: the name as given first, then without a
// leading underscore (names from hosts that prefix C symbols with one).
void* FindSymbol(NSImageRef image, const char* symbolName)
{
    if (image == nullptr || symbolName == nullptr || *symbolName == '\0') {
        return nullptr;
    }
    void* handle = const_cast<ImageLoaderImage*>(image);
    void* address = dlsym(handle, symbolName);
    if (address == nullptr && symbolName[0] == '_' && symbolName[1] != '\0') {
        address = dlsym(handle, symbolName + 1);
    }
    return address;
}

} // namespace

NSImageRef NSAddImage(const char* path, UInt32 options)
{
    if (path == nullptr || *path == '\0') {
        return nullptr;
    }
    void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        if ((options & NSADDIMAGE_OPTION_RETURN_ON_ERROR) == 0) {
            const char* reason = dlerror();
            std::fprintf(stderr, "NSAddImage: couldn't load %s: %s\n", path, reason != nullptr ? reason : "?");
        }
        return nullptr;
    }
    return static_cast<NSImageRef>(handle);
}

bool NSIsSymbolNameDefinedInImage(NSImageRef image, const char* symbolName)
{
    return FindSymbol(image, symbolName) != nullptr;
}

NSSymbol NSLookupSymbolInImage(NSImageRef image, const char* symbolName, UInt32 options)
{
    void* address = FindSymbol(image, symbolName);
    if (address == nullptr && (options & NSLOOKUPSYMBOLINIMAGE_OPTION_RETURN_ON_ERROR) == 0) {
        std::fprintf(stderr, "NSLookupSymbolInImage: no symbol %s\n", symbolName != nullptr ? symbolName : "(null)");
    }
    return static_cast<NSSymbol>(address);
}

void* NSAddressOfSymbol(NSSymbol symbol) { return symbol; }
