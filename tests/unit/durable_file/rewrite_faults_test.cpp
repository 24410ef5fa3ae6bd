// Every way the system can refuse a step of a rewrite, one fault and every pair of faults: a rewrite runs
// on the real file system, through a double of the file calls that fails where a schedule says, leaving
// behind first what the system documents for that failure. After each scenario config.cfg holds exactly
// its old bytes or the new ones, and no other file is left; only where every move and copy is refused may
// the old bytes wait in the backup and the new ones in the temporary file.

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include "settings/config_file.h"
#include "durable_file/file_calls.h"
#include "settings_test_support.h"

using settings_test::Lines;
using settings_test::ReadBytes;
using settings_test::RewriteText;
using settings_test::Settings;
using settings_test::TempDir;
using settings_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

enum class Op {
    CreateFile,
    WriteFile,
    Flush,
    Replace,
    Move,
    Copy,
    Delete,
    OpenTemporary,
    WriteTemporary,
    SetAttributes,
    SetEnd,
    FinalPath,
    Lock
};

const char* Name(Op op) {
    static const char* const names[] = {"CreateFileW",        "WriteFile",    "FlushFileBuffers",
                                        "ReplaceFileW",       "MoveFileExW",  "CopyFileW",
                                        "DeleteFileW",        "_wfopen",      "fwrite",
                                        "SetFileAttributesW", "SetEndOfFile", "GetFinalPathNameByHandleW",
                                        "LockFileEx"};
    return names[static_cast<int>(op)];
}

// What shows under config.cfg's name when another file comes through halfway through a swap.
const std::string kOtherBytes = "// another file\r\n";

// ReplaceFileW failing as Wine's does: the replaced file is moved aside (to the backup name, or to a name
// of its own that is then deleted) before the last move fails.
constexpr DWORD kWineReplaceFailure = 0xE0000001;

// ReplaceFileW failing halfway (1177), after which another file shows under the replaced name: a copy in a
// virtualized folder coming through, or another program creating the file between the two renames.
constexpr DWORD kShowsThrough = 0xE0000002;

// The errors each call can give; the C runtime's are errno values.
std::vector<DWORD> ErrorsOf(Op op) {
    switch (op) {
    case Op::CreateFile:
    case Op::Delete:
        return {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED};
    case Op::WriteFile:
    case Op::Flush:
    case Op::WriteTemporary:
        return {ERROR_DISK_FULL};
    case Op::Replace:
        return {ERROR_UNABLE_TO_REMOVE_REPLACED,
                ERROR_UNABLE_TO_MOVE_REPLACEMENT,
                ERROR_UNABLE_TO_MOVE_REPLACEMENT_2,
                kWineReplaceFailure,
                kShowsThrough,
                ERROR_SHARING_VIOLATION,
                ERROR_ACCESS_DENIED};
    case Op::Move:
    case Op::Copy:
        return {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_DISK_FULL};
    case Op::OpenTemporary:
        // A folder that takes no new file; a write-protected or failing device, which the C runtime also
        // reports as EACCES; a full disk.
        return {ERROR_ACCESS_DENIED, ERROR_WRITE_PROTECT, ERROR_DISK_FULL};
    case Op::FinalPath:
        // Drivers without the call (RAM disks, image mounts), and shares whose parent folder is closed.
        return {ERROR_INVALID_FUNCTION, ERROR_ACCESS_DENIED};
    case Op::Lock:
        // Another launcher's save holds the lock.
        return {ERROR_LOCK_VIOLATION};
    case Op::SetAttributes:
    case Op::SetEnd:
        return {};
    }
    return {};
}

// The call at position `call` of a rewrite fails with error; with `always`, so does every later call of
// the same kind.
struct Fault {
    std::size_t call;
    Op op;
    DWORD error;
    bool always;
};

constexpr std::size_t kNoCut = static_cast<std::size_t>(-1);

// What a process that has died answers, to a caller that no longer runs.
constexpr DWORD kDead = ERROR_OPERATION_ABORTED;

// How another process holds config.cfg's temporary files: not at all; against moving and deleting (a reader
// that shares no delete), so that only a copy gets the bytes out; or wholly.
enum class Hold { None, AgainstMoving, Wholly };

struct Schedule {
    std::vector<Fault> faults;
    std::vector<Op> trace;    // every call made, in order
    unsigned strays = 0;      // names the double made up for ReplaceFileW without a backup name
    std::size_t cut = kNoCut; // the process dies at this call: it and every later one do nothing and fail
    bool cutInside = false;   // the call at cut does the first part of its work before the process dies
    Hold newFileHeld = Hold::None;
    std::vector<std::wstring> unflushed = {}; // files written or copied to since they were last flushed
    std::vector<struct LogEntry> log = {};    // the names made, renamed and removed, in order
    unsigned pausedMs = 0; // how long the run took on the clock: its pauses, and a millisecond for each call
    HANDLE lock = nullptr; // the handle that holds the save's lock, while one does
    // A second launcher that runs when the call at interleaveAt is made, between two calls of this one.
    std::size_t interleaveAt = static_cast<std::size_t>(-1);
    std::function<void()> interleave = {};
};

// One change of names, as a journaling file system logs it: a file made, renamed or removed (with the bytes
// it held, to undo it).
struct LogEntry {
    enum Kind { Made, Renamed, Removed } kind;
    std::wstring path;
    std::wstring to;
    std::string bytes;
};

void Logged(LogEntry::Kind kind, const std::wstring& path, const std::wstring& to = {},
            const std::string& bytes = {});

Schedule* g_schedule = nullptr;

enum class Fate { Runs, Fails, Half, Dead };

// Records the call and tells what becomes of it; error is set for Fails.
Fate Next(Op op, DWORD& error) {
    const std::size_t call = g_schedule->trace.size();
    g_schedule->trace.push_back(op);
    ++g_schedule->pausedMs;
    if (call == g_schedule->interleaveAt && g_schedule->interleave) {
        Schedule* const first = g_schedule;
        const std::function<void()> second = first->interleave;
        first->interleave = nullptr;
        second();
        g_schedule = first;
    }
    if (call >= g_schedule->cut) {
        return call == g_schedule->cut && g_schedule->cutInside ? Fate::Half : Fate::Dead;
    }
    for (const Fault& fault : g_schedule->faults) {
        if (fault.op == op && (fault.call == call || (fault.always && fault.call < call))) {
            error = fault.error;
            return Fate::Fails;
        }
    }
    return Fate::Runs;
}

// Records the call and tells whether it is to fail (in a dead process, every call fails).
bool Fails(Op op, DWORD& error) {
    const Fate fate = Next(op, error);
    if (fate == Fate::Half || fate == Fate::Dead) {
        error = kDead;
    }
    return fate != Fate::Runs;
}

// For the calls that fail without leaving anything behind: sets the error when the call is to fail.
bool Refuses(Op op) {
    DWORD error;
    if (!Fails(op, error)) {
        return false;
    }
    SetLastError(error);
    return true;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return _wcsicmp(a.c_str(), b.c_str()) == 0;
}

// Whether a power cut now would lose data of the file at path; forgets it.
bool Unflushed(const std::wstring& path) {
    std::vector<std::wstring>& files = g_schedule->unflushed;
    const auto at = std::find_if(files.begin(), files.end(),
                                 [&](const std::wstring& file) { return SamePath(file, path); });
    if (at == files.end()) {
        return false;
    }
    files.erase(at);
    return true;
}

void WrittenTo(const std::wstring& path) {
    Unflushed(path);
    g_schedule->unflushed.push_back(path);
}

// A rename keeps what the file had not flushed; whatever it replaced is gone.
void Renamed(const std::wstring& from, const std::wstring& to) {
    const bool pending = Unflushed(from);
    Unflushed(to);
    if (pending) {
        g_schedule->unflushed.push_back(to);
    }
}

std::wstring PathOf(HANDLE file) {
    wchar_t path[MAX_PATH * 4];
    const DWORD length =
        GetFinalPathNameByHandleW(file, path, MAX_PATH * 4, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    return length > 0 && length < MAX_PATH * 4 ? std::wstring(path, length) : std::wstring();
}

// What a power cut does to a file whose data had not reached the disk.
enum class Power { Stays, LostToZeros, LostToPrefix, LastNameLost, LastTwoNamesLost, LastThreeNamesLost };

const char* Name(Power power) {
    static const char* const names[] = {"",
                                        ", the power cut with it (data lost to zeros)",
                                        ", the power cut with it (data lost to a prefix)",
                                        ", the power cut with it (the last change of names lost)",
                                        ", the power cut with it (the last two changes of names lost)",
                                        ", the power cut with it (the last three changes of names lost)"};
    return names[static_cast<int>(power)];
}

void Logged(LogEntry::Kind kind, const std::wstring& path, const std::wstring& to, const std::string& bytes) {
    g_schedule->log.push_back({kind, path, to, bytes});
}

// How many of the last changes of names the power cut loses, in order (their log not yet on the disk);
// the data written meanwhile stays.
std::size_t NamesLost(Power power) {
    return power == Power::LastNameLost         ? 1
           : power == Power::LastTwoNamesLost   ? 2
           : power == Power::LastThreeNamesLost ? 3
                                                : 0;
}

void LoseNames(const Schedule& schedule, std::size_t count) {
    for (std::size_t i = 0; i < count && i < schedule.log.size(); ++i) {
        const LogEntry& entry = schedule.log[schedule.log.size() - 1 - i];
        const bool undone = entry.kind == LogEntry::Made ? DeleteFileW(entry.path.c_str()) != FALSE
                            : entry.kind == LogEntry::Renamed
                                ? MoveFileExW(entry.to.c_str(), entry.path.c_str(), 0) != FALSE
                                : WriteBytes(fs::path(entry.path).string(), entry.bytes);
        EXPECT_TRUE(undone) << "could not lose a change of names (" << entry.kind << ") of "
                            << fs::path(entry.path).string() << " to " << fs::path(entry.to).string()
                            << " error " << GetLastError();
    }
}

// At a power cut the renames and deletes of the run stay, while the data it wrote and never flushed is lost:
// the file keeps its length and holds zeros, or keeps only the first part that reached the disk.
void LosePower(const Schedule& schedule, Power power) {
    if (NamesLost(power) > 0) {
        LoseNames(schedule, NamesLost(power));
        return;
    }
    for (const std::wstring& path : schedule.unflushed) {
        const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size{};
        if (power == Power::Stays || file == INVALID_HANDLE_VALUE || !GetFileSizeEx(file, &size)) {
            if (file != INVALID_HANDLE_VALUE) {
                CloseHandle(file);
            }
            continue;
        }
        DWORD written = 0;
        const std::string zeros(static_cast<std::size_t>(size.QuadPart), '\0');
        LARGE_INTEGER half{};
        half.QuadPart = size.QuadPart / 2;
        const bool lost =
            power == Power::LostToZeros
                ? WriteFile(file, zeros.data(), static_cast<DWORD>(zeros.size()), &written, nullptr)
                : SetFilePointerEx(file, half, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        EXPECT_TRUE(lost) << "could not cut the power to " << fs::path(path).string();
    }
}

std::wstring DirectoryOf(const wchar_t* path) {
    const std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

// A linked config.cfg, shown as Windows shows a symbolic link (Wine shows none for a Unix link): its
// attributes carry the reparse point, and the link itself opens to give its relative destination.
std::wstring g_linkPath;
const wchar_t kLinkDestination[] = L"target\\real.cfg";
const HANDLE kLinkItself = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(0x7B7B));

HANDLE WINAPI CreateFileDouble(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
    if (Refuses(Op::CreateFile)) {
        return INVALID_HANDLE_VALUE;
    }
    if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) != 0 && !g_linkPath.empty() &&
        _wcsicmp(name, g_linkPath.c_str()) == 0) {
        return kLinkItself;
    }
    return CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

// A write that fails writes nothing: the in-place write makes room for the content before it writes.
// Cut off inside, it leaves the first half of the bytes.
BOOL WINAPI WriteFileDouble(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    DWORD error = kDead;
    const Fate fate = Next(Op::WriteFile, error);
    if (fate == Fate::Runs || fate == Fate::Half) {
        WrittenTo(PathOf(file));
    }
    if (fate == Fate::Runs) {
        return WriteFile(file, data, size, written, overlapped);
    }
    if (fate == Fate::Half) {
        WriteFile(file, data, size / 2, written, overlapped);
    }
    *written = 0;
    SetLastError(error);
    return FALSE;
}

BOOL WINAPI SetEndDouble(HANDLE file) {
    return Refuses(Op::SetEnd) ? FALSE : SetEndOfFile(file);
}

BOOL WINAPI SetAttributesDouble(LPCWSTR name, DWORD attributes) {
    return Refuses(Op::SetAttributes) ? FALSE : SetFileAttributesW(name, attributes);
}

BOOL WINAPI FlushDouble(HANDLE file) {
    if (Refuses(Op::Flush) || !FlushFileBuffers(file)) {
        return FALSE;
    }
    Unflushed(PathOf(file));
    return TRUE;
}

// The first rename of a swap, logged as the file system logs it.
void MoveAside(const wchar_t* replaced, const wchar_t* aside) {
    if (MoveFileExW(replaced, aside, MOVEFILE_REPLACE_EXISTING)) {
        Logged(LogEntry::Renamed, replaced, aside);
    }
}

// What ReplaceFileW leaves when it fails, as its documentation gives it: 1175 and the conflicts leave
// both files; 1176 leaves both with a backup name, and without one the replaced file no longer exists;
// 1177 leaves the replaced file under the backup name, or under another name without one.
BOOL WINAPI ReplaceDouble(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                          LPVOID reserved) {
    DWORD error = kDead;
    const Fate fate = Next(Op::Replace, error);
    if (fate == Fate::Runs) {
        if (!ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved)) {
            return FALSE;
        }
        Renamed(replaced, backup != nullptr ? backup : L"");
        Renamed(replacement, replaced);
        if (backup != nullptr) {
            Logged(LogEntry::Renamed, replaced, backup);
        }
        Logged(LogEntry::Renamed, replacement, replaced);
        return TRUE;
    }
    if (fate == Fate::Half) {
        // Cut off between the two renames of a swap: the documented 1177 state, and Wine's first step.
        if (backup != nullptr && MoveFileExW(replaced, backup, MOVEFILE_REPLACE_EXISTING)) {
            Logged(LogEntry::Renamed, replaced, backup);
        }
        SetLastError(kDead);
        return FALSE;
    }
    if (fate == Fate::Dead) {
        SetLastError(kDead);
        return FALSE;
    }
    const std::wstring aside =
        DirectoryOf(replaced) + L"rf" + std::to_wstring(++g_schedule->strays) + L".tmp";
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && backup == nullptr) {
        DeleteFileW(replaced);
    } else if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveAside(replaced, backup != nullptr ? backup : aside.c_str());
    } else if (error == kShowsThrough) {
        MoveAside(replaced, backup != nullptr ? backup : aside.c_str());
        WriteBytes(fs::path(replaced).string(), kOtherBytes);
        Logged(LogEntry::Made, replaced);
        error = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
    } else if (error == kWineReplaceFailure) {
        if (backup != nullptr) {
            MoveAside(replaced, backup);
            error = ERROR_UNABLE_TO_MOVE_REPLACEMENT_2;
        } else {
            MoveFileExW(replaced, aside.c_str(), 0);
            DeleteFileW(aside.c_str());
            error = ERROR_UNABLE_TO_MOVE_REPLACEMENT;
        }
    }
    SetLastError(error);
    return FALSE;
}

// Whether the file at name is config.cfg's new file, and another process holds it against reading (for a
// copy) or against moving and deleting.
bool IsHeld(LPCWSTR name, bool reading) {
    const Hold hold = g_schedule->newFileHeld;
    const std::wstring path(name);
    const std::wstring suffix = L".launcher-new";
    if (hold == Hold::None || (reading && hold == Hold::AgainstMoving) || path.size() < suffix.size() ||
        path.compare(path.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return false;
    }
    SetLastError(ERROR_SHARING_VIOLATION);
    return true;
}

BOOL WINAPI MoveDouble(LPCWSTR from, LPCWSTR to, DWORD flags) {
    if (Refuses(Op::Move) || IsHeld(from, false) || !MoveFileExW(from, to, flags)) {
        return FALSE;
    }
    Renamed(from, to);
    Logged(LogEntry::Renamed, from, to);
    return TRUE;
}

// A copy that fails leaves no destination: the system removes what it had copied. Cut off inside, it leaves
// the first part of the bytes.
BOOL WINAPI CopyDouble(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    DWORD error = kDead;
    const Fate fate = Next(Op::Copy, error);
    if (fate == Fate::Half) {
        const std::string bytes = ReadBytes(fs::path(from).string());
        WriteBytes(fs::path(to).string(), bytes.substr(0, bytes.size() / 2));
        WrittenTo(to);
        Logged(LogEntry::Made, to);
    }
    if (fate != Fate::Runs) {
        SetLastError(fate == Fate::Fails ? error : kDead);
        return FALSE;
    }
    if (IsHeld(from, true) || !CopyFileW(from, to, failIfExists)) {
        return FALSE;
    }
    WrittenTo(to);
    Logged(LogEntry::Made, to);
    return TRUE;
}

DWORD WINAPI FinalPathDouble(HANDLE file, LPWSTR path, DWORD capacity, DWORD flags) {
    return Refuses(Op::FinalPath) ? 0 : GetFinalPathNameByHandleW(file, path, capacity, flags);
}

BOOL WINAPI LockDouble(HANDLE file, DWORD flags, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED at) {
    if (Refuses(Op::Lock) || !LockFileEx(file, flags, reserved, low, high, at)) {
        return FALSE;
    }
    g_schedule->lock = file;
    return TRUE;
}

// A dead process's lock is released by the system, with its handles.
BOOL WINAPI UnlockDouble(HANDLE file, DWORD reserved, DWORD low, DWORD high, LPOVERLAPPED at) {
    DWORD error;
    return Fails(Op::Lock, error) ? FALSE : UnlockFileEx(file, reserved, low, high, at);
}

BOOL WINAPI DeleteDouble(LPCWSTR name) {
    const std::string bytes = ReadBytes(fs::path(name).string());
    if (Refuses(Op::Delete) || IsHeld(name, false) || !DeleteFileW(name)) {
        return FALSE;
    }
    Logged(LogEntry::Removed, name, {}, bytes);
    Unflushed(name);
    return TRUE;
}

// Pauses take no time here; they advance the clock.
VOID WINAPI SleepDouble(DWORD milliseconds) {
    g_schedule->pausedMs += milliseconds;
}

ULONGLONG WINAPI ClockDouble() {
    return 1000000u + g_schedule->pausedMs;
}

std::FILE* OpenTemporaryDouble(const wchar_t* path, const wchar_t* mode) {
    DWORD error;
    if (Fails(Op::OpenTemporary, error)) {
        // What the C runtime keeps: the system's error, and its own rough translation.
        _doserrno = error;
        errno = error == ERROR_DISK_FULL ? ENOSPC : EACCES;
        return nullptr;
    }
    std::FILE* file = SystemFileCalls().openStream(path, mode);
    if (file != nullptr) {
        WrittenTo(path);
        Logged(LogEntry::Made, path);
    }
    return file;
}

// A full disk, or the process cut off inside the write: half of the content reaches the file.
std::size_t WriteTemporaryDouble(const void* data, std::size_t size, std::size_t count, std::FILE* file) {
    DWORD error;
    const Fate fate = Next(Op::WriteTemporary, error);
    if (fate == Fate::Runs) {
        return std::fwrite(data, size, count, file);
    }
    if (fate != Fate::Dead) {
        std::fwrite(data, 1, size * count / 2, file);
    }
    return 0;
}

DWORD WINAPI AttributesDouble(LPCWSTR name) {
    const DWORD attributes = GetFileAttributesW(name);
    if (g_linkPath.empty() || _wcsicmp(name, g_linkPath.c_str()) != 0) {
        return attributes;
    }
    return FILE_ATTRIBUTE_REPARSE_POINT |
           (attributes != INVALID_FILE_ATTRIBUTES ? attributes : FILE_ATTRIBUTE_ARCHIVE);
}

BOOL WINAPI ReparseDataDouble(HANDLE device, DWORD code, LPVOID, DWORD, LPVOID out, DWORD outSize,
                              LPDWORD returned, LPOVERLAPPED) {
    const DWORD nameBytes = static_cast<DWORD>(std::wcslen(kLinkDestination) * sizeof(wchar_t));
    const DWORD size = 20 + 2 * nameBytes;
    if (device != kLinkItself || code != FSCTL_GET_REPARSE_POINT || outSize < size) {
        SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return FALSE;
    }
    BYTE* data = static_cast<BYTE*>(out);
    const DWORD tag = IO_REPARSE_TAG_SYMLINK;
    const WORD fields[] = {
        static_cast<WORD>(size - 8), 0, 0, static_cast<WORD>(nameBytes), static_cast<WORD>(nameBytes),
        static_cast<WORD>(nameBytes)};
    const ULONG relative = 1;
    std::memcpy(data, &tag, 4);
    std::memcpy(data + 4, fields, sizeof fields);
    std::memcpy(data + 16, &relative, 4);
    std::memcpy(data + 20, kLinkDestination, nameBytes);
    std::memcpy(data + 20 + nameBytes, kLinkDestination, nameBytes);
    *returned = size;
    return TRUE;
}

BOOL WINAPI CloseDouble(HANDLE handle) {
    // A dead process's handles are closed all the same, by the system.
    if (g_schedule != nullptr && handle == g_schedule->lock) {
        g_schedule->lock = nullptr;
    }
    return handle == kLinkItself ? TRUE : CloseHandle(handle);
}

const LauncherSettings kChosen = Settings(1280, 1024, 32, 0);

// The game's own lines around ours, and one of its keys that we never write.
const std::string kOldBytes = Lines({"// written by the game", "screenWidth = 1024", "screenHeight = 768",
                                     "screenBPP = 32", "bloom = 1", "gamma = 1.2", "lastMap = harbour"});

// A folder holding config.cfg as a scenario starts, and what it should hold afterwards.
struct Situation {
    const char* name;
    std::string path;    // what the rewrite is given
    fs::path folder;     // where config.cfg's bytes live, and the temporary file and the backup with them
    std::string content; // the file in folder that holds config.cfg's bytes
    bool exists;         // whether config.cfg exists before the rewrite

    std::string Old() const { return exists ? kOldBytes : std::string(); }
    std::string New() const { return RewriteText(Old(), kChosen); }

    void Reset() const {
        for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
            fs::remove(entry.path());
        }
        if (exists) {
            WriteBytes((folder / content).string(), kOldBytes);
        }
    }
};

struct Outcome {
    bool written;
    std::vector<Op> trace;
    unsigned pausedMs;
};

// Puts the doubles in the system's place for one run under schedule.
class Doubles {
public:
    explicit Doubles(Schedule& schedule) {
        g_schedule = &schedule;
        g_fileCalls.createFile = CreateFileDouble;
        g_fileCalls.writeFile = WriteFileDouble;
        g_fileCalls.flushFileBuffers = FlushDouble;
        g_fileCalls.setEndOfFile = SetEndDouble;
        g_fileCalls.closeHandle = CloseDouble;
        g_fileCalls.deviceIoControl = ReparseDataDouble;
        g_fileCalls.getFinalPathNameByHandle = FinalPathDouble;
        g_fileCalls.lockFileEx = LockDouble;
        g_fileCalls.unlockFileEx = UnlockDouble;
        g_fileCalls.getFileAttributes = AttributesDouble;
        g_fileCalls.setFileAttributes = SetAttributesDouble;
        g_fileCalls.replaceFile = ReplaceDouble;
        g_fileCalls.moveFileEx = MoveDouble;
        g_fileCalls.copyFile = CopyDouble;
        g_fileCalls.deleteFile = DeleteDouble;
        g_fileCalls.sleep = SleepDouble;
        g_fileCalls.clock = ClockDouble;
        g_fileCalls.openStream = OpenTemporaryDouble;
        g_fileCalls.writeStream = WriteTemporaryDouble;
    }
    Doubles(const Doubles&) = delete;
    Doubles& operator=(const Doubles&) = delete;
    ~Doubles() {
        g_fileCalls = SystemFileCalls();
        g_schedule = nullptr;
    }
};

// One rewrite of the situation's config.cfg under schedule.
bool Rewrite(const Situation& situation, Schedule& schedule) {
    const Doubles doubles(schedule);
    return WriteSettingsFile(situation.path.c_str(), kChosen, kAllSettings);
}

Outcome RunScenario(const Situation& situation, const std::vector<Fault>& faults, bool newFileHeld = false) {
    situation.Reset();
    Schedule schedule{faults, {}};
    schedule.newFileHeld = newFileHeld ? Hold::Wholly : Hold::None;
    const bool written = Rewrite(situation, schedule);
    return {written, schedule.trace, schedule.pausedMs};
}

bool HasAlways(const std::vector<Fault>& faults, Op op) {
    for (const Fault& fault : faults) {
        if (fault.always && fault.op == op) {
            return true;
        }
    }
    return false;
}

std::string Describe(const Situation& situation, const std::vector<Fault>& faults) {
    std::string text = std::string(situation.name) + " config.cfg;";
    for (const Fault& fault : faults) {
        text += " call " + std::to_string(fault.call) + " " + Name(fault.op) + " fails with " +
                std::to_string(fault.error) + (fault.always ? " every time;" : " once;");
    }
    return text;
}

// How long OK may take, waits and work together: a window that has not answered for five seconds is marked
// as not responding.
constexpr unsigned kDeadlineMs = 4000;

unsigned g_strandedScenarios = 0;
unsigned g_livenessScenarios = 0;

// Whether another program's file comes through where a swap stopped halfway.
bool ShowsThrough(const std::vector<Fault>& faults) {
    for (const Fault& fault : faults) {
        if (fault.op == Op::Replace && fault.error == kShowsThrough) {
            return true;
        }
    }
    return false;
}

// Errors that pass when the call is tried again: another process holding a file for a moment (a file being
// deleted or replaced answers "access denied" meanwhile), and a swap refused or stopped halfway.
bool Passes(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
           error == ERROR_ACCESS_DENIED || error == ERROR_UNABLE_TO_REMOVE_REPLACED ||
           error == ERROR_UNABLE_TO_MOVE_REPLACEMENT || error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2 ||
           error == kWineReplaceFailure || error == kShowsThrough;
}

// Whether the schedule leaves a way to store the new bytes, which a rewrite must then take: every fault
// passes once; or ReplaceFileW is refused every time while a move works (not for a sharing violation,
// where a move meets the same holder); or moves are refused every time while ReplaceFileW or a copy works;
// or the final path of a plain file cannot be had; refused deletes only leave a file behind. A full disk, a
// folder that takes no new file, a file that stays held and a lock another launcher keeps may end without a
// save.
bool LeavesAWay(const std::vector<Fault>& faults, bool linked) {
    const bool replaceRefused = HasAlways(faults, Op::Replace);
    const bool moveRefused = HasAlways(faults, Op::Move);
    const bool copyRefused = HasAlways(faults, Op::Copy);
    if ((moveRefused && copyRefused) || (moveRefused && replaceRefused)) {
        return false; // a missing or moved-aside file needs a move or a copy, a whole one a swap or a move
    }
    if (ShowsThrough(faults) && HasAlways(faults, Op::Delete)) {
        return false; // another program's file that may not be deleted may not be moved over either
    }
    for (const Fault& fault : faults) {
        if (!Passes(fault.error) || fault.op == Op::OpenTemporary || fault.op == Op::WriteTemporary) {
            return false;
        }
        if (fault.op == Op::FinalPath && linked) {
            return false; // a link that cannot be followed is not replaced
        }
        if (!fault.always || fault.op == Op::Delete || fault.op == Op::FinalPath) {
            continue;
        }
        const bool wayLeft =
            (fault.op == Op::Replace && fault.error != ERROR_SHARING_VIOLATION && !moveRefused) ||
            (fault.op == Op::Move && (!replaceRefused || !copyRefused)) ||
            (fault.op == Op::Copy && (!replaceRefused || !moveRefused));
        if (!wayLeft) {
            return false;
        }
    }
    return true;
}

// What is wrong with the folder after a scenario; empty when nothing is.
std::string Verdict(const Situation& situation, const std::vector<Fault>& faults, bool written,
                    bool newFileHeld = false) {
    const bool deletesRefused = HasAlways(faults, Op::Delete);
    const bool stranded = (HasAlways(faults, Op::Move) && HasAlways(faults, Op::Copy)) ||
                          (ShowsThrough(faults) && deletesRefused);
    const std::string old = situation.Old();
    const std::string now = situation.New();
    const fs::path config = situation.folder / situation.content;
    const bool present = fs::exists(config);
    const std::string bytes = ReadBytes(config.string());
    std::string backupBytes;
    std::string temporaryBytes;
    std::string problems;
    bool backupSeen = false;
    for (const fs::directory_entry& entry : fs::directory_iterator(situation.folder)) {
        const std::string name = entry.path().filename().string();
        if (name == situation.content) {
            continue;
        }
        if (name == situation.content + ".launcher-lock") {
            continue; // the lock stays by design
        }
        const bool isNew = name == situation.content + ".launcher-new";
        const bool ours = isNew || name == situation.content + ".launcher-old";
        if (!ours || !(deletesRefused || stranded || (newFileHeld && isNew))) {
            problems += " left " + name + ";";
        } else if (!isNew) {
            backupSeen = true;
            backupBytes = ReadBytes(entry.path().string());
        } else {
            temporaryBytes = ReadBytes(entry.path().string());
        }
    }
    const bool holdsOld = situation.exists ? present && bytes == old : !present;
    const bool holdsNew = present && bytes == now;
    if (written && !holdsNew) {
        problems += " reported saved, but config.cfg does not hold the new bytes;";
    }
    const bool linked = situation.path != config.string();
    if (!newFileHeld && LeavesAWay(faults, linked)) {
        ++g_livenessScenarios;
        if (!written) {
            problems += " not saved, though a way to save was left;";
        }
    }
    if (!holdsOld && !holdsNew) {
        // Only when no move or copy could put either file back.
        if (stranded && backupSeen && backupBytes == old && temporaryBytes == now) {
            ++g_strandedScenarios;
        } else {
            problems += " config.cfg holds neither its old nor its new bytes (" +
                        std::string(present ? std::to_string(bytes.size()) + " bytes" : "missing") + ");";
        }
    }
    return problems;
}

// The identity of the file at path (the file a link leads to): its volume and index.
std::string FileIdentity(const fs::path& path) {
    const HANDLE file =
        CreateFileW(path.wstring().c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    BY_HANDLE_FILE_INFORMATION information{};
    const bool known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &information);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
    }
    return known ? std::to_string(information.dwVolumeSerialNumber) + ":" +
                       std::to_string(information.nFileIndexHigh) + ":" +
                       std::to_string(information.nFileIndexLow)
                 : "none";
}

// The link still leads to the file that holds the bytes, and its own folder keeps nothing but the link and
// the folder it leads to. (Wine shows no reparse point for a Unix link, so the link is known by where it
// leads.)
std::string LinkVerdict(const fs::path& link, const fs::path& content) {
    std::string problems;
    if (fs::exists(content) && FileIdentity(link) != FileIdentity(content)) {
        problems += " config.cfg no longer leads to " + content.filename().string() + ";";
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(link.parent_path())) {
        const std::string name = entry.path().filename().string();
        if (name != "config.cfg" && name != "target") {
            problems += " left " + name + " beside the link;";
        }
    }
    return problems;
}

// Whether the trace makes the call op at or before position call.
bool Reaches(const std::vector<Op>& trace, std::size_t call, Op op) {
    for (std::size_t i = 0; i <= call && i < trace.size(); ++i) {
        if (trace[i] == op) {
            return true;
        }
    }
    return false;
}

// Where the trace first swaps, moves or copies a file into config.cfg's place (its size if never): the
// flushes before it are the temporary file's.
std::size_t FirstPutInPlace(const std::vector<Op>& trace) {
    std::size_t call = 0;
    while (call < trace.size() && trace[call] != Op::Replace && trace[call] != Op::Move &&
           trace[call] != Op::Copy) {
        ++call;
    }
    return call;
}

// What the folder holds, each file by its name and bytes; the lock, which stays by design, left out.
std::string FolderState(const Situation& situation) {
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(situation.folder)) {
        const std::string name = entry.path().filename().string();
        if (name != situation.content + ".launcher-lock") {
            files.push_back(name + "=" +
                            std::to_string(std::hash<std::string>()(ReadBytes(entry.path().string()))));
        }
    }
    std::sort(files.begin(), files.end());
    std::string state;
    for (const std::string& file : files) {
        state += file + ";";
    }
    return state;
}

class RewriteFaults : public testing::Test {
protected:
    // Runs one scenario and checks it; returns its trace.
    std::vector<Op> Check(const Situation& situation, const std::vector<Fault>& faults,
                          bool newFileHeld = false) {
        const Outcome outcome = RunScenario(situation, faults, newFileHeld);
        ++scenarios_;
        std::string problems = Verdict(situation, faults, outcome.written, newFileHeld);
        worstPausedMs_ = std::max(worstPausedMs_, outcome.pausedMs);
        if (outcome.pausedMs > kDeadlineMs) {
            problems += " took " + std::to_string(outcome.pausedMs) + " ms on the clock, past OK's deadline;";
        }
        // The write in place, the last resort, only where the folder refused the temporary file: never after
        // another error in making it or putting it on the disk.
        const std::size_t inPlace = static_cast<std::size_t>(
            std::find(outcome.trace.begin(), outcome.trace.end(), Op::SetEnd) - outcome.trace.begin());
        for (const Fault& fault : faults) {
            const bool ioError = (fault.op == Op::OpenTemporary && fault.error != ERROR_ACCESS_DENIED) ||
                                 fault.op == Op::WriteTemporary || fault.op == Op::Flush;
            if (ioError && fault.call < inPlace && inPlace < outcome.trace.size()) {
                problems += " wrote config.cfg in place after an error that was no refusal of the folder;";
            }
            const auto after = outcome.trace.begin() + static_cast<std::ptrdiff_t>(fault.call) + 1;
            if (fault.op == Op::Flush && fault.call < FirstPutInPlace(outcome.trace) &&
                (std::find(after, outcome.trace.end(), Op::Replace) != outcome.trace.end() ||
                 std::find(after, outcome.trace.end(), Op::Move) != outcome.trace.end())) {
                problems += " put the new file in place after its flush failed;";
            }
        }
        if (situation.path != (situation.folder / situation.content).string()) {
            problems += LinkVerdict(situation.path, situation.folder / situation.content);
        }
        if (!problems.empty() && ++failures_ <= 10) {
            ADD_FAILURE() << Describe(situation, faults) << problems;
        }
        return outcome.trace;
    }

    // Every single fault at each call of the fault-free rewrite, and every second fault at each call of
    // the rewrite that the first one leaves; then, where a rewrite moves config.cfg aside, every move and
    // copy refused from then on.
    void Enumerate(const Situation& situation) {
        const Outcome clean = RunScenario(situation, {});
        ASSERT_TRUE(clean.written) << situation.name;
        ASSERT_EQ(Verdict(situation, {}, true), "") << situation.name;
        if (situation.path != (situation.folder / situation.content).string()) {
            ASSERT_EQ(LinkVerdict(situation.path, situation.folder / situation.content), "");
        }
        SlowNewFile(situation, clean.trace);
        InPlaceAlone(situation, clean.trace);
        for (std::size_t first = 0; first < clean.trace.size(); ++first) {
            const Op op = clean.trace[first];
            for (const DWORD error : ErrorsOf(op)) {
                for (const bool always : {false, true}) {
                    const Fault one{first, op, error, always};
                    const std::vector<Op> trace = Check(situation, {one});
                    for (std::size_t second = first + 1; second < trace.size(); ++second) {
                        const Op next = trace[second];
                        if (always && next == op) {
                            continue; // failing already
                        }
                        for (const DWORD error2 : ErrorsOf(next)) {
                            for (const bool always2 : {false, true}) {
                                Check(situation, {one, {second, next, error2, always2}});
                            }
                        }
                    }
                    if (op == Op::Replace) {
                        Check(situation, {one}, true); // the new file held as well
                    }
                    if (op == Op::Replace && error != ERROR_SHARING_VIOLATION) {
                        for (const DWORD refusal : ErrorsOf(Op::Move)) {
                            Check(situation,
                                  {one, {first, Op::Move, refusal, true}, {first, Op::Copy, refusal, true}});
                        }
                    }
                }
            }
        }
    }

    // A disk so slow that writing the new file takes all but 2.5 s of the deadline: a swap that may not end
    // by its own steps before it is not begun. OK changes nothing and leaves nothing.
    void SlowNewFile(const Situation& situation, const std::vector<Op>& clean) {
        situation.Reset();
        const std::string before = FolderState(situation);
        Schedule schedule{{}, {}};
        schedule.interleaveAt = static_cast<std::size_t>(
            std::find(clean.begin(), clean.end(), Op::WriteTemporary) - clean.begin());
        schedule.interleave = [&schedule] { schedule.pausedMs += 1000; };
        const bool written = Rewrite(situation, schedule);
        const bool swapped =
            std::find(schedule.trace.begin(), schedule.trace.end(), Op::Replace) != schedule.trace.end();
        ++scenarios_;
        EXPECT_FALSE(written || swapped || FolderState(situation) != before)
            << situation.name << " config.cfg: a swap begun with too little of the deadline left";
    }

    // A folder that takes no new file: config.cfg is written in place, and from the read to the flush no
    // other program may open it (the game writing it meanwhile would be lost, or read a torn file).
    void InPlaceAlone(const Situation& situation, const std::vector<Op>& clean) {
        if (!situation.exists) {
            return; // nothing to write over
        }
        situation.Reset();
        const std::size_t refused = static_cast<std::size_t>(
            std::find(clean.begin(), clean.end(), Op::OpenTemporary) - clean.begin());
        Schedule schedule{{{refused, Op::OpenTemporary, ERROR_ACCESS_DENIED, true}}, {}};
        bool opened = false;
        schedule.interleaveAt = refused;
        schedule.interleave = [&] {
            const HANDLE game =
                CreateFileW((situation.folder / situation.content).wstring().c_str(), GENERIC_READ,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
            opened = game != INVALID_HANDLE_VALUE;
            if (opened) {
                CloseHandle(game);
            }
        };
        const bool written = Rewrite(situation, schedule);
        ++scenarios_;
        EXPECT_TRUE(written && !opened)
            << situation.name << " config.cfg: written in place " << written
            << ", opened by another program between the read and the write " << opened;
    }

    // A second launcher's start and OK between each two calls of a fault-free OK: while the first holds the
    // save's lock, the second waits and then changes nothing (its OK says so); otherwise both save, and
    // config.cfg ends with the new values and the game's lines.
    void Interleave(const Situation& situation) {
        const std::size_t calls = RunScenario(situation, {}).trace.size();
        for (std::size_t at = 0; at < calls; ++at) {
            situation.Reset();
            Schedule first{{}, {}};
            std::string problems;
            first.interleaveAt = at;
            first.interleave = [&] {
                const bool locked = first.lock != nullptr;
                const std::string before = FolderState(situation);
                Schedule second{{}, {}};
                g_schedule = &second;
                LauncherSettings read = Settings(0, 0, 0, 0);
                ReadSettingsFile(situation.path.c_str(), read);
                const bool startChanged = FolderState(situation) != before;
                const bool saved = WriteSettingsFile(situation.path.c_str(), kChosen, kAllSettings);
                worstPausedMs_ = std::max(worstPausedMs_, second.pausedMs);
                ++interleaved_;
                if (locked && (saved || startChanged || FolderState(situation) != before)) {
                    problems += " the second launcher changed the folder while the first held the lock;";
                }
                if (!locked && !saved) {
                    problems += " the second launcher's OK did not save, though no save held the lock;";
                }
                if (second.pausedMs > kDeadlineMs) {
                    problems += " the second launcher took " + std::to_string(second.pausedMs) + " ms;";
                }
                if (!locked && second.pausedMs > 100) {
                    problems += " the second launcher waited while no save held the lock;";
                }
                heldLocks_ += locked ? 1 : 0;
            };
            const bool written = Rewrite(situation, first);
            const std::string bytes = ReadBytes((situation.folder / situation.content).string());
            if (!written || bytes != situation.New()) {
                problems += " the first OK did not end with the new values and the game's lines;";
            }
            ++scenarios_;
            if (!problems.empty() && ++failures_ <= 10) {
                ADD_FAILURE() << situation.name << " config.cfg, a second launcher at call " << at << ":"
                              << problems;
            }
        }
    }

    void TearDown() override {
        if (interleaved_ > 0) {
            std::printf(
                "second launchers: %u between two calls of an OK, %u of them while it held the lock\n",
                interleaved_, heldLocks_);
        }
        std::printf("rewrite fault schedules: %u scenarios, %u held to saving since a way was left, %u left "
                    "config.cfg in the backup and the temporary file, the longest OK took %u ms on the "
                    "clock, %u failed\n",
                    scenarios_, g_livenessScenarios, g_strandedScenarios, worstPausedMs_, failures_);
        g_strandedScenarios = 0;
        g_livenessScenarios = 0;
    }

    unsigned scenarios_ = 0;
    unsigned worstPausedMs_ = 0;
    unsigned failures_ = 0;
    unsigned interleaved_ = 0;
    unsigned heldLocks_ = 0;
};

// The links's path as the settings code hands it to the system, for the doubles to know it by.
std::wstring SystemPathOf(const std::string& path) {
    const std::wstring wide = fs::path(path).wstring();
    wchar_t full[MAX_PATH * 2];
    const DWORD length = GetFullPathNameW(wide.c_str(), MAX_PATH * 2, full, nullptr);
    return length > 0 && length < MAX_PATH * 2 ? L"\\\\?\\" + std::wstring(full, length) : std::wstring();
}

// The folder in which the fixture made a folder for each linked test, with config.cfg -> target\real.cfg
// in it (Wine makes no link itself).
const char* LinkedFolder() {
    return std::getenv("TAVAREN_LINKED_CONFIG_DIR");
}

// A linked situation; the doubles show the link as Windows would while it lives.
class LinkedSituation {
public:
    explicit LinkedSituation(const char* folder)
        : situation_{"a linked", (fs::path(folder) / "config.cfg").string(), fs::path(folder) / "target",
                     "real.cfg", true} {
        g_linkPath = SystemPathOf(situation_.path);
    }
    LinkedSituation(const LinkedSituation&) = delete;
    LinkedSituation& operator=(const LinkedSituation&) = delete;
    ~LinkedSituation() { g_linkPath.clear(); }
    const Situation& Get() const { return situation_; }

private:
    Situation situation_;
};

TEST_F(RewriteFaults, ExistingFile) {
    TempDir dir;
    Enumerate({"an existing", dir.File("config.cfg"), dir.Path(), "config.cfg", true});
}

TEST_F(RewriteFaults, MissingFile) {
    TempDir dir;
    Enumerate({"a missing", dir.File("config.cfg"), dir.Path(), "config.cfg", false});
}

TEST_F(RewriteFaults, TwoLaunchers) {
    TempDir dir;
    Interleave({"an existing", dir.File("config.cfg"), dir.Path(), "config.cfg", true});
    Interleave({"a missing", dir.File("config.cfg"), dir.Path(), "config.cfg", false});
}

// The link is made by the test's fixture on the Unix side (Wine makes none): config.cfg in the folder
// leads to target\real.cfg.
TEST_F(RewriteFaults, LinkedFile) {
    if (LinkedFolder() == nullptr) {
        GTEST_SKIP() << "TAVAREN_LINKED_CONFIG_DIR names no folder with a linked config.cfg";
    }
    const LinkedSituation linked((fs::path(LinkedFolder()) / "faults").string().c_str());
    Enumerate(linked.Get());
}

// One start of the launcher under schedule: the recovery and the read of config.cfg. Returns whether it
// read the file, and what.
bool Start(const Situation& situation, Schedule& schedule, LauncherSettings& read) {
    const Doubles doubles(schedule);
    read = Settings(0, 0, 0, 0);
    return ReadSettingsFile(situation.path.c_str(), read);
}

// Whether the call can be cut off halfway, leaving part of its work done.
bool HasInside(Op op) {
    return op == Op::Replace || op == Op::WriteFile || op == Op::WriteTemporary || op == Op::Copy;
}

// Whether the folder holds config.cfg's new file and old one but no config.cfg: a swap was cut off between
// its renames, and only the leftovers hold the file.
bool OnlyLeftoversHoldIt(const Situation& situation) {
    return fs::exists(situation.folder / (situation.content + ".launcher-new")) &&
           fs::exists(situation.folder / (situation.content + ".launcher-old")) &&
           !fs::exists(situation.folder / situation.content);
}

// A rewrite cut off at any call, or inside it, by the process dying or by the power failing (which also
// loses what was not flushed), and then started again as another process (whose own start is cut off at
// each of its calls too, and then followed by a third): afterwards config.cfg holds its old or its new
// bytes (or is missing where it was missing before), the values read are the ones it holds, no leftover of
// a save that has ended stays, the running launcher's files are as they were, and no start or OK waits past
// the deadline. The one exception is a rewrite in place, the last resort where the folder takes no new
// file: cut off inside, it leaves the file torn, and nothing else was there to put back. Where the cut left
// the file in the leftovers alone, two more histories: a scanner holds the new file against moving while the
// next start puts it back (cut off at each call as well), and one holds it wholly during the start and the
// first OK, after which a second OK keeps the game's lines.
class RewriteCrashes : public testing::Test {
protected:
    void Enumerate(const Situation& situation) {
        situation.Reset();
        Schedule clean{{}, {}};
        ASSERT_TRUE(Rewrite(situation, clean)) << situation.name;
        std::vector<std::vector<Fault>> schedules{{}};
        for (std::size_t call = 0; call < clean.trace.size(); ++call) {
            const Op op = clean.trace[call];
            for (const DWORD error : ErrorsOf(op)) {
                for (const bool always : {false, true}) {
                    schedules.push_back({{call, op, error, always}});
                }
            }
            // A swap stopped halfway, with every move refused from then on: the new file is copied in.
            for (const DWORD error : {DWORD{ERROR_UNABLE_TO_MOVE_REPLACEMENT_2}, kWineReplaceFailure}) {
                if (op == Op::Replace) {
                    schedules.push_back(
                        {{call, op, error, false}, {call, Op::Move, ERROR_SHARING_VIOLATION, true}});
                }
            }
        }
        for (const std::vector<Fault>& faults : schedules) {
            situation.Reset();
            Schedule whole{faults, {}};
            Rewrite(situation, whole);
            // Before its fault a schedule runs as the fault-free one, whose cuts are made already.
            for (std::size_t call = faults.empty() ? 0 : faults[0].call; call < whole.trace.size(); ++call) {
                for (const bool inside : {false, true}) {
                    for (const Power power :
                         {Power::Stays, Power::LostToZeros, Power::LostToPrefix, Power::LastNameLost,
                          Power::LastTwoNamesLost, Power::LastThreeNamesLost}) {
                        if (!inside || HasInside(whole.trace[call])) {
                            CutAndStart(situation, {faults, call, inside, power});
                        }
                    }
                }
            }
        }
    }

    // Where a rewrite is cut off.
    struct Cut {
        std::vector<Fault> faults;
        std::size_t call;
        bool inside;
        Power power;
    };

    // Makes the folder a rewrite under cut leaves; false when the power cut loses nothing more than the
    // process dying does.
    bool Crash(const Situation& situation, const Cut& cut, Schedule& crash) {
        crash = Schedule{cut.faults, {}};
        crash.cut = cut.call;
        crash.cutInside = cut.inside;
        situation.Reset();
        Rewrite(situation, crash);
        LosePower(crash, cut.power);
        return cut.power == Power::Stays ||
               (NamesLost(cut.power) > 0 ? crash.log.size() >= NamesLost(cut.power)
                                         : !crash.unflushed.empty());
    }

    // One start of the launcher, the new file held as hold says, cut off at startCut (inside
    // it, where inside says), with the power as the rewrite's cut lost it; its waits are held to the
    // deadline.
    bool StartAs(const Situation& situation, Hold hold, std::size_t startCut, bool inside, Power power,
                 LauncherSettings& read, Schedule* recorded = nullptr) {
        Schedule start{{}, {}};
        start.newFileHeld = hold;
        start.cut = startCut;
        start.cutInside = inside;
        const bool readIt = Start(situation, start, read);
        if (startCut != kNoCut) {
            LosePower(start, power);
        }
        Waited(start.pausedMs);
        if (recorded != nullptr) {
            *recorded = start;
        }
        return readIt;
    }

    // The rewrite cut off; then the next start, whole and cut off at each call.
    void CutAndStart(const Situation& situation, const Cut& cut) {
        Schedule crash;
        if (!Crash(situation, cut, crash)) {
            return;
        }
        powerCuts_ += cut.power != Power::Stays ? 1 : 0;
        const bool inPlace =
            Reaches(crash.trace, cut.call, Op::SetEnd) || Reaches(crash.trace, cut.call, Op::WriteFile);
        const std::string crashed = FolderState(situation) + Name(cut.power);
        const bool onlyLeftovers = OnlyLeftoversHoldIt(situation);
        Schedule next;
        LauncherSettings read;
        const bool readIt = StartAs(situation, Hold::None, kNoCut, false, Power::Stays, read, &next);
        Judge(situation, cut, kNoCut, inPlace, readIt, read);
        PlayerDeletesTheFile(situation, cut);
        if (seen_.insert("game " + crashed).second) {
            GameChangesTheFile(situation, cut);
        }
        // Cutting the next start off depends only on the folder the crash left: once for each such folder.
        const bool recovered = (Reaches(next.trace, next.trace.size(), Op::Move) ||
                                Reaches(next.trace, next.trace.size(), Op::Copy) ||
                                Reaches(next.trace, next.trace.size(), Op::Delete)) &&
                               seen_.insert(crashed).second;
        if (recovered) {
            recoveriesCut_ += CutTheNextStart(situation, cut, Hold::None, next.trace, inPlace);
        }
        if (onlyLeftovers && seen_.insert("held " + crashed).second) {
            // The next start finds the new file held against moving, so that only a copy puts it back.
            story_ = ", the new file held against moving during the next start";
            Crash(situation, cut, crash);
            StartAs(situation, Hold::AgainstMoving, kNoCut, false, Power::Stays, read, &next);
            const bool readAfter = StartAs(situation, Hold::None, kNoCut, false, Power::Stays, read);
            Judge(situation, cut, kNoCut, inPlace, readAfter, read);
            heldStarts_ += 1 + CutTheNextStart(situation, cut, Hold::AgainstMoving, next.trace, inPlace);
            story_.clear();
            HeldThroughOk(situation, cut);
        }
    }

    // The next start, holding the new file as hold says, cut off at each call of its trace (and inside those
    // that can stop halfway), then a third start with nothing held, which ends the story: judged each time.
    // Returns how many.
    unsigned CutTheNextStart(const Situation& situation, const Cut& cut, Hold hold,
                             const std::vector<Op>& trace, bool inPlace) {
        unsigned runs = 0;
        LauncherSettings read;
        for (std::size_t at = 0; at < trace.size(); ++at) {
            for (const bool inside : {false, true}) {
                if (inside && !HasInside(trace[at])) {
                    continue;
                }
                Schedule crash;
                Crash(situation, cut, crash);
                StartAs(situation, hold, at, inside, cut.power, read);
                const bool readIt = StartAs(situation, Hold::None, kNoCut, false, Power::Stays, read);
                ++runs;
                Judge(situation, cut, at, inPlace, readIt, read);
            }
        }
        return runs;
    }

    // Another program holds the new file wholly during the next start and its first OK, which then changes
    // nothing, as does an OK that cannot list the folder; once it has let go, an OK saves with the game's
    // lines.
    void HeldThroughOk(const Situation& situation, const Cut& cut) {
        Schedule crash;
        Crash(situation, cut, crash);
        const std::string before = FolderState(situation);
        LauncherSettings read;
        StartAs(situation, Hold::Wholly, kNoCut, false, Power::Stays, read);
        // OKs that must change nothing: the new file still held, and the folder not listed.
        struct Refused {
            const char* what;
            Hold hold;
            std::vector<Fault> faults;
        };
        const Refused refused[] = {{"while the new file was held", Hold::Wholly, {}},
                                   {"while another launcher's save held the lock",
                                    Hold::None,
                                    {{0, Op::Lock, ERROR_LOCK_VIOLATION, true}}}};
        std::string problems;
        for (const Refused& ok : refused) {
            Schedule schedule{ok.faults, {}};
            schedule.newFileHeld = ok.hold;
            const bool saved = Rewrite(situation, schedule);
            Waited(schedule.pausedMs);
            if (saved || FolderState(situation) != before) {
                problems +=
                    std::string(" OK ") + ok.what + " changed the folder (config.cfg " +
                    std::to_string(ReadBytes((situation.folder / situation.content).string()).size()) +
                    " bytes);";
            }
        }
        Schedule free{{}, {}};
        const bool saved = Rewrite(situation, free);
        Waited(free.pausedMs);
        if (!saved || ReadBytes((situation.folder / situation.content).string()) != situation.New()) {
            problems += " the OK after it let go did not save the game's lines with the new values;";
        }
        ++heldOks_;
        if (!problems.empty() && ++failures_ <= 10) {
            ADD_FAILURE() << Describe(situation, cut.faults) << " cut off at call " << cut.call
                          << (cut.inside ? " inside" : "") << Name(cut.power)
                          << ", then a start and OK while "
                          << "another program held the new file:" << problems;
        }
    }

    void Waited(unsigned pausedMs) {
        worstPausedMs_ = std::max(worstPausedMs_, pausedMs);
        if (pausedMs > kDeadlineMs && ++failures_ <= 10) {
            ADD_FAILURE() << "a start or OK took " << pausedMs << " ms on the clock, past the deadline"
                          << story_;
        }
    }

    // The player deletes config.cfg to reset the game's settings, and starts again: it stays missing.
    void PlayerDeletesTheFile(const Situation& situation, const Cut& cut) {
        const fs::path config = situation.folder / situation.content;
        if (!fs::exists(config) || ReadBytes(config.string()) == kOtherBytes) {
            return;
        }
        fs::remove(config);
        LauncherSettings read;
        if (StartAs(situation, Hold::None, kNoCut, false, Power::Stays, read) && ++failures_ <= 10) {
            ADD_FAILURE() << Describe(situation, cut.faults) << " cut off at call " << cut.call
                          << (cut.inside ? " inside" : "") << Name(cut.power)
                          << ", then config.cfg deleted: the next start brought it back";
        }
        ++resets_;
    }

    // Between the crash and the next start, the game writes config.cfg, empties it, cuts it short or deletes
    // it. Where the crash left the new file and the old one (its swap had begun), the start puts the new file
    // in place whatever the game did; anywhere else config.cfg stays as the game left it. Either way no
    // leftover stays.
    void GameChangesTheFile(const Situation& situation, const Cut& cut) {
        const fs::path config = situation.folder / situation.content;
        const fs::path fresh = situation.folder / (situation.content + ".launcher-new");
        const fs::path old = situation.folder / (situation.content + ".launcher-old");
        const std::string gameBytes = Lines({"// written by the game since", "gamma = 1.4"});
        struct Change {
            const char* what;
            bool deletes;
            std::string bytes;
        };
        const Change changes[] = {{"wrote", false, gameBytes},
                                  {"emptied", false, ""},
                                  {"cut short", false, kOldBytes.substr(0, 10)},
                                  {"deleted", true, ""}};
        for (const Change& change : changes) {
            Schedule crash;
            Crash(situation, cut, crash);
            const bool swapBegun = fs::exists(fresh) && fs::exists(old);
            const std::string newBytes = ReadBytes(fresh.string());
            fs::remove(config);
            if (!change.deletes) {
                WriteBytes(config.string(), change.bytes);
            }
            LauncherSettings read;
            StartAs(situation, Hold::None, kNoCut, false, Power::Stays, read);
            ++gameChanges_;
            std::string problems;
            const bool present = fs::exists(config);
            const std::string bytes = ReadBytes(config.string());
            if (swapBegun ? !(present && bytes == newBytes)
                          : (present == change.deletes || (present && bytes != change.bytes))) {
                problems += std::string(" config.cfg holds ") +
                            (present ? std::to_string(bytes.size()) + " bytes" : "nothing") + ", expected " +
                            (swapBegun ? "the new file's bytes" : "what the game left") + ";";
            }
            for (const fs::directory_entry& entry : fs::directory_iterator(situation.folder)) {
                const std::string name = entry.path().filename().string();
                if (name != situation.content && name != situation.content + ".launcher-lock") {
                    problems += " left " + name + ";";
                }
            }
            if (!problems.empty() && ++failures_ <= 10) {
                ADD_FAILURE() << Describe(situation, cut.faults) << " cut off at call " << cut.call
                              << (cut.inside ? " inside" : "") << Name(cut.power) << ", then the game "
                              << change.what << " config.cfg:" << problems;
            }
        }
    }

    void Judge(const Situation& situation, const Cut& cut, std::size_t startCut, bool inPlace, bool readIt,
               const LauncherSettings& read) {
        ++scenarios_;
        const fs::path config = situation.folder / situation.content;
        const bool present = fs::exists(config);
        const std::string bytes = ReadBytes(config.string());
        std::string problems;
        const bool whole = present
                               ? bytes == situation.New() || (situation.exists && bytes == situation.Old())
                               : !situation.exists;
        if (!whole && inPlace) {
            ++torn_;
        } else if (!whole && bytes == kOtherBytes && ShowsThrough(cut.faults)) {
            ++otherFile_; // not ours: the old and the new bytes wait beside it, as the leftovers show
        } else if (!whole) {
            problems += " config.cfg holds neither its old nor its new bytes (" +
                        std::string(present ? std::to_string(bytes.size()) + " bytes" : "missing") + ");";
        }
        LauncherSettings held = Settings(0, 0, 0, 0);
        ApplyConfigText(bytes, held);
        if (readIt != present || read != held) {
            problems += " the values read are not those config.cfg holds;";
        }
        // Every start judged here could act: none may leave a leftover for later.
        for (const fs::directory_entry& entry : fs::directory_iterator(situation.folder)) {
            const std::string name = entry.path().filename().string();
            if (name != situation.content && name != situation.content + ".launcher-lock") {
                problems += " left " + name + ";";
            }
        }
        if (situation.path != config.string()) {
            problems += LinkVerdict(situation.path, config);
        }
        if (!problems.empty() && ++failures_ <= 10) {
            ADD_FAILURE() << Describe(situation, cut.faults) << " cut off at call " << cut.call
                          << (cut.inside ? " inside" : "") << Name(cut.power) << story_
                          << (startCut != kNoCut
                                  ? ", the next start cut off at call " + std::to_string(startCut)
                                  : std::string())
                          << ":" << problems;
        }
    }

    void TearDown() override {
        std::printf(
            "rewrite crash points: %u scenarios, %u after a power cut, %u with the next start cut off too, "
            "%u "
            "then reset by the player, %u with config.cfg changed by the game before the start, %u with the "
            "new file held against moving during the start, %u with it "
            "held through an OK, %u tore a rewrite in place, %u left another program's file in config.cfg's "
            "place, the longest start or OK took %u ms on the clock, %u failed\n",
            scenarios_, powerCuts_, recoveriesCut_, resets_, gameChanges_, heldStarts_, heldOks_, torn_,
            otherFile_, worstPausedMs_, failures_);
    }

    unsigned scenarios_ = 0;
    unsigned powerCuts_ = 0;
    unsigned recoveriesCut_ = 0;
    unsigned resets_ = 0;
    unsigned gameChanges_ = 0;
    unsigned heldStarts_ = 0;
    unsigned heldOks_ = 0;
    std::set<std::string> seen_;
    std::string story_;
    unsigned torn_ = 0;
    unsigned otherFile_ = 0;
    unsigned worstPausedMs_ = 0;
    unsigned failures_ = 0;
};

TEST_F(RewriteCrashes, ExistingFile) {
    TempDir dir;
    Enumerate({"an existing", dir.File("config.cfg"), dir.Path(), "config.cfg", true});
}

TEST_F(RewriteCrashes, MissingFile) {
    TempDir dir;
    Enumerate({"a missing", dir.File("config.cfg"), dir.Path(), "config.cfg", false});
}

TEST_F(RewriteCrashes, LinkedFile) {
    if (LinkedFolder() == nullptr) {
        GTEST_SKIP() << "TAVAREN_LINKED_CONFIG_DIR names no folder with a linked config.cfg";
    }
    const LinkedSituation linked((fs::path(LinkedFolder()) / "crashes").string().c_str());
    Enumerate(linked.Get());
}

} // namespace
