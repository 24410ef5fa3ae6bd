// load_library.exe NAME: loads the DLL NAME the way a program that restricts nothing does (LoadLibrary with
// the default search order, which includes the working directory) and prints "loaded" or "not loaded".
// The planted_dll case runs it first, to show that a DLL planted in the working directory is found there
// at all; only then does the launcher not loading it mean something.

#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: load_library.exe NAME\n");
        return 2;
    }
    const HMODULE module = LoadLibraryA(argv[1]);
    std::printf("%s\n", module != nullptr ? "loaded" : "not loaded");
    return 0;
}
