#pragma once
// What the Options dialog tells the player when OK did not save config.cfg.

#include "settings/config_file.h"

// The caption of the message: the dialog's own.
inline constexpr char kSaveMessageCaption[] = "Options";

// The message for a save that did not land: what went wrong with config.cfg and what the player can do,
// in plain ASCII (it reads the same in every ANSI code page); null for a save that landed.
const char* SaveFailureText(const SaveResult& result);
