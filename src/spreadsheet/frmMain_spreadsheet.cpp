// Export and Import of the point table.
#include "app/frmMain.h"

void frmMain::wireSpreadsheet() {}
void frmMain::cmdExport_Click() {}
void frmMain::cmdImport_Click() {}
