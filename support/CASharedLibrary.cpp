#include "support/CASharedLibrary.h"

#include "platform/ImageLoader.h"

void* CASharedLibrary::LoadLibraryAndGetRoutineAddress(const char* inRoutineName, const char* /*inLibraryName*/,
                                                       const char* inLibraryPath)
{
    if (inRoutineName == nullptr || inLibraryPath == nullptr) {
        return nullptr;
    }
    NSImageRef image = NSAddImage(inLibraryPath, NSADDIMAGE_OPTION_RETURN_ON_ERROR);
    if (image == nullptr || !NSIsSymbolNameDefinedInImage(image, inRoutineName)) {
        return nullptr;
    }
    NSSymbol symbol = NSLookupSymbolInImage(image, inRoutineName, NSLOOKUPSYMBOLINIMAGE_OPTION_BIND);
    return symbol != nullptr ? NSAddressOfSymbol(symbol) : nullptr;
}
