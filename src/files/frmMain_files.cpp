// Save Settings and Open Settings.
#include "app/frmMain.h"

void frmMain::wireFiles() {}
void frmMain::mnuSave_Click() {}
void frmMain::mnuOpen_Click() {}
