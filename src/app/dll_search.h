#pragma once
// Where the launcher lets DLLs be found when something loads one by name.

// Restricts the search to the Windows system directory for the rest of the process: the game folder, which
// is the launcher's folder and its working directory, is often writable by the player, so a DLL planted
// there must never be loaded by name by OLE, the browser control or the shell on the launcher's behalf.
// Uses SetDefaultDllDirectories where the system has it (looked up at run time) and otherwise takes the
// working directory out of the search with SetDllDirectoryA("").
void RestrictDllSearchToSystemDirectory();
