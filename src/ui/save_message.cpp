#include "ui/save_message.h"

namespace {

// One reason a line of the table, from what the system said about the file.
const char* NotSavedText(FileProblem problem) {
    switch (problem) {
    case FileProblem::ReadOnly:
        return "Your choice was not saved: config.cfg is read-only.\n\n"
               "Clear its Read-only box (right-click config.cfg, Properties), then press OK again.";
    case FileProblem::Denied:
        return "Your choice was not saved: Windows does not let the launcher write config.cfg in this "
               "folder.\n\n"
               "If the game is installed under Program Files, its folder may need to be opened to players "
               "(ask whoever installed it), or the game installed elsewhere. Then press OK again.";
    case FileProblem::DiskFull:
        return "Your choice was not saved to config.cfg: the disk is full.\n\n"
               "Free some space on it, then press OK again.";
    case FileProblem::Held:
        return "Your choice was not saved: another program is using config.cfg.\n\n"
               "Close that program (the game, say), then press OK again.";
    case FileProblem::Unreadable:
        return "Your choice was not saved: config.cfg could not be read, so it was not rewritten. Nothing "
               "in it is lost.\n\n"
               "Check that config.cfg is a file that you may open, then press OK again.";
    case FileProblem::Unrecovered:
        return "Your choice was not saved: an earlier save of config.cfg is not finished yet (another "
               "program holds its files). Nothing is lost.\n\n"
               "Press OK again in a moment; the next start of the launcher finishes that save too.";
    case FileProblem::None:
    case FileProblem::Failed:
        break;
    }
    return "Your choice was not saved: config.cfg could not be written to the disk.\n\n"
           "Check that the disk is there and working, then press OK again.";
}

} // namespace

const char* SaveFailureText(const SaveResult& result) {
    switch (result.outcome) {
    case WriteOutcome::Written:
        return nullptr;
    case WriteOutcome::Stranded:
        return "Your choice was saved, but Windows kept it from replacing config.cfg for now. Nothing is "
               "lost: the save will be finished the next time the launcher starts.\n\n"
               "Press OK to try again now, or Cancel.";
    case WriteOutcome::Unchanged:
        break;
    }
    return NotSavedText(result.problem);
}
