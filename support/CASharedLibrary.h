// Finds a routine in a shared library by loading the library's image.
#pragma once

class CASharedLibrary {
public:
    // The address of inRoutineName in the library at inLibraryPath, or null if
    // the library cannot be loaded or does not define it. inLibraryName is
    // not used.
    static void* LoadLibraryAndGetRoutineAddress(const char* inRoutineName, const char* inLibraryName,
                                                 const char* inLibraryPath);
};
