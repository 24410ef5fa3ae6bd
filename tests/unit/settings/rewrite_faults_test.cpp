// Every way the system can refuse a step of a rewrite, one fault and every pair of faults: a rewrite runs
// on the real file system, through a double of the file calls that fails where a schedule says, leaving
// behind first what the system documents for that failure. After each scenario config.cfg holds exactly
// its old bytes or the new ones, and no other file is left; only where every move and copy is refused may
// the old bytes wait in the backup and the new ones in the temporary file.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <windows.h>

#include "config_file.h"
#include "file_calls_win.h"
#include "settings_test_support.h"

using settings_test::Lines;
using settings_test::ReadBytes;
using settings_test::RewriteText;
using settings_test::Settings;
using settings_test::TempDir;
using settings_test::WriteBytes;
namespace fs = std::filesystem;

namespace {

enum class Op { CreateFile, WriteFile, Flush, Replace, Move, Copy, Delete, OpenTemporary, WriteTemporary };

const char* Name(Op op) {
    static const char* const names[] = {"CreateFileW",  "WriteFile",   "FlushFileBuffers",
                                        "ReplaceFileW", "MoveFileExW", "CopyFileW",
                                        "DeleteFileW",  "_wfopen",     "fwrite"};
    return names[static_cast<int>(op)];
}

// ReplaceFileW failing as Wine's does: the replaced file is moved aside (to the backup name, or to a name
// of its own that is then deleted) before the last move fails.
constexpr DWORD kWineReplaceFailure = 0xE0000001;

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
                ERROR_SHARING_VIOLATION,
                ERROR_ACCESS_DENIED};
    case Op::Move:
    case Op::Copy:
        return {ERROR_SHARING_VIOLATION, ERROR_ACCESS_DENIED, ERROR_DISK_FULL};
    case Op::OpenTemporary:
        return {EACCES, ENOSPC};
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

struct Schedule {
    std::vector<Fault> faults;
    std::vector<Op> trace; // every call made, in order
    unsigned strays = 0;   // names the double made up for ReplaceFileW without a backup name
};

Schedule* g_schedule = nullptr;

// Records the call and tells whether it is to fail.
bool Fails(Op op, DWORD& error) {
    const std::size_t call = g_schedule->trace.size();
    g_schedule->trace.push_back(op);
    for (const Fault& fault : g_schedule->faults) {
        if (fault.op == op && (fault.call == call || (fault.always && fault.call < call))) {
            error = fault.error;
            return true;
        }
    }
    return false;
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

std::wstring DirectoryOf(const wchar_t* path) {
    const std::wstring text(path);
    return text.substr(0, text.find_last_of(L'\\') + 1);
}

HANDLE WINAPI CreateFileDouble(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                               DWORD disposition, DWORD flags, HANDLE templateFile) {
    return Refuses(Op::CreateFile)
               ? INVALID_HANDLE_VALUE
               : CreateFileW(name, access, share, security, disposition, flags, templateFile);
}

// A write that fails writes nothing: the in-place write makes room for the content before it writes.
BOOL WINAPI WriteFileDouble(HANDLE file, LPCVOID data, DWORD size, LPDWORD written, LPOVERLAPPED overlapped) {
    if (Refuses(Op::WriteFile)) {
        *written = 0;
        return FALSE;
    }
    return WriteFile(file, data, size, written, overlapped);
}

BOOL WINAPI FlushDouble(HANDLE file) {
    return Refuses(Op::Flush) ? FALSE : FlushFileBuffers(file);
}

// What ReplaceFileW leaves when it fails, as its documentation gives it: 1175 and the conflicts leave
// both files; 1176 leaves both with a backup name, and without one the replaced file no longer exists;
// 1177 leaves the replaced file under the backup name, or under another name without one.
BOOL WINAPI ReplaceDouble(LPCWSTR replaced, LPCWSTR replacement, LPCWSTR backup, DWORD flags, LPVOID exclude,
                          LPVOID reserved) {
    DWORD error;
    if (!Fails(Op::Replace, error)) {
        return ReplaceFileW(replaced, replacement, backup, flags, exclude, reserved);
    }
    const std::wstring aside =
        DirectoryOf(replaced) + L"rf" + std::to_wstring(++g_schedule->strays) + L".tmp";
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT && backup == nullptr) {
        DeleteFileW(replaced);
    } else if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT_2) {
        MoveFileExW(replaced, backup != nullptr ? backup : aside.c_str(), MOVEFILE_REPLACE_EXISTING);
    } else if (error == kWineReplaceFailure) {
        if (backup != nullptr) {
            MoveFileExW(replaced, backup, MOVEFILE_REPLACE_EXISTING);
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

BOOL WINAPI MoveDouble(LPCWSTR from, LPCWSTR to, DWORD flags) {
    return Refuses(Op::Move) ? FALSE : MoveFileExW(from, to, flags);
}

// A copy that fails leaves no destination: the system removes what it had copied.
BOOL WINAPI CopyDouble(LPCWSTR from, LPCWSTR to, BOOL failIfExists) {
    return Refuses(Op::Copy) ? FALSE : CopyFileW(from, to, failIfExists);
}

BOOL WINAPI DeleteDouble(LPCWSTR name) {
    return Refuses(Op::Delete) ? FALSE : DeleteFileW(name);
}

// Pauses take no time here.
VOID WINAPI SleepDouble(DWORD) {}

std::FILE* OpenTemporaryDouble(const char* path) {
    DWORD error;
    if (Fails(Op::OpenTemporary, error)) {
        errno = static_cast<int>(error);
        return nullptr;
    }
    return OpenTemporaryFile(path);
}

// A full disk: half of the content reaches the file.
bool WriteTemporaryDouble(std::FILE* file, const char* data, std::size_t size) {
    DWORD error;
    if (Fails(Op::WriteTemporary, error)) {
        WriteAllBytes(file, data, size / 2);
        return false;
    }
    return WriteAllBytes(file, data, size);
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
};

Outcome RunScenario(const Situation& situation, const std::vector<Fault>& faults) {
    situation.Reset();
    Schedule schedule{faults, {}, 0};
    g_schedule = &schedule;
    g_fileCalls.createFile = CreateFileDouble;
    g_fileCalls.writeFile = WriteFileDouble;
    g_fileCalls.flushFileBuffers = FlushDouble;
    g_fileCalls.replaceFile = ReplaceDouble;
    g_fileCalls.moveFileEx = MoveDouble;
    g_fileCalls.copyFile = CopyDouble;
    g_fileCalls.deleteFile = DeleteDouble;
    g_fileCalls.sleep = SleepDouble;
    RewriteSteps steps;
    steps.write = WriteTemporaryDouble;
    steps.openTemporary = OpenTemporaryDouble;
    const bool written = WriteSettingsFile(situation.path.c_str(), kChosen, kAllSettings, steps);
    g_fileCalls = SystemFileCalls();
    g_schedule = nullptr;
    return {written, schedule.trace};
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

bool EndsWith(const std::string& text, const char* suffix) {
    const std::string tail(suffix);
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

unsigned g_strandedScenarios = 0;

// What is wrong with the folder after a scenario; empty when nothing is.
std::string Verdict(const Situation& situation, const std::vector<Fault>& faults, bool written) {
    const bool deletesRefused = HasAlways(faults, Op::Delete);
    const bool stranded = HasAlways(faults, Op::Move) && HasAlways(faults, Op::Copy);
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
        const bool ours =
            name.rfind(situation.content + ".", 0) == 0 && (EndsWith(name, ".tmp") || EndsWith(name, ".bak"));
        if (!ours || !(deletesRefused || stranded)) {
            problems += " left " + name + ";";
        } else if (EndsWith(name, ".bak")) {
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

class RewriteFaults : public testing::Test {
protected:
    // Runs one scenario and checks it; returns its trace.
    std::vector<Op> Check(const Situation& situation, const std::vector<Fault>& faults) {
        const Outcome outcome = RunScenario(situation, faults);
        ++scenarios_;
        std::string problems = Verdict(situation, faults, outcome.written);
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

    void TearDown() override {
        std::printf(
            "rewrite fault schedules: %u scenarios, %u left config.cfg in the backup and the temporary "
            "file, %u failed\n",
            scenarios_, g_strandedScenarios, failures_);
        g_strandedScenarios = 0;
    }

    unsigned scenarios_ = 0;
    unsigned failures_ = 0;
};

TEST_F(RewriteFaults, ExistingFile) {
    TempDir dir;
    Enumerate({"an existing", dir.File("config.cfg"), dir.Path(), "config.cfg", true});
}

TEST_F(RewriteFaults, MissingFile) {
    TempDir dir;
    Enumerate({"a missing", dir.File("config.cfg"), dir.Path(), "config.cfg", false});
}

// The link is made by the test's fixture on the Unix side (Wine makes none): config.cfg in the folder
// leads to target\real.cfg.
TEST_F(RewriteFaults, LinkedFile) {
    const char* folder = std::getenv("TAVAREN_LINKED_CONFIG_DIR");
    if (folder == nullptr) {
        GTEST_SKIP() << "TAVAREN_LINKED_CONFIG_DIR names no folder with a linked config.cfg";
    }
    const fs::path link = fs::path(folder) / "config.cfg";
    Enumerate({"a linked", link.string(), fs::path(folder) / "target", "real.cfg", true});
}

} // namespace
