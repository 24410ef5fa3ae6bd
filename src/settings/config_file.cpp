#include "config_file.h"

#include "launcher_settings.h"

LauncherSettings g_settings;

void ReadSettings() {}

void WriteSettings() {}
